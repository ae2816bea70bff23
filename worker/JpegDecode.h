#pragma once
// JPEG decoded by stb in the worker: under Wine, WIC took 38-46 ms for a 300-dpi A4 page that stb decodes in
// 30-35, and the pixels are then the ones the developers' reader (stb too) was measured on. WIC decodes whatever
// stb refuses.

#include <cstdint>
#include <optional>
#include <span>

#include "FileError.h"

namespace varnok::worker {

bool isJpeg(std::span<const std::uint8_t> file);

// The image in gray, with the pixel aspect of its JFIF density, or nothing when stb refuses it (WIC then decides,
// in its own words).
std::optional<GrayPixels> decodeJpeg(std::span<const std::uint8_t> file, std::uint64_t maxPixels);

// A pixel's height over its width from a file's horizontal and vertical resolution. Resolutions that say nothing
// sensible (absent, zero, absurdly unequal) leave the pixels square.
double pixelAspectOf(double xResolution, double yResolution);

}  // namespace varnok::worker
