#pragma once
// The dimensions an image file declares in its first bytes, for the formats whose decoders (Wine's PNG, GIF and
// JPEG decoders among them) decode every pixel as soon as they open the file: a size to refuse is found before
// that. Portable: tested natively.

#include <cstdint>
#include <optional>
#include <span>

namespace varnok {

struct DeclaredSize {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

// How many leading bytes declaredSize looks at: a JPEG's frame header follows its metadata segments.
inline constexpr std::size_t imageHeaderBytes = 256 * 1024;

// PNG, GIF, BMP and JPEG; nothing for other formats or a header too short to tell.
std::optional<DeclaredSize> declaredSize(std::span<const std::uint8_t> head);

}  // namespace varnok
