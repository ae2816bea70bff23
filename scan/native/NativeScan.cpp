// varnok-scan FILE|FOLDER...: the developers' reader for Linux (images decoded by stb, PDF scans by our PDF
// reader with stb for their JPEG images), used by the corpus scripts. One line per image file: FILE<TAB>TEXT, or
// FILE<TAB>!<TAB>reason in English; a part of a structured-append sequence and GS1 data add a note on stderr.
// Exit code 0 when every file was read, 1 otherwise, 2 for a usage error. VarnokScan.exe (scan/VarnokScan.cpp),
// the product's Windows tool, prints the same shape of line with Polish reasons, and a line for every file of a
// folder.

#include <algorithm>
#include <climits>
#include <cstdio>
#include <malloc.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO_WRITE
#include <stb/stb_image.h>

#include "aztec/Reader.h"
#include "pdf/Reader.h"
#include "worker/ReadFile.h"
#include "scan/ScanFiles.h"

namespace {

using varnok::aztec::GrayImage;
using varnok::aztec::ReadResult;

struct Pixels {
    stbi_uc* data = nullptr;
    ~Pixels() { stbi_image_free(data); }
};

// What VarnokImageWorker.exe does with WIC, done with stb.
varnok::GrayPixels decodeWithStb(std::span<const std::uint8_t> file, std::uint64_t maxPixels)
{
    using Kind = varnok::ImageFileError::Kind;
    int width = 0, height = 0, channels = 0;
    const auto size = static_cast<int>(std::min<std::size_t>(file.size(), INT_MAX));
    if (!stbi_info_from_memory(file.data(), size, &width, &height, &channels))
        throw varnok::ImageFileError(Kind::Unreadable, 0);
    if (width <= 0 || height <= 0 || static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > maxPixels)
        throw varnok::ImageFileError(Kind::TooLarge, 0, static_cast<std::uint32_t>(width),
                                     static_cast<std::uint32_t>(height));
    Pixels pixels;
    pixels.data = stbi_load_from_memory(file.data(), size, &width, &height, &channels, 1);
    if (!pixels.data)
        throw varnok::ImageFileError(Kind::Unreadable, 0);
    return {std::vector<std::uint8_t>(pixels.data, pixels.data + std::size_t(width) * height), width, height};
}

std::string dimensions(const varnok::ImageFileError& error)
{
    return std::to_string(error.width()) + " x " + std::to_string(error.height());
}

// The developers' words for a file's failure; VarnokScan.exe words the same failures in Polish.
std::string reasonOf(const varnok::ImageFileError& error)
{
    using Kind = varnok::ImageFileError::Kind;
    using varnok::pdf::Refusal;
    if (const auto* pdf = error.pdf()) {
        switch (pdf->refusal) {
        case Refusal::Encrypted: return "encrypted PDF";
        case Refusal::NoImage: return "no image in the PDF (a symbol drawn as vector graphics?)";
        case Refusal::FileTooLarge: return "PDF file too large";
        case Refusal::WorkLimit: return "PDF too costly to read: stopped at the work limit of one file";
        case Refusal::UnsupportedCompression: return "PDF image in " + pdf->detail + ": scan in grayscale or to JPEG";
        case Refusal::None: break;
        }
        return "cannot read the PDF: " + pdf->detail;
    }
    if (error.kind() == Kind::TooLarge)
        return error.code() == 0 ? "image too large: " + dimensions(error)
                                 : "not enough memory for the image: " + dimensions(error);
    return "cannot read the image";
}

ReadResult scan(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    varnok::worker::FileOutcome outcome = varnok::worker::readFile(file, file.size(), decodeWithStb);
    if (outcome.error)
        return {varnok::aztec::ReadFailure::BadImage, "", reasonOf(*outcome.error)};
    return std::move(outcome.read);
}

}  // namespace

int main(int argc, char** argv)
{
    // The reader's image-sized buffers, freed and taken again strategy after strategy, stay in the heap instead
    // of going back to the system and being faulted in anew (a fifth of a large page's time).
    if (mallopt(M_MMAP_THRESHOLD, 256 << 20) == 0)
        mallopt(M_MMAP_THRESHOLD, 32 << 20);  // where the C library allows no more
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    if (argc < 2) {
        std::fprintf(stderr, "usage: varnok-scan FILE|FOLDER...\n");
        return 2;
    }
    int files = 0, failures = 0;
    for (int i = 1; i < argc; ++i) {
        const auto report = [&](const std::string& file, const ReadResult& r) {
            const std::string line = varnok::scan::scanLine(file, r) + '\n';
            std::fwrite(line.data(), 1, line.size(), stdout);
            for (const std::string& note : {varnok::scan::sequenceNote(file, r), varnok::scan::gs1Note(file, r)})
                if (!note.empty())
                    std::fprintf(stderr, "%s\n", note.c_str());
            ++files;
            failures += r.failure != varnok::aztec::ReadFailure::None;
        };
        const auto found = varnok::scan::imageFilesOf(argv[i]);
        if (found.empty())
            report(argv[i], {varnok::aztec::ReadFailure::BadImage, "", varnok::scan::noImagesReason});
        for (const auto& file : found)
            report(file.string(), scan(file.string()));
    }
    return varnok::scan::scanExitCode(files, failures);
}
