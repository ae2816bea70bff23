#pragma once
// A decoder's own pixels to 8-bit gray, a row at a time: our conversion, so that every format gives the same gray
// on every system and no generic converter's cost is paid. Transparent parts count as white paper, as anyone
// looking at the image sees them. Portable: tested natively.

#include <cstdint>
#include <span>

namespace varnok {

// Pixel layouts as decoders deliver them: channels in memory order, 16-bit channels little-endian, packed
// formats with the first pixel in the high bits, CMYK with 0 as no ink.
enum class PixelLayout {
    Gray1, Gray2, Gray4, Gray8, Gray16,
    Indexed1, Indexed2, Indexed4, Indexed8,
    Bgr24, Rgb24,
    Bgrx32, Bgra32, Pbgra32, Rgba32, Prgba32,
    Rgb48, Bgr48,
    Rgba64, Bgra64, Prgba64,
    Cmyk32, Cmyk64,
};

unsigned bitsPerPixel(PixelLayout layout);

// `palette` (0xAARRGGBB entries) serves the indexed layouts; indices beyond it are black. `source` holds at least
// `out.size()` pixels of `layout`.
void rowToGray(PixelLayout layout, std::span<const std::uint8_t> source, std::span<std::uint8_t> out,
               std::span<const std::uint32_t> palette = {});

}  // namespace varnok
