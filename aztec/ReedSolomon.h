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

// What a correction spent of the check words: each erasure one, each error found elsewhere two.
struct Correction {
    std::size_t erasures = 0;  // 0 when the words passed as they were
    std::size_t errors = 0;
    std::size_t changed = 0;   // words whose value changed
    // The check words left unspent: the only ones that could still have refused a wrong reading.
    std::size_t spare(std::size_t checkWords) const { return checkWords - erasures - 2 * errors; }
};

// Corrects the codewords in place (message then check words). `erasures` are the positions of words known to be
// unreliable. Nothing when the damage exceeds what the check words can correct; then the words are left as they
// were. With as many erasures as check words any word "corrects": whether a correction is evidence is the
// caller's decision, from what it spent.
std::optional<Correction> reedSolomonCorrect(const GaloisField& field, std::span<unsigned> codewords,
                                             std::size_t checkWords, std::span<const std::size_t> erasures = {});

}  // namespace varnok::aztec
