#pragma once
// From a module matrix to the symbol's bytes: format from the mode message (any of the eight orientations),
// words from the layers, Reed-Solomon, stuffed bits, encodation. Each stage that gives up says why.

#include <string>
#include <vector>

#include "Encodation.h"
#include "Symbol.h"

namespace varnok::aztec {

struct MatrixResult {
    bool ok = false;
    std::string reason;  // why not, when not ok
    SymbolFormat format;
    DecodedText text;
    std::size_t correctedWords = 0;
};

// `unsure` marks modules (y * size + x) that sampling could not tell apart; their words count as erasures.
MatrixResult decodeMatrix(const ModuleMatrix& matrix, const std::vector<bool>& unsure = {});

}  // namespace varnok::aztec
