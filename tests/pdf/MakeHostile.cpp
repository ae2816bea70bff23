// make-hostile-pdfs FOLDER [NAME...]: writes each hostile PDF (or only those named) as FOLDER/NAME.pdf, for the
// benchmark and the Windows tests.
// make-hostile-pdfs --slow-corpus FOLDER: the two slow inputs scaled down for the fuzzer's corpus
// (tests/fuzz/slow-corpus holds what it wrote).

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "HostileFiles.h"

namespace {

bool write(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out)
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace varnok::test;
    if (argc == 3 && std::string(argv[1]) == "--slow-corpus") {
        const std::string folder = argv[2];
        return write(folder + "/lengths-into-a-string-40-pages.pdf", lengthsIntoAString(40, 40'000)) &&
                       write(folder + "/jpegs-larger-than-declared-20-pages.pdf", jpegsLargerThanDeclared(20, 2000, 2400))
                   ? 0
                   : 1;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: make-hostile-pdfs FOLDER [NAME...]\n");
        return 2;
    }
    std::set<std::string> wanted(argv + 2, argv + argc);
    const bool all = wanted.empty();
    for (const auto& file : hostileFiles()) {
        if (!all && !wanted.erase(file.name))
            continue;
        if (!write(std::string(argv[1]) + "/" + file.name + ".pdf", file.make()))
            return 1;
    }
    for (const std::string& name : wanted)
        std::fprintf(stderr, "no hostile file named %s\n", name.c_str());
    return wanted.empty() ? 0 : 2;
}
