#pragma once
// Images decoded by stb, the one copy of it in the system. The worker decodes JPEG with it (under Wine, WIC took
// 38-46 ms for a 300-dpi A4 page that stb decodes in 30-35) and leaves what stb refuses to WIC; the developers'
// reader for Linux and the fuzzers decode every format with it. Portable.

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

// A PNG, JPEG, BMP, GIF or PNM file in gray, where WIC is not there to decode it: throws ImageFileError (Unreadable,
// or TooLarge past `maxPixels`).
GrayPixels decodeWithStb(std::span<const std::uint8_t> file, std::uint64_t maxPixels);

}  // namespace varnok::worker
