// varnok-scan FILE|FOLDER...: the developers' reader for Linux (images decoded by stb), used by the corpus scripts;
// VarnokScan.exe (scan/VarnokScan.cpp) is the product's Windows tool and prints the same lines. One line per file:
// FILE<TAB>TEXT, or FILE<TAB>!<TAB>reason; a part of a structured-append sequence adds a note on stderr. Exit code
// 0 when every file was read, 1 otherwise, 2 for a usage error.

#include <cstdio>
#include <string>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO_WRITE
#include <stb/stb_image.h>

#include "aztec/Reader.h"
#include "scan/ScanFiles.h"

namespace {

using varnok::aztec::GrayImage;
using varnok::aztec::ReadResult;

struct Pixels {
    stbi_uc* data = nullptr;
    ~Pixels() { stbi_image_free(data); }
};

ReadResult scan(const char* path)
{
    ReadResult result;
    int width = 0, height = 0, channels = 0;
    if (!stbi_info(path, &width, &height, &channels)) {
        result.failure = varnok::aztec::ReadFailure::BadImage;
        result.reason = std::string("cannot read the image: ") + stbi_failure_reason();
        return result;
    }
    // Refused before the pixels are decoded.
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > varnok::aztec::maxPixels) {
        result.failure = varnok::aztec::ReadFailure::BadImage;
        result.reason = "image too large: " + std::to_string(width) + " x " + std::to_string(height);
        return result;
    }
    Pixels pixels;
    pixels.data = stbi_load(path, &width, &height, &channels, 1);
    if (!pixels.data) {
        result.failure = varnok::aztec::ReadFailure::BadImage;
        result.reason = std::string("cannot read the image: ") + stbi_failure_reason();
        return result;
    }
    return varnok::aztec::readAztec(GrayImage{pixels.data, width, height, width});
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: varnok-scan FILE|FOLDER...\n");
        return 2;
    }
    int files = 0, failures = 0;
    for (int i = 1; i < argc; ++i) {
        const auto report = [&](const std::string& file, const ReadResult& r) {
            const std::string line = varnok::scan::scanLine(file, r) + '\n';
            std::fwrite(line.data(), 1, line.size(), stdout);
            if (const std::string note = varnok::scan::sequenceNote(file, r); !note.empty())
                std::fprintf(stderr, "%s\n", note.c_str());
            ++files;
            failures += r.failure != varnok::aztec::ReadFailure::None;
        };
        const auto found = varnok::scan::imageFilesOf(argv[i]);
        if (found.empty())
            report(argv[i], {varnok::aztec::ReadFailure::BadImage, "", varnok::scan::noImagesReason});
        for (const auto& file : found)
            report(file.string(), scan(file.string().c_str()));
    }
    return varnok::scan::scanExitCode(files, failures);
}
