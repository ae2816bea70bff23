#include "ImageHeader.h"

#include <cstring>

namespace varnok {

namespace {

std::uint32_t bigEndian32(const std::uint8_t* p) { return std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
std::uint32_t littleEndian32(const std::uint8_t* p) { return std::uint32_t(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0]; }
std::uint16_t littleEndian16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[1] << 8 | p[0]); }

// BMP heights are signed: negative for rows stored top down.
std::uint64_t magnitude(std::uint32_t value)
{
    const auto v = static_cast<std::int32_t>(value);
    return v < 0 ? std::uint64_t(-std::int64_t(v)) : std::uint64_t(v);
}

std::uint16_t bigEndian16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

// The frame header (SOF0 to SOF15, not DHT, JPG or DAC) after the segments before it.
std::optional<DeclaredSize> jpegSize(std::span<const std::uint8_t> head)
{
    std::size_t at = 2;
    while (at + 4 <= head.size()) {
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
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame)
            return at + 9 <= head.size() ? std::optional<DeclaredSize>(DeclaredSize{bigEndian16(&head[at + 7]),
                                                                                     bigEndian16(&head[at + 5])})
                                         : std::nullopt;
        if (length < 2 || marker == 0xDA)  // the scan starts: no frame header before it
            return std::nullopt;
        at += 2 + length;
    }
    return std::nullopt;
}

}  // namespace

std::optional<DeclaredSize> declaredSize(std::span<const std::uint8_t> head)
{
    const std::uint8_t* h = head.data();
    if (head.size() >= 24 && std::memcmp(h, "\x89PNG\r\n\x1a\n", 8) == 0 && std::memcmp(h + 12, "IHDR", 4) == 0)
        return DeclaredSize{bigEndian32(h + 16), bigEndian32(h + 20)};
    if (head.size() >= 10 && (std::memcmp(h, "GIF87a", 6) == 0 || std::memcmp(h, "GIF89a", 6) == 0))
        return DeclaredSize{littleEndian16(h + 6), littleEndian16(h + 8)};
    if (head.size() >= 26 && h[0] == 'B' && h[1] == 'M') {
        if (littleEndian32(h + 14) == 12)  // the OS/2 core header: 16-bit sizes
            return DeclaredSize{littleEndian16(h + 18), littleEndian16(h + 20)};
        return DeclaredSize{magnitude(littleEndian32(h + 18)), magnitude(littleEndian32(h + 22))};
    }
    if (head.size() >= 3 && h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF)
        return jpegSize(head);
    return std::nullopt;
}

}  // namespace varnok
