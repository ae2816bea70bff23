#include "BmpRle.h"

#include <algorithm>
#include <array>

#include "base/ByteOrder.h"

namespace varnok {

std::optional<RleLayout> rleLayout(std::span<const std::uint8_t> file)
{
    if (file.size() < 54 || littleEndian32(&file[14]) < 40)
        return std::nullopt;
    const std::uint32_t compression = littleEndian32(&file[30]);
    if (compression != 1 && compression != 2)
        return std::nullopt;
    RleLayout layout;
    layout.rle8 = compression == 1;
    layout.width = static_cast<std::int32_t>(littleEndian32(&file[18]));
    layout.height = static_cast<std::int32_t>(littleEndian32(&file[22]));
    layout.dataOffset = littleEndian32(&file[10]);
    if (layout.width <= 0 || layout.height <= 0)
        return std::nullopt;
    return layout;
}

std::optional<RleGray> decodeRleBitmap(std::span<const std::uint8_t> file)
{
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M')
        return std::nullopt;
    const auto layout = rleLayout(file);
    const std::uint32_t header = littleEndian32(&file[14]);
    const std::uint16_t bits = littleEndian16(&file[28]);
    if (!layout || header > file.size() - 14 || bits != (layout->rle8 ? 8 : 4))
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
    out.width = static_cast<std::uint32_t>(layout->width);
    out.height = static_cast<std::uint32_t>(layout->height);
    out.pixels.assign(std::size_t(out.width) * out.height, gray[0]);
    const bool rle8 = layout->rle8;
    const RleWalk walk = walkRle(file, *layout, [&](const RlePixels& run) {
        // Rows are stored bottom up.
        std::uint8_t* row = out.pixels.data() + std::size_t(layout->height - 1 - run.y) * out.width + run.x;
        for (unsigned i = 0; i < run.count; ++i) {
            const std::uint8_t byte = run.literal ? run.literal[rle8 ? i : i / 2] : run.code;
            row[i] = gray[rle8 ? byte : (i % 2 == 0 ? byte >> 4 : byte & 15)];
        }
    });
    if (walk.end != RleWalk::End::Finished)
        return std::nullopt;
    return out;
}

}  // namespace varnok
