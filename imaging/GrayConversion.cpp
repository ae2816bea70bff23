#include "GrayConversion.h"

#include <algorithm>
#include <array>

#include "base/ByteOrder.h"
#include "base/FloatingPoint.h"

namespace varnok {

namespace {

// ITU-R BT.601 weights, on 8-bit or 16-bit channels alike.
std::uint32_t luma(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return (r * 299u + g * 587u + b * 114u + 500u) / 1000u;
}

std::uint8_t to8(std::uint32_t value16) { return static_cast<std::uint8_t>((value16 + 128u) / 257u); }

// Straight alpha: the colour laid over white paper, on channels of `max` at most.
std::uint32_t overWhite(std::uint32_t gray, std::uint32_t alpha, std::uint32_t max)
{
    return (gray * alpha + max * (max - alpha) + max / 2) / max;
}

// Premultiplied alpha: the paper shows through what the colour does not cover.
std::uint32_t premultipliedOverWhite(std::uint32_t gray, std::uint32_t alpha, std::uint32_t max)
{
    return std::min(max, gray + (max - std::min(alpha, max)));
}

std::uint32_t inkless(std::uint32_t ink, std::uint32_t black, std::uint32_t max)
{
    return (max - ink) * (max - black) / max;
}

std::uint8_t paletteGray(std::uint32_t argb)
{
    const std::uint32_t gray = luma(argb >> 16 & 0xFF, argb >> 8 & 0xFF, argb & 0xFF);
    return static_cast<std::uint8_t>(overWhite(gray, argb >> 24, 255));
}

void packedToGray(std::span<const std::uint8_t> source, std::span<std::uint8_t> out, unsigned bits,
                  const std::uint8_t* table)
{
    const unsigned perByte = 8 / bits, mask = (1u << bits) - 1;
    for (std::size_t x = 0; x < out.size(); ++x) {
        const unsigned shift = 8 - bits * (1 + x % perByte);
        out[x] = table[source[x / perByte] >> shift & mask];
    }
}

}  // namespace

unsigned bitsPerPixel(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::Gray1: case PixelLayout::Indexed1: return 1;
    case PixelLayout::Gray2: case PixelLayout::Indexed2: return 2;
    case PixelLayout::Gray4: case PixelLayout::Indexed4: return 4;
    case PixelLayout::Gray8: case PixelLayout::Indexed8: return 8;
    case PixelLayout::Gray16: return 16;
    case PixelLayout::Bgr24: case PixelLayout::Rgb24: return 24;
    case PixelLayout::Bgrx32: case PixelLayout::Bgra32: case PixelLayout::Pbgra32: case PixelLayout::Rgba32:
    case PixelLayout::Prgba32: case PixelLayout::Cmyk32: return 32;
    case PixelLayout::Rgb48: case PixelLayout::Bgr48: return 48;
    case PixelLayout::Rgba64: case PixelLayout::Bgra64: case PixelLayout::Prgba64: case PixelLayout::Cmyk64: return 64;
    }
    return 0;
}

void rowToGray(PixelLayout layout, std::span<const std::uint8_t> source, std::span<std::uint8_t> out,
               std::span<const std::uint32_t> palette)
{
    const std::size_t width = out.size();
    const std::uint8_t* s = source.data();
    const unsigned bits = bitsPerPixel(layout);
    switch (layout) {
    case PixelLayout::Gray1: case PixelLayout::Gray2: case PixelLayout::Gray4: {
        std::array<std::uint8_t, 16> table{};
        const unsigned levels = (1u << bits) - 1;
        for (unsigned v = 0; v <= levels; ++v)
            table[v] = static_cast<std::uint8_t>(v * 255 / levels);
        packedToGray(source, out, bits, table.data());
        return;
    }
    case PixelLayout::Indexed1: case PixelLayout::Indexed2: case PixelLayout::Indexed4: case PixelLayout::Indexed8: {
        std::array<std::uint8_t, 256> table{};
        for (std::size_t i = 0; i < std::min<std::size_t>(palette.size(), table.size()); ++i)
            table[i] = paletteGray(palette[i]);
        if (bits == 8)
            std::transform(s, s + width, out.begin(), [&](std::uint8_t i) { return table[i]; });
        else
            packedToGray(source, out, bits, table.data());
        return;
    }
    case PixelLayout::Gray8:
        std::copy_n(s, width, out.begin());
        return;
    default:
        break;
    }
    const std::size_t step = bits / 8;
    for (std::size_t x = 0; x < width; ++x, s += step) {
        std::uint32_t gray = 0;
        switch (layout) {
        case PixelLayout::Gray16: gray = to8(littleEndian16(s)); break;
        case PixelLayout::Bgr24: case PixelLayout::Bgrx32: gray = luma(s[2], s[1], s[0]); break;
        case PixelLayout::Rgb24: gray = luma(s[0], s[1], s[2]); break;
        case PixelLayout::Bgra32: gray = overWhite(luma(s[2], s[1], s[0]), s[3], 255); break;
        case PixelLayout::Rgba32: gray = overWhite(luma(s[0], s[1], s[2]), s[3], 255); break;
        case PixelLayout::Pbgra32: gray = premultipliedOverWhite(luma(s[2], s[1], s[0]), s[3], 255); break;
        case PixelLayout::Prgba32: gray = premultipliedOverWhite(luma(s[0], s[1], s[2]), s[3], 255); break;
        case PixelLayout::Rgb48: gray = to8(luma(littleEndian16(s), littleEndian16(s + 2), littleEndian16(s + 4))); break;
        case PixelLayout::Bgr48: gray = to8(luma(littleEndian16(s + 4), littleEndian16(s + 2), littleEndian16(s))); break;
        case PixelLayout::Rgba64:
            gray = to8(overWhite(luma(littleEndian16(s), littleEndian16(s + 2), littleEndian16(s + 4)), littleEndian16(s + 6), 65535));
            break;
        case PixelLayout::Bgra64:
            gray = to8(overWhite(luma(littleEndian16(s + 4), littleEndian16(s + 2), littleEndian16(s)), littleEndian16(s + 6), 65535));
            break;
        case PixelLayout::Prgba64:
            gray = to8(premultipliedOverWhite(luma(littleEndian16(s), littleEndian16(s + 2), littleEndian16(s + 4)), littleEndian16(s + 6), 65535));
            break;
        case PixelLayout::Cmyk32:
            gray = luma(inkless(s[0], s[3], 255), inkless(s[1], s[3], 255), inkless(s[2], s[3], 255));
            break;
        case PixelLayout::Cmyk64: {
            const std::uint32_t k = littleEndian16(s + 6);
            gray = to8(luma(inkless(littleEndian16(s), k, 65535), inkless(littleEndian16(s + 2), k, 65535), inkless(littleEndian16(s + 4), k, 65535)));
            break;
        }
        default: break;
        }
        out[x] = static_cast<std::uint8_t>(gray);
    }
}

}  // namespace varnok
