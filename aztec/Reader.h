#pragma once
// The reader's one entry: a gray image in, the Aztec symbol's bytes out, or why not.

#include <string>

#include "Image.h"

namespace varnok::aztec {

enum class ReadFailure {
    None,
    BadImage,    // no pixels, absurd dimensions
    NoSymbol,    // no bull's-eye whose mode message passes its check
    TooDamaged,  // a symbol was found, but its data did not pass the check words
};

struct ReadResult {
    ReadFailure failure = ReadFailure::None;
    std::string bytes;   // exactly the symbol's data, as a scanner would send it
    std::string reason;  // a precise reason when it failed
};

ReadResult readAztec(const GrayImage& image);

}  // namespace varnok::aztec
