#include "StbDecode.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "base/ByteOrder.h"
#include "imaging/ImageHeader.h"

namespace {

// stb's buffers come from our operator new, which in the worker keeps large blocks for the next image.
void* stbAllocate(std::size_t size) { return ::operator new(size, std::nothrow); }
void stbRelease(void* block) { ::operator delete(block); }
[[maybe_unused]] void* stbReallocate(void* block, std::size_t old, std::size_t size)
{
    void* grown = stbAllocate(size);
    if (grown && block)
        std::memcpy(grown, block, std::min(old, size));
    if (grown)
        stbRelease(block);
    return grown;
}

}  // namespace

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_ONLY_PNM  // the developers' benchmark images
#define STBI_MINGW_ENABLE_SSE2  // this file is built with -mstackrealign, as 32-bit MinGW's SSE2 code needs
#define STBI_MALLOC(size) stbAllocate(size)
#define STBI_FREE(block) stbRelease(block)
#define STBI_REALLOC_SIZED(block, old, size) stbReallocate(block, old, size)
#include <stb/stb_image.h>

namespace varnok::worker {

namespace {

using Kind = ImageFileError::Kind;

struct StbFree {
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

// JFIF's APP0 segment, which comes first after SOI when present, gives the pixel density (with units 0, only
// the pixels' aspect).
double jfifPixelAspect(std::span<const std::uint8_t> file)
{
    constexpr std::size_t needed = 2 + 2 + 2 + 5 + 2 + 1 + 4;  // SOI, APP0, length, "JFIF\0", version, units, densities
    if (file.size() < needed || file[2] != 0xFF || file[3] != 0xE0)
        return 1;
    const std::uint8_t* app0 = file.data() + 4;
    if (bigEndian16(app0) < 16 || std::memcmp(app0 + 2, "JFIF", 5) != 0)
        return 1;
    return pixelAspectOf(bigEndian16(app0 + 10), bigEndian16(app0 + 12));
}

}  // namespace

double pixelAspectOf(double xResolution, double yResolution)
{
    if (!(xResolution > 0) || !(yResolution > 0))
        return 1;
    const double aspect = xResolution / yResolution;
    return aspect >= 0.25 && aspect <= 4 ? aspect : 1;
}

bool isJpeg(std::span<const std::uint8_t> file)
{
    return file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF;
}

std::optional<GrayPixels> decodeJpeg(std::span<const std::uint8_t> file, std::uint64_t maxPixels)
{
    // stb writes past its tables for a table that claims more than 256 codes: such a file never reaches it.
    if (file.size() > INT_MAX || !jpegTablesSound(file))
        return std::nullopt;
    const auto size = static_cast<int>(file.size());
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(file.data(), size, &width, &height, &channels) || width <= 0 || height <= 0 ||
        std::uint64_t(width) * std::uint64_t(height) > maxPixels)
        return std::nullopt;
    const std::unique_ptr<stbi_uc, StbFree> pixels(stbi_load_from_memory(file.data(), size, &width, &height,
                                                                         &channels, 1));
    if (!pixels)
        return std::nullopt;
    GrayPixels out;
    out.pixels.assign(pixels.get(), pixels.get() + std::size_t(width) * std::size_t(height));
    out.width = width;
    out.height = height;
    out.pixelAspect = jfifPixelAspect(file);
    return out;
}

GrayPixels decodeWithStb(std::span<const std::uint8_t> file, std::uint64_t maxPixels)
{
    int width = 0, height = 0, channels = 0;
    const auto size = static_cast<int>(std::min<std::size_t>(file.size(), INT_MAX));
    if (!jpegTablesSound(file) || !stbi_info_from_memory(file.data(), size, &width, &height, &channels))
        throw ImageFileError(Kind::Unreadable, 0);
    if (width <= 0 || height <= 0 || std::uint64_t(width) * std::uint64_t(height) > maxPixels)
        throw ImageFileError(Kind::TooLarge, 0, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    const std::unique_ptr<stbi_uc, StbFree> pixels(stbi_load_from_memory(file.data(), size, &width, &height,
                                                                         &channels, 1));
    if (!pixels)
        throw ImageFileError(Kind::Unreadable, 0);
    GrayPixels out;
    out.pixels.assign(pixels.get(), pixels.get() + std::size_t(width) * std::size_t(height));
    out.width = width;
    out.height = height;
    if (isJpeg(file))
        out.pixelAspect = jfifPixelAspect(file);
    return out;
}

}  // namespace varnok::worker
