#pragma once
// Run-length encoded bitmaps (RLE8, RLE4) decoded to gray by our own code: a page of runs describes 120 megapixels
// in a megabyte, and a system decoder expands it to 32-bit colour before we see a pixel. One walk of the runs serves
// the structure check (ImageHeader) and the decoder. Portable: tested natively.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace varnok {

// A bottom-up RLE bitmap as its header describes it.
struct RleLayout {
    bool rle8 = true;  // otherwise RLE4
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::size_t dataOffset = 0;
};

// The layout of a bitmap with a header of at least 40 bytes, compression 1 (RLE8) or 2 (RLE4) and positive sizes;
// nothing for anything else (a top-down RLE bitmap is damage the system's decoder reports itself).
std::optional<RleLayout> rleLayout(std::span<const std::uint8_t> file);

// Pixels a run paints: `count` of them from (x, y), y counted from the bottom row. A repeated run gives its code
// byte (two 4-bit indexes alternating for RLE4), an absolute block its data.
struct RlePixels {
    std::int64_t x = 0;
    std::int64_t y = 0;
    unsigned count = 0;
    std::uint8_t code = 0;
    const std::uint8_t* literal = nullptr;
};

struct RleWalk {
    enum class End {
        Finished,   // the end-of-bitmap code, or the data ran out
        LeftRows,   // a run or a move past its row's end or above the last row
        Truncated,  // an absolute block cut off by the end of the file
    };
    End end = End::Finished;
    std::int64_t y = 0;  // the row reached
};

// Walks the runs from the data offset, handing each run that stays within the bitmap to `paint` (may be empty).
// Every step compares what is left of the file, never an offset plus a length: the data offset is the file's word.
template <class Paint>
RleWalk walkRle(std::span<const std::uint8_t> file, const RleLayout& layout, Paint&& paint)
{
    RleWalk walk;
    std::int64_t x = 0;
    std::size_t at = layout.dataOffset;
    const auto left = [&] { return at < file.size() ? file.size() - at : 0; };
    const auto stop = [&](RleWalk::End end) {
        walk.end = end;
        return walk;
    };
    while (left() >= 2) {
        const std::uint8_t count = file[at], code = file[at + 1];
        at += 2;
        if (count > 0 || code >= 3) {
            const unsigned pixels = count > 0 ? count : code;
            if (walk.y >= layout.height || x + pixels > layout.width)
                return stop(RleWalk::End::LeftRows);
            RlePixels run{x, walk.y, pixels, code, nullptr};
            if (count == 0) {  // absolute: the pixels themselves, padded to a 16-bit boundary
                const std::size_t bytes = layout.rle8 ? pixels : (pixels + 1) / 2;
                if (bytes > left())
                    return stop(RleWalk::End::Truncated);
                run.literal = &file[at];
                at += std::min(bytes + (bytes & 1), left());
            }
            paint(run);
            x += pixels;
        } else if (code == 0) {
            x = 0;
            ++walk.y;
        } else if (code == 1) {
            break;
        } else {
            if (left() < 2)
                break;
            x += file[at];
            walk.y += file[at + 1];
            at += 2;
            if (x > layout.width || walk.y > layout.height)
                return stop(RleWalk::End::LeftRows);
        }
    }
    return walk;
}

struct RleGray {
    std::vector<std::uint8_t> pixels;  // rows top to bottom
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// Nothing when the file is not an RLE bitmap this decodes (then the system's decoder has it) or when its runs leave
// their rows (checkStructure refuses those first). Pixels no run reaches keep the first palette entry's gray.
// Throws std::bad_alloc when the pixels do not fit.
std::optional<RleGray> decodeRleBitmap(std::span<const std::uint8_t> file);

}  // namespace varnok
