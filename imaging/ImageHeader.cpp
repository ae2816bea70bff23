#include "ImageHeader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "BmpRle.h"
#include "base/ByteOrder.h"

namespace varnok {

namespace {

using Bytes = std::span<const std::uint8_t>;

// Whether `n` bytes lie at `at`: what is left is compared, never `at + n`, which wraps for offsets a file gives.
bool has(Bytes bytes, std::size_t at, std::size_t n) { return at <= bytes.size() && bytes.size() - at >= n; }

bool startsWith(Bytes bytes, std::size_t at, std::string_view text)
{
    return has(bytes, at, text.size()) && std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

// BMP heights are signed: negative for rows stored top down.
std::uint64_t magnitude(std::uint32_t value)
{
    const auto v = static_cast<std::int32_t>(value);
    return v < 0 ? std::uint64_t(-std::int64_t(v)) : std::uint64_t(v);
}

bool isFrameHeader(std::uint8_t marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The frame header (SOF0 to SOF15, not DHT, JPG or DAC) after the segments before it.
std::optional<DeclaredSize> jpegSize(Bytes head)
{
    std::size_t at = 2;
    while (has(head, at, 4)) {
        if (head[at] != 0xFF)
            return std::nullopt;
        const std::uint8_t marker = head[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // no length
            at += 2;
            continue;
        }
        const std::size_t length = bigEndian16(&head[at + 2]);
        if (isFrameHeader(marker))
            return has(head, at, 9) ? std::optional<DeclaredSize>(DeclaredSize{bigEndian16(&head[at + 7]),
                                                                                     bigEndian16(&head[at + 5])})
                                         : std::nullopt;
        if (length < 2 || marker == 0xDA)  // the scan starts: no frame header before it
            return std::nullopt;
        at += 2 + length;
    }
    return std::nullopt;
}

// A TIFF's first directory, read only within the bytes given (classic TIFF; BigTIFF is left to the decoder).
struct TiffDirectory {
    std::uint64_t width = 0, height = 0;
    std::uint64_t strips = 0, tiles = 0;
};

std::optional<TiffDirectory> tiffDirectory(Bytes file)
{
    if (file.size() < 8)
        return std::nullopt;
    const bool little = startsWith(file, 0, "II*\0");
    if (!little && !startsWith(file, 0, "MM\0*"))
        return std::nullopt;
    const auto u16 = [&](std::size_t at) { return little ? littleEndian16(&file[at]) : bigEndian16(&file[at]); };
    const auto u32 = [&](std::size_t at) { return little ? littleEndian32(&file[at]) : bigEndian32(&file[at]); };
    const std::uint64_t directory = u32(4);
    if (directory > file.size() || file.size() - directory < 2)
        return std::nullopt;
    const std::size_t entries = u16(directory);
    if ((file.size() - directory - 2) / 12 < entries)
        return std::nullopt;
    TiffDirectory found;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t at = directory + 2 + 12 * i;
        const std::uint16_t tag = u16(at), type = u16(at + 2);
        const std::uint32_t count = u32(at + 4);
        // A single SHORT sits in the first half of the value field, whatever the byte order.
        const std::uint64_t value = type == 3 ? u16(at + 8) : u32(at + 8);
        switch (tag) {
        case 256: found.width = value; break;
        case 257: found.height = value; break;
        case 273: found.strips = count; break;
        case 324: found.tiles = count; break;
        default: break;
        }
    }
    return found;
}

// The frame header and the scans, counted to the end of the image or to `mostScans` + 1; the entropy-coded data
// between the scans is skipped marker by marker.
// A DHT segment's tables from `at` to `end`: each a class and number byte, 16 counts, then that many values. A file
// cut short is judged on what it has: a decoder reads nothing past its end.
bool huffmanTablesSound(Bytes file, std::size_t at, std::size_t end)
{
    while (at < std::min(end, file.size())) {
        if ((file[at] >> 4) > 1 || (file[at] & 15) > 3)
            return false;
        std::size_t codes = 0;
        for (std::size_t i = at + 1; i <= at + 16 && i < file.size(); ++i)
            codes += file[i];
        if (codes > 256 || (end - at < 17 + codes && end <= file.size()))
            return false;
        at += 17 + codes;
    }
    return true;
}

// Bytes between segments are skipped up to the next marker, as decoders do (stb among them): a frame, a scan or a
// table behind a few stray bytes is still found and charged.
JpegFrame walkJpeg(Bytes file, std::uint64_t mostScans, std::size_t at = 2)
{
    JpegFrame frame;
    while (has(file, at, 4)) {
        if (file[at] != 0xFF) {
            const auto* next = static_cast<const std::uint8_t*>(std::memchr(&file[at], 0xFF, file.size() - at));
            if (!next)
                break;
            at = static_cast<std::size_t>(next - file.data());
            continue;
        }
        const std::uint8_t marker = file[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD9)
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            at += 2;
            continue;
        }
        const std::size_t length = bigEndian16(&file[at + 2]);
        if (length < 2)
            break;
        if (marker == 0xC4 && !huffmanTablesSound(file, at + 4, at + 2 + length))
            frame.tablesSound = false;
        if (isFrameHeader(marker) && frame.marker == 0 && has(file, at, 9)) {
            frame.marker = marker;
            frame.precision = file[at + 4];
            frame.height = bigEndian16(&file[at + 5]);
            frame.width = bigEndian16(&file[at + 7]);
        }
        at += 2 + length;
        if (marker != 0xDA)
            continue;
        if (++frame.scans > mostScans)
            break;
        // The scan's data ends at the first marker that is neither a stuffed zero nor a restart.
        while (at < file.size()) {
            const auto* found = static_cast<const std::uint8_t*>(std::memchr(&file[at], 0xFF, file.size() - at));
            if (!found) {
                at = file.size();
                break;
            }
            std::size_t next = static_cast<std::size_t>(found - file.data()) + 1;
            while (next < file.size() && file[next] == 0xFF)
                ++next;
            if (next < file.size() && file[next] != 0x00 && !(file[next] >= 0xD0 && file[next] <= 0xD7)) {
                at = next - 1;
                break;
            }
            at = next + 1;
        }
    }
    return frame;
}

// Too many scans for the frame's size: at least 16 always, fewer than maxJpegScans for large images.
Structure jpegStructure(Bytes file)
{
    const JpegFrame frame = walkJpeg(file, maxJpegScans);
    const std::uint64_t pixels = frame.width * frame.height;
    const std::uint64_t allowed =
        pixels > 0 ? std::clamp<std::uint64_t>(jpegScanPixels / pixels, 16, maxJpegScans) : maxJpegScans;
    Structure structure;
    structure.count = std::min(frame.scans, allowed + 1);
    if (frame.scans > allowed)
        structure.verdict = Structure::Verdict::TooManyScans;
    else if (!frame.tablesSound)
        structure.verdict = Structure::Verdict::BadTables;
    return structure;
}

// The first frame's end; a file that is cut short is left whole for the decoder to judge.
Structure gifStructure(Bytes file)
{
    Structure structure;
    std::size_t at = 13;
    if (file.size() < at)
        return structure;
    if (file[10] & 0x80)
        at += 3u << ((file[10] & 7) + 1);
    const auto skipSubBlocks = [&] {
        while (at < file.size()) {
            const std::size_t length = file[at++];
            if (length == 0)
                return true;
            at += length;
        }
        return false;
    };
    while (at < file.size()) {
        const std::uint8_t block = file[at++];
        if (block == 0x21) {  // an extension: its label, then sub-blocks
            ++at;
            if (!skipSubBlocks())
                return structure;
        } else if (block == 0x2C) {  // the image: descriptor, local colour table, LZW code size, data
            if (!has(file, at, 9))
                return structure;
            const std::uint8_t flags = file[at + 8];
            at += 9 + ((flags & 0x80) ? 3u << ((flags & 7) + 1) : 0u) + 1;
            if (!skipSubBlocks())
                return structure;
            if (at < file.size() && !(file.size() - at == 1 && file[at] == 0x3B)) {
                structure.decodeBytes = at;
                structure.gifTrailer = true;
            }
            return structure;
        } else {
            return structure;
        }
    }
    return structure;
}

// RLE8 and RLE4: every run and absolute block must stay within its row, and no pixel may lie above the last row.
Structure bmpStructure(Bytes file)
{
    Structure structure;
    const auto layout = rleLayout(file);
    if (!layout)
        return structure;
    const RleWalk walk = walkRle(file, *layout, [](const RlePixels&) {});
    if (walk.end == RleWalk::End::LeftRows) {
        structure.verdict = Structure::Verdict::BadRle;
        structure.count = static_cast<std::uint64_t>(walk.y);
    }
    return structure;
}

Structure tiffStructure(Bytes file)
{
    Structure structure;
    const auto directory = tiffDirectory(file);
    if (!directory)
        return structure;
    structure.count = std::max(directory->strips, directory->tiles);
    if (structure.count > manyTiffStrips && structure.count * 256 > directory->width * directory->height)
        structure.verdict = Structure::Verdict::TooManyStrips;
    return structure;
}

}  // namespace

std::optional<DeclaredSize> declaredSize(Bytes head)
{
    const std::uint8_t* h = head.data();
    if (head.size() >= 24 && startsWith(head, 0, "\x89PNG\r\n\x1a\n") && startsWith(head, 12, "IHDR"))
        return DeclaredSize{bigEndian32(h + 16), bigEndian32(h + 20)};
    if (head.size() >= 10 && (startsWith(head, 0, "GIF87a") || startsWith(head, 0, "GIF89a")))
        return DeclaredSize{littleEndian16(h + 6), littleEndian16(h + 8)};
    if (head.size() >= 26 && h[0] == 'B' && h[1] == 'M') {
        if (littleEndian32(h + 14) == 12)  // the OS/2 core header: 16-bit sizes
            return DeclaredSize{littleEndian16(h + 18), littleEndian16(h + 20)};
        return DeclaredSize{magnitude(littleEndian32(h + 18)), magnitude(littleEndian32(h + 22))};
    }
    if (head.size() >= 3 && h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF)
        return jpegSize(head);
    if (const auto directory = tiffDirectory(head); directory && directory->width && directory->height)
        return DeclaredSize{directory->width, directory->height};
    return std::nullopt;
}

std::string_view formatName(Bytes head)
{
    using namespace std::string_view_literals;
    if (startsWith(head, 0, "\x89PNG"))
        return "PNG";
    if (startsWith(head, 0, "GIF8"))
        return "GIF";
    if (startsWith(head, 0, "BM"))
        return "BMP";
    if (startsWith(head, 0, "\xFF\xD8\xFF"))
        return "JPEG";
    if (startsWith(head, 0, "II*\0"sv) || startsWith(head, 0, "MM\0*"sv))
        return "TIFF";
    if (startsWith(head, 0, "RIFF") && startsWith(head, 8, "WEBP"))
        return "WebP";
    if (startsWith(head, 4, "ftyp")) {
        for (const std::string_view brand : {"heic", "heix", "hevc", "hevx", "heim", "heis"})
            if (startsWith(head, 8, brand))
                return "HEIC";
        for (const std::string_view brand : {"avif", "avis"})
            if (startsWith(head, 8, brand))
                return "AVIF";
        for (const std::string_view brand : {"mif1", "msf1"})
            if (startsWith(head, 8, brand))
                return "HEIF";
    }
    if (startsWith(head, 0, "\0\0\0\x0CjP  "sv) || startsWith(head, 0, "\xFF\x4F\xFF\x51"))
        return "JPEG 2000";
    if (startsWith(head, 0, "\0\0\0\x0CJXL "sv) || startsWith(head, 0, "\xFF\x0A"))
        return "JPEG XL";
    if (startsWith(head, 0, "II\xBC"))
        return "JPEG XR";
    if (startsWith(head, 0, "\0\0\1\0"sv))
        return "ICO";
    if (startsWith(head, 0, "DDS "))
        return "DDS";
    return {};
}

std::optional<JpegFrame> jpegFrame(Bytes file)
{
    if (!startsWith(file, 0, "\xFF\xD8\xFF"))
        return std::nullopt;
    const JpegFrame frame = walkJpeg(file, maxJpegScans);
    return frame.marker ? std::optional<JpegFrame>(frame) : std::nullopt;
}

// A file is a JPEG to a decoder (stb) that takes any number of fill bytes before its start marker.
bool jpegTablesSound(Bytes file)
{
    std::size_t at = 1;
    while (at < file.size() && file[at] == 0xFF)
        ++at;
    if (file.empty() || file[0] != 0xFF || at >= file.size() || file[at] != 0xD8)
        return true;
    return walkJpeg(file, std::numeric_limits<std::uint64_t>::max(), at + 1).tablesSound;
}

Structure checkStructure(Bytes file)
{
    Structure structure;
    if (startsWith(file, 0, "\xFF\xD8\xFF"))
        structure = jpegStructure(file);
    else if (startsWith(file, 0, "GIF8"))
        structure = gifStructure(file);
    else if (startsWith(file, 0, "BM"))
        structure = bmpStructure(file);
    else
        structure = tiffStructure(file);
    if (!structure.gifTrailer)
        structure.decodeBytes = file.size();
    return structure;
}

}  // namespace varnok
