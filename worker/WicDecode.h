#pragma once
// The worker's decoding: the first frame of what WIC decodes, converted to gray by our own code from the decoder's
// own pixel format. Runs only in the worker process; throws ImageFileError.

#include <objidl.h>

#include <cstdint>

#include "FileError.h"

namespace varnok {

GrayPixels decodeWithWic(IStream* stream, std::uint64_t maxPixels);

}  // namespace varnok
