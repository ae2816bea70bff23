// Prints the Base64 payload of a fictional certificate, as a scanner would read it from the Aztec code.
//   generate-payload [car|lorry|random:SEED] [current|older] [lines]
// "lines" separates the fields with CR LF instead of "|".

#include <cstdio>
#include <cstdlib>
#include <string>

#include "FictionalCertificates.h"
#include "PayloadEncoder.h"

using namespace varnok::generator;

int main(int argc, char** argv)
{
    std::string which = argc > 1 ? argv[1] : "car";
    const std::string layout = argc > 2 ? argv[2] : "current";
    const bool lines = argc > 3 && std::string(argv[3]) == "lines";

    Vehicle vehicle;
    if (which == "car")
        vehicle = passengerCar();
    else if (which == "lorry")
        vehicle = companyLorry();
    else if (which.starts_with("random:"))
        vehicle = randomVehicle(static_cast<unsigned>(std::strtoul(which.c_str() + 7, nullptr, 10)));
    else {
        std::fprintf(stderr, "usage: %s [car|lorry|random:SEED] [current|older] [lines]\n", argv[0]);
        return 2;
    }
    if (layout != "current" && layout != "older") {
        std::fprintf(stderr, "unknown layout: %s\n", layout.c_str());
        return 2;
    }
    const auto fields = layout == "current" ? currentFields(vehicle) : olderFields(vehicle);
    std::printf("%s\n", encodePayload(joinFields(fields, lines)).c_str());
    return 0;
}
