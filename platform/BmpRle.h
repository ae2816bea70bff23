#pragma once
// Run-length encoded bitmaps (RLE8, RLE4) decoded to gray by our own code: a page of runs describes 120 megapixels
// in a megabyte, and a system decoder expands it to 32-bit colour before we see a pixel. Portable: tested natively.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace varnok {

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
