#pragma once
// The reader's one entry: a gray image in, the Aztec symbol's bytes out, or why not.

#include <optional>
#include <string>
#include <vector>

#include "Budget.h"
#include "Image.h"

namespace varnok::aztec {

enum class ReadFailure {
    None,
    BadImage,    // no pixels, absurd dimensions
    NoSymbol,    // no bull's-eye whose mode message passes its check
    TooDamaged,  // a symbol was found, but its data did not pass the check words
};

// A symbol's place in a structured-append sequence (its header is not part of the data).
struct SequencePosition {
    int index = 0;   // 1-based
    int count = 0;
    std::string id;  // the message identifier; empty when the symbol carries none
};

struct ReadResult {
    ReadFailure failure = ReadFailure::None;
    std::string bytes;   // exactly the symbol's data, as a scanner would send it
    std::string reason;  // a precise reason when it failed
    bool readerInitialisation = false;  // a reader-programming symbol (its data is returned all the same)
    std::optional<SequencePosition> sequence{};
    bool gs1 = false;  // GS1 data: the symbol opened with FNC1 (not in `bytes`; later ones are sent as GS)
};

// What a read did, for tests and benchmarks that compare builds or strategies: one step per binary image and
// polarity searched.
struct ReadStep {
    int pass = 0;      // 0: the image as given; 1: enlarged; 2: with its pixels made square
    int strategy = 0;  // which binarizer, in the reader's order
    bool inverted = false;
    int candidates = 0;  // bull's-eyes the finder kept
    int followed = 0;    // of those, taken to their core
    int sampled = 0;     // grids sampled to the check words
    bool operator==(const ReadStep&) const = default;
};
using ReadTrace = std::vector<ReadStep>;

ReadResult readAztec(const GrayImage& image);
// The same within `shared` as well, which it spends: the work left of a caller that reads many images (a PDF's).
// A read that finds it spent ends as no symbol.
ReadResult readAztec(const GrayImage& image, Budget& shared);
// The same, noting each step in `trace`.
ReadResult readAztec(const GrayImage& image, Budget& shared, ReadTrace& trace);

}  // namespace varnok::aztec
