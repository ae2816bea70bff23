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

// What the worker decodes `file` with: a JPEG of the common codings (8-bit Huffman) by stb, and when stb fails on
// one, its data is damaged: WIC would only spend the same decode again (throws ImageFileError, Unreadable).
// Everything else, a JPEG of another coding or past the pixel limit among it, by WIC through the stream
// `streamOver` makes on the same bytes.
GrayPixels decodePixels(std::span<const std::uint8_t> file, std::uint64_t maxPixels,
                        const std::function<ComPtr<IStream>()>& streamOver);

}  // namespace varnok
