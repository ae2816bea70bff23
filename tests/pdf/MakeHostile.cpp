// make-hostile-pdfs FOLDER: writes each hostile PDF as FOLDER/NAME.pdf, for the benchmark and the Windows tests.

#include <cstdio>
#include <fstream>
#include <string>

#include "HostileFiles.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-hostile-pdfs FOLDER\n");
        return 2;
    }
    for (const auto& file : varnok::test::hostileFiles()) {
        const std::string text = file.make();
        const std::string path = std::string(argv[1]) + "/" + file.name + ".pdf";
        std::ofstream out(path, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
