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

// The layers of a matrix already in reading orientation, in the given format. `unsure` marks modules
// (y * size + x) that sampling could not tell apart; their words count as erasures.
MatrixResult decodeLayers(const ModuleMatrix& matrix, const SymbolFormat& format, const std::vector<bool>& unsure = {});

// Any orientation: every reading of the mode message that fits the matrix, the best first, until one passes the
// check words.
MatrixResult decodeMatrix(const ModuleMatrix& matrix, const std::vector<bool>& unsure = {});

// The matrix (and its unsure marks) turned into the orientation `o` names.
ModuleMatrix oriented(const ModuleMatrix& matrix, const Orientation& o);
std::vector<bool> oriented(const std::vector<bool>& unsure, int size, const Orientation& o);

}  // namespace varnok::aztec
