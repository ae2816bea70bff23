#pragma once
// Reed-Solomon over the symbol's Galois fields, generator roots alpha^1 ... alpha^n: check words for a message, and
// correction of errors and erasures (2 errors + erasures <= check words). A word is in the field's range; the
// first word is the highest power.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "GaloisField.h"

namespace varnok::aztec {

// The `checkWords` words that follow the message.
std::vector<unsigned> reedSolomonCheckWords(const GaloisField& field, std::span<const unsigned> message,
                                            std::size_t checkWords);

// Corrects the codewords in place (message then check words). `erasures` are the positions of words known to be
// unreliable. Returns how many words were changed, or nothing when the damage exceeds what the check words can
// correct; then the words are left as they were.
std::optional<std::size_t> reedSolomonCorrect(const GaloisField& field, std::span<unsigned> codewords,
                                              std::size_t checkWords, std::span<const std::size_t> erasures = {});

}  // namespace varnok::aztec
