#pragma once
// PDF files built to hold a reader as long as they can, one of each kind: each is small, made in memory, and must
// end with its failure quickly. Shared by the native tests, the benchmark and the Windows clients.

#include <string>
#include <vector>

namespace varnok::test {

struct HostileFile {
    const char* name;     // a file name, NAME.pdf
    const char* what;
    std::string (*make)();
    const char* outcome;  // what a read ends with: "no image", "fault pages", "work limit", ...
};

const std::vector<HostileFile>& hostileFiles();

// Two of them made at any size, for the slow-input fuzzer's corpus.
std::string lengthsIntoAString(int pages, std::size_t stringBytes);
std::string jpegsLargerThanDeclared(int pages, int width, int height);

}  // namespace varnok::test
