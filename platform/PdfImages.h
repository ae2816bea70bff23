#pragma once
// PDF scans for the image loading: the portable PDF reader over a file's bytes, with JPEG images decoded by WIC.

#include <objidl.h>

#include <cstdint>
#include <functional>

#include "ImageFile.h"

namespace varnok {

// Whether the stream starts as a PDF ("%PDF-" within its first 1024 bytes); leaves it at its start.
bool isPdf(IStream* stream);

// The PDF's images in the order to try (see visitGrayImages). Throws ImageFileError for the file as a whole.
void visitPdfImages(IStream* stream, std::uint64_t maxPixels, const std::function<bool(const ImageCandidate&)>& visit);

}  // namespace varnok
