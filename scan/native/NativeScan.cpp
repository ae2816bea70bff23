// varnok-scan FILE|FOLDER...: the developers' reader for Linux (images decoded by stb, PDF scans by our PDF
// reader with stb for their JPEG images), used by the corpus scripts. One line per image file: FILE<TAB>TEXT, or
// FILE<TAB>!<TAB>reason in English; a part of a structured-append sequence and GS1 data add a note on stderr.
// Exit code 0 when every file was read, 1 otherwise, 2 for a usage error. VarnokScan.exe (scan/VarnokScan.cpp),
// the product's Windows tool, prints the same shape of line with Polish reasons, and a line for every file of a
// folder.

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
#include "scan/ScanFiles.h"

namespace {

using varnok::aztec::GrayImage;
using varnok::aztec::ReadResult;

struct Pixels {
    stbi_uc* data = nullptr;
    ~Pixels() { stbi_image_free(data); }
};

const char* const workLimit = "PDF too costly to read: stopped at the work limit of one file";

ReadResult failed(std::string reason) { return {varnok::aztec::ReadFailure::BadImage, "", std::move(reason)}; }

// One PDF image's pixels as gray, or why not.
std::optional<std::string> toGray(varnok::pdf::ImagePixels& image)
{
    using Kind = varnok::pdf::ImagePixels::Kind;
    if (image.kind == Kind::Jpeg) {
        int width = 0, height = 0, channels = 0;
        Pixels pixels;
        pixels.data = stbi_load_from_memory(image.bytes.data(), static_cast<int>(image.bytes.size()), &width, &height,
                                            &channels, 1);
        if (!pixels.data)
            return std::string("cannot read a JPEG image: ") + stbi_failure_reason();
        image.bytes.assign(pixels.data, pixels.data + std::size_t(width) * height);
        for (auto& p : image.bytes)
            p = image.invert ? static_cast<stbi_uc>(255 - p) : p;
        image.width = width;
        image.height = height;
        image.kind = Kind::Gray;
    }
    switch (image.kind) {
    case Kind::Gray: return std::nullopt;
    case Kind::TooLarge:
        return "image too large: " + std::to_string(image.width) + " x " + std::to_string(image.height);
    case Kind::NoMemory:
        return "not enough memory for the image: " + std::to_string(image.width) + " x " + std::to_string(image.height);
    case Kind::Unsupported: return "PDF image in " + image.fault.reason + ": scan in grayscale or to JPEG";
    case Kind::Failed: return "cannot read the PDF: " + image.fault.describe();
    case Kind::Jpeg:
    case Kind::WorkLimit: break;
    }
    return "cannot read the image";
}

// Each image tried alone until a symbol is read; otherwise the most telling failure, as VarnokScan.exe reports it.
ReadResult scanPdf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    varnok::pdf::Reader reader{varnok::pdf::Bytes(file)};
    const varnok::pdf::Listing listing = reader.list();
    switch (listing.refusal) {
    case varnok::pdf::Refusal::Encrypted: return failed("encrypted PDF");
    case varnok::pdf::Refusal::NoImage: return failed("no image in the PDF (a symbol drawn as vector graphics?)");
    case varnok::pdf::Refusal::FileTooLarge: return failed("PDF file too large");
    case varnok::pdf::Refusal::WorkLimit: return failed(workLimit);
    case varnok::pdf::Refusal::UnsupportedCompression:
        return failed(std::string("PDF image in ") + varnok::pdf::codecName(listing.images.front().codec) +
                      ": scan in grayscale or to JPEG");
    case varnok::pdf::Refusal::None: break;
    }
    if (listing.fault)
        return failed("cannot read the PDF: " + listing.fault->describe());
    std::optional<ReadResult> damaged, noSymbol;
    std::optional<std::string> unsupported, other;
    bool spent = false;
    for (const auto& info : listing.images) {
        varnok::pdf::ImagePixels image = reader.pixels(info, varnok::aztec::maxPixels);
        if (image.kind == varnok::pdf::ImagePixels::Kind::WorkLimit) {
            spent = true;
            break;
        }
        if (const auto problem = toGray(image)) {
            auto& slot = image.kind == varnok::pdf::ImagePixels::Kind::Unsupported ? unsupported : other;
            slot = slot.value_or(*problem);
            continue;
        }
        varnok::aztec::Budget work(reader.budget().left());
        ReadResult read = varnok::aztec::readAztec(
            GrayImage{image.bytes.data(), static_cast<int>(image.width), static_cast<int>(image.height), image.width},
            work);
        reader.budget().take(reader.budget().left() - work.left());
        if (read.failure == varnok::aztec::ReadFailure::None)
            return read;
        auto& slot = read.failure == varnok::aztec::ReadFailure::TooDamaged ? damaged : noSymbol;
        if (!slot)
            slot = std::move(read);
        if (reader.budget().exhausted()) {
            spent = true;
            break;
        }
    }
    if (damaged)
        return *damaged;
    if (unsupported)
        return failed(*unsupported);
    if (spent)
        return failed(workLimit);
    if (noSymbol)
        return *noSymbol;
    return failed(other.value_or("no image in the PDF"));
}

bool isPdf(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> head(1024);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return varnok::pdf::looksLikePdf(head);
}

ReadResult scan(const char* path)
{
    if (isPdf(path))
        return scanPdf(path);
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
            report(file.string(), scan(file.string().c_str()));
    }
    return varnok::scan::scanExitCode(files, failures);
}
