#pragma once
// What an image file says about itself before any decoder sees it: the dimensions it declares in its first bytes
// (for the decoders, Wine's PNG, GIF and JPEG decoders among them, that decode every pixel as soon as they open a
// file), its format by its signature, and whether its structure asks for more work than its pixels can justify.
// Portable: tested natively.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace varnok {

struct DeclaredSize {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

// How many leading bytes declaredSize needs at most for PNG, GIF, BMP and JPEG: a JPEG's frame header follows its
// metadata segments. A TIFF's size is found only when its first directory lies within the bytes given.
inline constexpr std::size_t imageHeaderBytes = 256 * 1024;

// PNG, GIF, BMP, JPEG and TIFF; nothing for other formats or a header too short to tell.
std::optional<DeclaredSize> declaredSize(std::span<const std::uint8_t> head);

// The format's name as users know it, from its signature; empty when the signature is not one we know.
std::string_view formatName(std::span<const std::uint8_t> head);

// The verdict of the structure checks on a whole file.
struct Structure {
    enum class Verdict {
        Fine,
        TooManyScans,   // a JPEG's scans: each one is a pass over every pixel
        BadTables,      // a JPEG's Huffman tables that claim more codes than a table holds
        TooManyStrips,  // a TIFF's strips or tiles: far more than its pixels need
        BadRle,         // a BMP's run lengths that run past the rows they belong to, or beyond the last row
    };
    Verdict verdict = Verdict::Fine;
    std::uint64_t count = 0;  // the scans or strips counted, for the refusal's diagnosis
    // How many bytes the decoder gets: the whole file, or a GIF up to the end of its first frame (its trailer byte
    // then follows), since the frames after it are never read but some decoders load them all.
    std::uint64_t decodeBytes = 0;
    bool gifTrailer = false;
};

// At most this many JPEG scans (a progressive JPEG has about ten), fewer for large images: the scans of one image
// together pass over at most `jpegScanPixels` pixels, but at least 16 scans are always allowed.
inline constexpr std::uint64_t maxJpegScans = 64;
inline constexpr std::uint64_t jpegScanPixels = 2'000'000'000;
// A TIFF with more strips or tiles than this holds at least 256 pixels in each on average.
inline constexpr std::uint64_t manyTiffStrips = 65536;

Structure checkStructure(std::span<const std::uint8_t> file);

// What a JPEG's own headers say its decoding costs, read without decoding it: its frame and its scans, each scan a
// pass over every pixel. A decoder's work is bounded by these, never by a size someone declares for the image.
struct JpegFrame {
    std::uint64_t width = 0, height = 0;
    int precision = 0;           // bits per sample
    std::uint8_t marker = 0;     // SOF0 to SOF15: the coding process
    std::uint64_t scans = 0;     // counted up to maxJpegScans + 1
    // Every Huffman table within its segment, of class 0 or 1 and number 0 to 3, with at most 256 codes: a decoder
    // that trusts the counts writes past its tables (stb does).
    bool tablesSound = true;
    // 8-bit Huffman coding, baseline, extended or progressive: what every common decoder takes.
    bool common() const { return precision == 8 && marker >= 0xC0 && marker <= 0xC2; }
    std::uint64_t decodeWork() const { return width * height * std::max<std::uint64_t>(scans, 1); }
};
// Nothing when the file holds no frame header before its first scan.
std::optional<JpegFrame> jpegFrame(std::span<const std::uint8_t> file);

// Whether every Huffman table a JPEG defines, before or between any of its scans, is sound (JpegFrame); true for a
// file that is no JPEG.
bool jpegTablesSound(std::span<const std::uint8_t> file);

}  // namespace varnok
