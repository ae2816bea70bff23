#include "BmpRle.h"

#include <algorithm>
#include <array>

namespace varnok {

namespace {

std::uint32_t littleEndian32(const std::uint8_t* p) { return std::uint32_t(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0]; }
std::uint16_t littleEndian16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[1] << 8 | p[0]); }

}  // namespace

std::optional<RleGray> decodeRleBitmap(std::span<const std::uint8_t> file)
{
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M')
        return std::nullopt;
    const std::uint32_t header = littleEndian32(&file[14]);
    const std::uint32_t compression = littleEndian32(&file[30]);
    const std::uint16_t bits = littleEndian16(&file[28]);
    if (header < 40 || header > file.size() - 14 || !((compression == 1 && bits == 8) || (compression == 2 && bits == 4)))
        return std::nullopt;
    const auto width = static_cast<std::int32_t>(littleEndian32(&file[18]));
    const auto height = static_cast<std::int32_t>(littleEndian32(&file[22]));
    if (width <= 0 || height <= 0)
        return std::nullopt;

    // The colour table follows the header: BGR plus a reserved byte per entry.
    std::array<std::uint8_t, 256> gray{};
    const std::uint32_t used = littleEndian32(&file[46]);
    const std::size_t entries = std::min<std::size_t>(used ? used : (1u << bits), (file.size() - 14 - header) / 4);
    for (std::size_t i = 0; i < std::min<std::size_t>(entries, gray.size()); ++i) {
        const std::uint8_t* bgr = &file[14 + header + 4 * i];
        // ITU-R BT.601, as for every other format.
        gray[i] = static_cast<std::uint8_t>((bgr[2] * 299u + bgr[1] * 587u + bgr[0] * 114u + 500u) / 1000u);
    }

    RleGray out;
    out.width = static_cast<std::uint32_t>(width);
    out.height = static_cast<std::uint32_t>(height);
    out.pixels.assign(std::size_t(out.width) * out.height, gray[0]);
    const bool rle8 = compression == 1;
    std::size_t at = littleEndian32(&file[10]);
    std::int64_t x = 0, y = 0;
    // Rows are stored bottom up.
    const auto row = [&] { return out.pixels.data() + std::size_t(height - 1 - y) * out.width; };
    const auto put = [&](std::uint8_t index) { row()[x++] = gray[index]; };
    while (at + 2 <= file.size()) {
        const std::uint8_t count = file[at], code = file[at + 1];
        at += 2;
        if (count > 0) {
            if (y >= height || x + count > width)
                return std::nullopt;
            if (rle8) {
                std::fill_n(row() + x, count, gray[code]);
                x += count;
            } else {
                for (unsigned i = 0; i < count; ++i)
                    put(i % 2 == 0 ? code >> 4 : code & 15);
            }
        } else if (code == 0) {
            x = 0;
            ++y;
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            if (at + 2 > file.size())
                break;
            x += file[at];
            y += file[at + 1];
            at += 2;
            if (x > width || y > height)
                return std::nullopt;
        } else {
            const std::size_t bytes = rle8 ? code : (code + 1u) / 2;
            if (y >= height || x + code > width || at + bytes > file.size())
                return std::nullopt;
            for (unsigned i = 0; i < code; ++i)
                put(rle8 ? file[at + i] : (i % 2 == 0 ? file[at + i / 2] >> 4 : file[at + i / 2] & 15));
            at += bytes + (bytes & 1);
        }
    }
    return out;
}

}  // namespace varnok
