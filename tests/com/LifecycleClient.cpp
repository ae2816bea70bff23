// A client process for the lifecycle runs: activates FileReader objects, loads the sample, reads every property
// through the vtable and by name, releases. Exit code 0 only when every call gave the expected answer.
// With --retry-refused, an activation refused with E_FAIL is tried again (up to 20 times) and counted apart: Wine
// hands a client the class object of a live server that has just revoked it and then fails the activation, where
// Windows' activation service starts a new server by itself. Every other failure still fails.
// Usage: LifecycleClient <sample.xml> <rounds> [--retry-refused]

#include <cstdio>
#include <string>

#include <windows.h>

#include "ReaderClient.h"
#include "TestSupport.h"

using namespace varnok::test;

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: LifecycleClient <sample.xml> <rounds> [--retry-refused]\n");
        return 2;
    }
    const std::wstring sample = argv[1];
    const int rounds = std::stoi(argv[2]);
    const bool retryRefused = argc > 3 && std::wstring(argv[3]) == L"--retry-refused";
    ComApartment apartment;
    int failures = 0;
    int refused = 0;
    const auto fail = [&](const char* what, int round, HRESULT hr) {
        ++failures;
        std::fprintf(stderr, "round %d: %s (0x%08lX)\n", round, what, static_cast<unsigned long>(hr));
    };

    for (int round = 0; round < rounds; ++round) {
        for (Binding binding : {Binding::Vtable, Binding::Dispatch}) {
            std::unique_ptr<ReaderClient> reader;
            for (int attempt = 1; !reader; ++attempt) {
                try {
                    reader = createReader(binding);
                } catch (const std::exception& e) {
                    // Only that refusal, E_FAIL from CoCreateInstance. A server that went away under an activation
                    // (0x800706BA, as before it served them out) or a failure on the created object is a cut-off.
                    const bool refusal =
                        std::string(e.what()) == "cannot create VarnokSrv.FileReader: " + std::to_string(E_FAIL);
                    if (!retryRefused || !refusal || attempt == 20) {
                        fail(e.what(), round, E_FAIL);
                        break;
                    }
                    ++refused;
                    std::fprintf(stderr, "round %d: activation refused, tried again: %s\n", round, e.what());
                    ::Sleep(100);
                }
            }
            if (!reader)
                continue;
            const Answer status = reader->readData(sample);
            if (status.hr != S_OK || status.text != L"OK") {
                fail("ReadData", round, status.hr);
                continue;
            }
            for (const auto& property : propertyNames()) {
                const Answer value = reader->get(property);
                if (value.hr != S_OK || value.isNull)
                    fail(utf8(property).c_str(), round, value.hr);
            }
            if (reader->get(L"NrRejestracyjny").text != L"WA 12345")
                fail("NrRejestracyjny value", round, S_OK);
            if (reader->closeData().hr != S_OK)
                fail("CloseData", round, E_FAIL);
        }
    }
    std::printf("%s rounds=%d failures=%d refused=%d\n", failures ? "FAILED" : "PASSED", rounds, failures, refused);
    return failures ? 1 : 0;
}
