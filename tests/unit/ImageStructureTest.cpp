// What the image worker decides before any decoder runs (structure checks, the format's name) and the gray it
// makes of each pixel format a decoder delivers. The hostile files are built here, small where the check does not
// depend on the size.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/BmpRle.h"
#include "imaging/GrayConversion.h"
#include "imaging/ImageHeader.h"

namespace varnok {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put16be(Bytes& b, unsigned v) { b.insert(b.end(), {std::uint8_t(v >> 8), std::uint8_t(v)}); }
void put16le(Bytes& b, unsigned v) { b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); }
void put32le(Bytes& b, std::uint32_t v)
{
    b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)});
}
void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// A progressive JPEG's markers: the frame header, then `scans` scans whose data holds a stuffed 0xFF and a restart
// marker (neither ends a scan), each after a table segment, then EOI.
Bytes jpegCoded(std::uint8_t frameMarker, std::uint8_t precision, unsigned width, unsigned height, int scans)
{
    Bytes j{0xFF, 0xD8, 0xFF, frameMarker};
    put16be(j, 11);
    j.push_back(precision);
    put16be(j, height);
    put16be(j, width);
    j.insert(j.end(), {1, 1, 0x11, 0});
    for (int i = 0; i < scans; ++i) {
        j.insert(j.end(), {0xFF, 0xC4, 0x00, 0x14, 0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
        j.insert(j.end(), {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0, 0, 63, 0});
        j.insert(j.end(), {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD3, 0x56, 0xFF, 0xFF, 0x00});
    }
    j.insert(j.end(), {0xFF, 0xD9});
    return j;
}
Bytes jpeg(unsigned width, unsigned height, int scans) { return jpegCoded(0xC2, 8, width, height, scans); }

// A GIF of `frames` frames of 2 x 2 pixels, each behind a graphic control extension.
Bytes gif(int frames, std::size_t* firstFrameEnd = nullptr)
{
    Bytes g{'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
    for (int i = 0; i < frames; ++i) {
        g.insert(g.end(), {0x21, 0xF9, 4, 0, 10, 0, 0, 0});
        g.insert(g.end(), {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 2, 2, 0x84, 0x51, 0});
        if (i == 0 && firstFrameEnd)
            *firstFrameEnd = g.size();
    }
    g.push_back(0x3B);
    return g;
}

// An 8-bit RLE bitmap of `width` x `height` from its encoded rows.
Bytes rle8(std::int32_t width, std::int32_t height, const Bytes& data)
{
    Bytes b{'B', 'M'};
    put32le(b, 54 + 1024 + static_cast<std::uint32_t>(data.size()));
    put32le(b, 0);
    put32le(b, 54 + 1024);
    put32le(b, 40);
    put32le(b, static_cast<std::uint32_t>(width));
    put32le(b, static_cast<std::uint32_t>(height));
    put16le(b, 1);
    put16le(b, 8);
    put32le(b, 1);
    for (int i = 0; i < 5; ++i)
        put32le(b, 0);
    b.resize(b.size() + 1024, 0xFF);
    append(b, data);
    return b;
}

// A blank page: every row in runs of 255, then end of line; end of bitmap after the last.
Bytes blankRows(std::int32_t width, std::int32_t height)
{
    Bytes row;
    for (std::int32_t left = width; left > 0; left -= 255)
        row.insert(row.end(), {std::uint8_t(std::min(left, 255)), 1});
    row.insert(row.end(), {0, 0});
    Bytes data;
    for (std::int32_t y = 0; y < height; ++y)
        append(data, row);
    data.insert(data.end(), {0, 1});
    return data;
}

// A little-endian TIFF's first directory: only its entries matter to the check, not the strips they point at.
Bytes tiff(std::uint32_t width, std::uint32_t height, std::uint32_t strips, std::uint16_t countTag = 273)
{
    Bytes t{'I', 'I', 42, 0, 8, 0, 0, 0};
    put16le(t, 3);
    for (const auto& [tag, count, value] : {std::tuple{256, 1u, width}, std::tuple{257, 1u, height},
                                            std::tuple{int(countTag), strips, 100u}}) {
        put16le(t, static_cast<unsigned>(tag));
        put16le(t, 4);
        put32le(t, count);
        put32le(t, value);
    }
    put32le(t, 0);
    return t;
}

TEST(ImageStructure, EachHostileCaseIsFoundBeforeDecoding)
{
    using Verdict = Structure::Verdict;
    std::size_t firstFrameEnd = 0;
    const Bytes manyFrames = gif(10000, &firstFrameEnd);
    Bytes overrun = blankRows(100, 2);
    overrun[0] = 255;  // the first run of 100 pixels becomes 255
    Bytes belowLast = blankRows(10, 1);
    belowLast.insert(belowLast.end() - 2, {5, 1});  // pixels after the last row's end of line
    const Bytes delta{0, 2, 200, 0, 0, 1};          // a move past the row's end
    const struct {
        const char* what;
        Bytes file;
        Verdict verdict;
        std::uint64_t count;
    } cases[] = {
        {"progressive JPEG, 10 scans", jpeg(600, 700, 10), Verdict::Fine, 10},
        {"JPEG, 64 scans of a small image", jpeg(600, 700, 64), Verdict::Fine, 64},
        {"JPEG, 65 scans of a small image", jpeg(600, 700, 65), Verdict::TooManyScans, 65},
        {"JPEG 10000 x 12000, its last scan repeated 500 times", jpeg(10000, 12000, 510), Verdict::TooManyScans, 17},
        {"JPEG 10000 x 12000, 16 scans", jpeg(10000, 12000, 16), Verdict::Fine, 16},
        {"GIF of 10,000 frames", manyFrames, Verdict::Fine, 0},
        {"RLE8 blank page 10000 x 12000", rle8(10000, 12000, blankRows(10000, 12000)), Verdict::Fine, 0},
        {"RLE8 run past its row", rle8(100, 2, overrun), Verdict::BadRle, 0},
        {"RLE8 pixels above the last row", rle8(10, 1, belowLast), Verdict::BadRle, 1},
        {"RLE8 move past its row", rle8(100, 2, delta), Verdict::BadRle, 0},
        {"TIFF of 10,000,000 one-row strips of 12 pixels", tiff(12, 10'000'000, 10'000'000), Verdict::TooManyStrips,
         10'000'000},
        {"TIFF of 1,000,000 tiles for 16 megapixels", tiff(4096, 4096, 1'000'000, 324), Verdict::TooManyStrips,
         1'000'000},
        {"TIFF of 65,536 one-row strips of 256 pixels", tiff(256, 65536, 65536), Verdict::Fine, 65536},
        {"TIFF of 100 strips", tiff(2480, 3508, 100), Verdict::Fine, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Structure found = checkStructure(c.file);
        EXPECT_EQ(found.verdict, c.verdict);
        EXPECT_EQ(found.count, c.count);
    }
    // Only the first frame goes to the decoder, its trailer after it.
    const Structure frames = checkStructure(manyFrames);
    EXPECT_TRUE(frames.gifTrailer);
    EXPECT_EQ(frames.decodeBytes, firstFrameEnd);
    const Bytes single = gif(1);
    EXPECT_FALSE(checkStructure(single).gifTrailer);
    EXPECT_EQ(checkStructure(single).decodeBytes, single.size());
    // A GIF cut short inside its first frame is left whole, for the decoder to call damaged.
    const Bytes cut(manyFrames.begin(), manyFrames.begin() + 30);
    EXPECT_FALSE(checkStructure(cut).gifTrailer);
    EXPECT_EQ(checkStructure(cut).decodeBytes, cut.size());
}

// A JPEG's decoding work from its own headers: every scan passes over every pixel, whatever size anyone declares.
TEST(ImageStructure, JpegFrameGivesTheDecodingWork)
{
    Bytes noFrame{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x08, 1, 1, 0, 0, 63, 0, 0x12, 0xFF, 0xD9};
    const struct {
        const char* what;
        Bytes file;
        bool common;
        std::uint64_t scans, work;
    } cases[] = {
        {"progressive, 16 scans of 10000 x 12000", jpeg(10000, 12000, 16), true, 16, 1'920'000'000},
        {"baseline, one scan", jpegCoded(0xC0, 8, 600, 700, 1), true, 1, 420'000},
        {"extended, 8 bits", jpegCoded(0xC1, 8, 600, 700, 1), true, 1, 420'000},
        {"extended, 12 bits", jpegCoded(0xC1, 12, 600, 700, 1), false, 1, 420'000},
        {"lossless", jpegCoded(0xC3, 8, 600, 700, 1), false, 1, 420'000},
        {"arithmetic coding", jpegCoded(0xC9, 8, 600, 700, 2), false, 2, 840'000},
        {"scans counted one past the most allowed", jpeg(10, 10, 500), true, maxJpegScans + 1, 100 * (maxJpegScans + 1)},
        {"no scan at all", jpeg(10, 10, 0), true, 0, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto frame = jpegFrame(c.file);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->common(), c.common);
        EXPECT_EQ(frame->scans, c.scans);
        EXPECT_EQ(frame->decodeWork(), c.work);
    }
    EXPECT_FALSE(jpegFrame(noFrame)) << "no frame before the first scan";
    EXPECT_FALSE(jpegFrame(gif(1))) << "not a JPEG";
    EXPECT_FALSE(jpegFrame(Bytes{0xFF, 0xD8})) << "cut after its first marker";
    // Stray bytes between segments hide no scan: decoders skip them to the next marker.
    Bytes hidden = jpeg(100, 100, 1);
    hidden.insert(hidden.begin() + 15, {0x00, 0x17, 0x42});
    EXPECT_EQ(jpegFrame(hidden)->scans, 1u);
}

// A Huffman table that claims more than 256 codes makes stb write past its tables: such a JPEG is refused before
// any decoder sees it, wherever the table is (before a later scan, behind fill bytes, behind stray bytes).
TEST(ImageStructure, HuffmanTablesMustHoldWhatTheyClaim)
{
    // Codes of lengths 1 to 15 `perLength` each, of length 16 `last`; as many values as codes.
    const auto table = [](std::uint8_t classAndNumber, std::uint8_t perLength, std::uint8_t last) {
        const std::size_t values = 15u * perLength + last;
        Bytes segment{0xFF, 0xC4};
        put16be(segment, static_cast<unsigned>(2 + 17 + values));
        segment.push_back(classAndNumber);
        segment.insert(segment.end(), 15, perLength);
        segment.push_back(last);
        segment.insert(segment.end(), values, 0);
        return segment;
    };
    const auto withTable = [](const Bytes& segment, std::size_t at) {
        Bytes file = jpeg(100, 100, 2);
        file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), segment.begin(), segment.end());
        return file;
    };
    const std::size_t afterFrame = 15, beforeSecondScan = jpeg(100, 100, 1).size() - 2;
    const struct {
        const char* what;
        Bytes file;
        bool sound;
    } cases[] = {
        {"256 codes", withTable(table(0x10, 16, 16), afterFrame), true},
        {"257 codes", withTable(table(0x10, 16, 17), afterFrame), false},
        {"16 x 255 codes", withTable(table(0x00, 255, 255), afterFrame), false},
        {"272 codes before the second scan", withTable(table(0x11, 17, 17), beforeSecondScan), false},
        {"a fifth table number", withTable(table(0x04, 1, 1), afterFrame), false},
        {"a table of class 2", withTable(table(0x20, 1, 1), afterFrame), false},
        {"more values than its segment holds", [&] {
             Bytes segment = table(0x00, 1, 1);
             segment[3] -= 4;
             return withTable(segment, afterFrame);
         }(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(jpegTablesSound(c.file), c.sound);
        EXPECT_EQ(checkStructure(c.file).verdict == Structure::Verdict::BadTables, !c.sound);
    }
    // Found where stb looks: after fill bytes before the start marker, and behind stray bytes.
    Bytes fill = withTable(table(0x00, 255, 255), afterFrame);
    fill.insert(fill.begin(), {0xFF, 0xFF});
    EXPECT_FALSE(jpegTablesSound(fill));
    Bytes stray = withTable(table(0x00, 255, 255), afterFrame);
    stray.insert(stray.begin() + afterFrame, {0x00, 0x17});
    EXPECT_FALSE(jpegTablesSound(stray));
    EXPECT_TRUE(jpegTablesSound(gif(1))) << "not a JPEG";
    EXPECT_TRUE(jpegTablesSound(jpeg(100, 100, 3)));
}

TEST(ImageStructure, ATiffDeclaresItsSizeInItsFirstDirectory)
{
    const auto size = declaredSize(tiff(12, 10'000'000, 10'000'000));
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 12u);
    EXPECT_EQ(size->height, 10'000'000u);
    Bytes outside = tiff(12, 10, 1);
    outside[4] = 200;  // the directory lies beyond the bytes given
    EXPECT_FALSE(declaredSize(outside));
}

TEST(ImageStructure, FormatsAreNamedByTheirSignatures)
{
    const auto named = [](std::string head) {
        return std::string(formatName(Bytes(head.begin(), head.end())));
    };
    using namespace std::string_literals;
    EXPECT_EQ(named("RIFF\x10\0\0\0WEBPVP8L"s), "WebP");
    EXPECT_EQ(named("\0\0\0\x18" "ftypheic\0\0\0\0"s), "HEIC");
    EXPECT_EQ(named("\0\0\0\x18" "ftypmif1\0\0\0\0"s), "HEIF");
    EXPECT_EQ(named("\0\0\0\x1C" "ftypavif\0\0\0\0"s), "AVIF");
    EXPECT_EQ(named("\0\0\0\x0CjP  \r\n\x87\n"s), "JPEG 2000");
    EXPECT_EQ(named("\xFF\x0A\xFA"s), "JPEG XL");
    EXPECT_EQ(named("II\xBC\x01"s), "JPEG XR");
    EXPECT_EQ(named("\x89PNG\r\n"s), "PNG");
    EXPECT_EQ(named("MM\0*"s), "TIFF");
    EXPECT_EQ(named("RIFF\x10\0\0\0WAVEfmt "s), "");
    EXPECT_EQ(named("To nie jest obraz.\r\n"s), "");
    EXPECT_EQ(named(""), "");
}

// Palette entries 0 black, 1 white, 2 mid gray, the rest white (rle8() fills the table with 0xFF).
Bytes withPalette(Bytes bitmap, std::uint16_t bits = 8)
{
    bitmap[28] = static_cast<std::uint8_t>(bits);
    bitmap[30] = bits == 8 ? 1 : 2;
    const Bytes entries{0, 0, 0, 0, 255, 255, 255, 0, 128, 128, 128, 0};
    std::copy(entries.begin(), entries.end(), bitmap.begin() + 54);
    return bitmap;
}

TEST(BmpRle, RunsAbsoluteBlocksAndMovesGiveTheRowsBottomUp)
{
    const struct {
        const char* what;
        Bytes file;
        std::optional<Bytes> gray;  // 4 x 2 pixels, top row first
    } cases[] = {
        {"RLE8 runs", withPalette(rle8(4, 2, {2, 1, 2, 2, 0, 0, 4, 0, 0, 1})), Bytes{0, 0, 0, 0, 255, 255, 128, 128}},
        {"RLE8 absolute block, padded", withPalette(rle8(4, 2, {0, 3, 1, 2, 1, 0, 0, 0, 0, 1})),
         Bytes{0, 0, 0, 0, 255, 128, 255, 0}},
        {"RLE8 move: skipped pixels keep entry 0", withPalette(rle8(4, 2, {0, 2, 2, 1, 2, 1, 0, 1})),
         Bytes{0, 0, 255, 255, 0, 0, 0, 0}},
        {"RLE4 runs alternate their two indices", withPalette(rle8(4, 2, {4, 0x12, 0, 0, 3, 0x22, 0, 1}), 4),
         Bytes{128, 128, 128, 0, 255, 128, 255, 128}},
        {"a run past its row", withPalette(rle8(4, 2, {5, 1, 0, 1})), std::nullopt},
        {"not RLE", [] { Bytes b = withPalette(rle8(4, 2, {0, 1})); b[30] = 0; return b; }(), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto decoded = decodeRleBitmap(c.file);
        ASSERT_EQ(decoded.has_value(), c.gray.has_value());
        if (decoded) {
            EXPECT_EQ(decoded->width, 4u);
            EXPECT_EQ(decoded->height, 2u);
            EXPECT_EQ(decoded->pixels, *c.gray);
        }
    }
}

// A data offset at or past the end of the file leaves the runs unread: on 32-bit code an offset near 4 GiB once
// wrapped to the bytes before the file and then to its start, where "BM" reads as a run of 66 pixels.
TEST(BmpRle, DataOffsetsAtOrPastTheEndReadNoRuns)
{
    const Bytes page = withPalette(rle8(4, 2, {2, 1, 2, 2, 0, 0, 4, 0, 0, 1}));
    const auto size = static_cast<std::uint32_t>(page.size());
    for (const std::uint32_t offset : {size, size - 1, 0xFFFFFFF0u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
        SCOPED_TRACE(offset);
        Bytes file = page;
        for (int i = 0; i < 4; ++i)
            file[10 + i] = static_cast<std::uint8_t>(offset >> (8 * i));
        const Structure found = checkStructure(file);
        EXPECT_EQ(found.verdict, Structure::Verdict::Fine);
        EXPECT_EQ(found.count, 0u);
        const auto decoded = decodeRleBitmap(file);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->pixels, Bytes(8, 0));  // palette entry 0 everywhere
    }
}

TEST(GrayConversion, EachLayoutGivesTheGrayOfItsPixels)
{
    const std::vector<std::uint32_t> palette{0xFF000000, 0xFFFFFFFF, 0x00000000, 0xFF204080};
    const struct {
        const char* what;
        PixelLayout layout;
        Bytes source;
        Bytes gray;
    } cases[] = {
        {"1-bit", PixelLayout::Gray1, {0b10100000}, {255, 0, 255, 0}},
        {"2-bit", PixelLayout::Gray2, {0b00011011}, {0, 85, 170, 255}},
        {"4-bit", PixelLayout::Gray4, {0x0F, 0x80}, {0, 255, 136}},
        {"8-bit", PixelLayout::Gray8, {0, 77, 255}, {0, 77, 255}},
        // 16-bit gray is little-endian in memory: 0x8000 is mid gray, 0x0080 nearly black.
        {"16-bit", PixelLayout::Gray16, {0x00, 0x80, 0x80, 0x00, 0xFF, 0xFF, 0x00, 0x00}, {128, 0, 255, 0}},
        {"1-bit palette", PixelLayout::Indexed1, {0b01000000}, {0, 255, 0}},
        {"2-bit palette (transparent entry)", PixelLayout::Indexed2, {0b10110000}, {255, 62}},
        {"8-bit palette, index beyond it", PixelLayout::Indexed8, {1, 3, 200}, {255, 62, 0}},
        {"BGR", PixelLayout::Bgr24, {0x80, 0x40, 0x20, 255, 255, 255}, {62, 255}},
        {"RGB", PixelLayout::Rgb24, {0x20, 0x40, 0x80, 0, 0, 0}, {62, 0}},
        {"BGRX ignores X", PixelLayout::Bgrx32, {0x80, 0x40, 0x20, 0}, {62}},
        {"BGRA over white", PixelLayout::Bgra32, {0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 128}, {255, 0, 127}},
        {"RGBA over white", PixelLayout::Rgba32, {0x20, 0x40, 0x80, 255}, {62}},
        {"premultiplied BGRA", PixelLayout::Pbgra32, {0, 0, 0, 0, 64, 64, 64, 128}, {255, 191}},
        {"premultiplied RGBA", PixelLayout::Prgba32, {0, 0, 0, 255}, {0}},
        {"48-bit RGB", PixelLayout::Rgb48, {0x00, 0x20, 0x00, 0x40, 0x00, 0x80}, {61}},
        {"48-bit BGR", PixelLayout::Bgr48, {0x00, 0x80, 0x00, 0x40, 0x00, 0x20}, {61}},
        {"64-bit RGBA", PixelLayout::Rgba64, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 255}},
        {"64-bit BGRA", PixelLayout::Bgra64, {0x00, 0x80, 0x00, 0x40, 0x00, 0x20, 0xFF, 0xFF}, {61}},
        {"64-bit premultiplied RGBA", PixelLayout::Prgba64, {0, 0x40, 0, 0x40, 0, 0x40, 0, 0x80}, {191}},
        {"CMYK: no ink, black ink, full cyan", PixelLayout::Cmyk32, {0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0},
         {255, 0, 179}},
        {"16-bit CMYK", PixelLayout::Cmyk64, {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, {255, 179}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes out(c.gray.size(), 0x55);
        rowToGray(c.layout, c.source, out, palette);
        EXPECT_EQ(out, c.gray);
    }
}

}  // namespace
}  // namespace varnok
