// make-hostile-pdfs FOLDER [NAME...]: writes each hostile PDF (or only those named) as FOLDER/NAME.pdf, for the
// benchmark and the Windows tests.

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "HostileFiles.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: make-hostile-pdfs FOLDER [NAME...]\n");
        return 2;
    }
    std::set<std::string> wanted(argv + 2, argv + argc);
    const bool all = wanted.empty();
    for (const auto& file : varnok::test::hostileFiles()) {
        if (!all && !wanted.erase(file.name))
            continue;
        const std::string text = file.make();
        const std::string path = std::string(argv[1]) + "/" + file.name + ".pdf";
        std::ofstream out(path, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    for (const std::string& name : wanted)
        std::fprintf(stderr, "no hostile file named %s\n", name.c_str());
    return wanted.empty() ? 0 : 2;
}
