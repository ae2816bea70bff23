#pragma once
// A PDF scan's images as the Aztec reader tries them: pages in order, on each page its images largest first, each
// one's pixels as 8-bit gray (or, for JPEG data, the bytes for the caller's decoder). Portable: no platform
// headers; every stage reports a Fault naming itself and the object it was at.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Budget.h"
#include "Filters.h"
#include "Objects.h"
#include "Result.h"

namespace varnok::pdf {

class Document;

// Larger files are refused unread.
inline constexpr std::uint64_t maxFileBytes = 256ull << 20;

// "%PDF-" within the first 1024 bytes, where readers look for it, in a file that does not start as an image.
bool looksLikePdf(Bytes head);

struct ImageInfo {
    int page = 0;  // 1-based
    int object = 0;
    long long width = 0;
    long long height = 0;
    Codec codec = Codec::None;
    // A pixel's height over its width as the page shows the image where first drawn; none when the page says
    // nothing sensible (no placement, or one that squashes the image to nothing).
    std::optional<double> pixelAspect;
};

struct Listing {
    // WorkLimit: the budget ran out while listing; UnsupportedCompression: every image is in a codec not read.
    Refusal refusal = Refusal::None;
    std::optional<Fault> fault;     // the file as a whole could not be read
    std::vector<ImageInfo> images;  // in the order to try
    std::vector<Fault> skipped;     // pages or images that could not be listed
};

struct ImagePixels {
    // TooLarge: beyond the pixel limit; NoMemory: its samples exceed what one image may hold, or memory ran out;
    // WorkLimit: the file's budget ran out.
    enum class Kind { Gray, Jpeg, TooLarge, NoMemory, Unsupported, Failed, WorkLimit };
    Kind kind = Kind::Failed;
    std::vector<std::uint8_t> bytes;  // Gray: width x height pixels, rows top down; Jpeg: the file's bytes
    long long width = 0;
    long long height = 0;
    bool invert = false;  // Jpeg: the decoded gray is to be inverted (a /Decode array that swaps dark and light)
    Fault fault;          // Failed, Unsupported
};

class Reader {
public:
    // Borrows `file`, which must outlive the reader; `work` is the budget of the whole read (see Budget.h).
    explicit Reader(Bytes file, long long work = fileWork);
    ~Reader();

    Listing list();
    ImagePixels pixels(const ImageInfo& image, std::uint64_t maxPixels);

    // What is left for the caller's own work on the images (reading a symbol), which it charges here; once
    // exhausted, the file ends with the most telling failure found so far.
    Budget& budget() { return budget_; }

private:
    Bytes file_;
    Budget budget_;
    std::unique_ptr<Document> document_;
};

}  // namespace varnok::pdf
