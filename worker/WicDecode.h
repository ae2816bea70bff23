#pragma once
// The worker's decoding: the first frame of what WIC decodes, converted to gray by our own code from the decoder's
// own pixel format; JPEG by stb first. Runs only in the worker process; throws ImageFileError.

#include <objidl.h>

#include <cstdint>
#include <functional>
#include <span>

#include "FileError.h"
#include "platform/ComPtr.h"

namespace varnok {

GrayPixels decodeWithWic(IStream* stream, std::uint64_t maxPixels);

// What the worker decodes `file` with: a JPEG by stb unless stb refuses it; everything else, and such a JPEG, by
// WIC through the stream `streamOver` makes on the same bytes.
GrayPixels decodePixels(std::span<const std::uint8_t> file, std::uint64_t maxPixels,
                        const std::function<ComPtr<IStream>()>& streamOver);

}  // namespace varnok
