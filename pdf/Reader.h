#pragma once
// A PDF scan's images as the Aztec reader tries them: pages in order, on each page its images largest first, each
// one's pixels as 8-bit gray (or, for JPEG data, the bytes for the caller's decoder). Portable: no platform
// headers; every stage reports a Fault naming itself and the object it was at.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Objects.h"
#include "Result.h"

namespace varnok::pdf {

class Document;

// Larger files are refused unread.
inline constexpr std::uint64_t maxFileBytes = 256ull << 20;

// "%PDF-" within the first 1024 bytes, where readers look for it, in a file that does not start as an image.
bool looksLikePdf(Bytes head);

enum class Codec { None, Dct, Fax, Jbig2, Jpx };

struct ImageInfo {
    int page = 0;  // 1-based
    int object = 0;
    long long width = 0;
    long long height = 0;
    Codec codec = Codec::None;
};

struct Listing {
    Refusal refusal = Refusal::None;
    std::optional<Fault> fault;     // the file as a whole could not be read
    std::vector<ImageInfo> images;  // in the order to try
    std::vector<Fault> skipped;     // pages or images that could not be listed
};

struct ImagePixels {
    // TooLarge: beyond the pixel limit; NoMemory: its samples exceed what one image may hold, or memory ran out.
    enum class Kind { Gray, Jpeg, TooLarge, NoMemory, Unsupported, Failed };
    Kind kind = Kind::Failed;
    std::vector<std::uint8_t> bytes;  // Gray: width x height pixels, rows top down; Jpeg: the file's bytes
    long long width = 0;
    long long height = 0;
    bool invert = false;  // Jpeg: the decoded gray is to be inverted (a /Decode array that swaps dark and light)
    Fault fault;          // Failed, Unsupported
};

class Reader {
public:
    // Borrows `file`, which must outlive the reader.
    explicit Reader(Bytes file);
    ~Reader();

    Listing list();
    ImagePixels pixels(const ImageInfo& image, std::uint64_t maxPixels);

private:
    Bytes file_;
    std::unique_ptr<Document> document_;
};

const char* codecName(Codec codec);

}  // namespace varnok::pdf
