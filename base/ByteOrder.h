#pragma once
// Unsigned integers stored in either byte order, read from bytes the caller has already bounds-checked.

#include <cstddef>
#include <cstdint>

namespace varnok {

inline std::uint16_t littleEndian16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[1] << 8 | p[0]); }
inline std::uint32_t littleEndian32(const std::uint8_t* p)
{
    return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}
inline std::uint16_t bigEndian16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline std::uint32_t bigEndian32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
// A big-endian field of `width` bytes (at most 8), as a PDF cross-reference stream stores them.
inline std::uint64_t bigEndian(const std::uint8_t* p, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value = value << 8 | p[i];
    return value;
}

}  // namespace varnok
