#pragma once
// What the image worker does with a file's bytes: tells a PDF from an image file, reads the PDF's images or decodes
// the image, runs the Aztec reader on each image until one has a symbol, and otherwise keeps the failure that says
// most. Portable: the developers' native reader runs the same code with a decoder of its own.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "FileError.h"
#include "aztec/Reader.h"

namespace varnok::worker {

// An image file's bytes (or a PDF's JPEG data) to gray; throws ImageFileError (Unreadable, TooLarge, NoDecoder).
// Called only after the structure checks passed.
using PixelDecoder = std::function<GrayPixels(std::span<const std::uint8_t> file, std::uint64_t maxPixels)>;

struct FileOutcome {
    aztec::ReadResult read;               // a symbol, or TooDamaged / NoSymbol, when there is no error
    std::optional<ImageFileError> error;  // why the file gave nothing to read
};

// `file` holds the whole file, or only its first bytes when `fileSize` says it is larger than the caller hands
// over: then only what those bytes show is decided, and the rest is "too large".
FileOutcome readFile(std::span<const std::uint8_t> file, std::uint64_t fileSize, const PixelDecoder& decode);

// An image file (not a PDF) decoded as readFile decodes it: the declared size, the structure checks, BMP runs by
// our own walker, the rest by `decode`. Throws ImageFileError.
GrayPixels decodeImageFile(std::span<const std::uint8_t> file, const PixelDecoder& decode);

}  // namespace varnok::worker
