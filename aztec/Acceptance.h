#pragma once
// The one decision that a reading of a symbol's layers is the symbol, and the odds of error it leaves.

#include <cstddef>
#include <string_view>

#include "Encodation.h"
#include "ReedSolomon.h"
#include "Symbol.h"

namespace varnok::aztec {

// Check words a reading must leave unspent beyond its erasures and errors (each error costs two).
inline constexpr std::size_t spareCheckWords = 3;
// The mode message's own: the data's check words decide, but a message that spent all of its own (three errors
// of a full-range one, or erasures of every check word) names a format by chance.
inline constexpr std::size_t spareModeWords = 1;

// Empty when the corrected, decoded reading is accepted as the symbol's data; otherwise why not.
std::string_view refusalOf(const SymbolFormat& format, const Correction& correction, const DecodedText& text);

}  // namespace varnok::aztec
