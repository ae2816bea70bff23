#include "Acceptance.h"

namespace varnok::aztec {

// Words that are not a symbol pass Reed-Solomon only where they fall within the corrected distance of some
// codeword: with s check words of b bits left unspent, about one random reading in 2^(s b) at most (erasures
// alone; errors make it rarer, each spending two words against fewer ways to place it). Three words keep that
// below one in 260,000 for the smallest words (6 bits), one in 16 million for 8 bits and one in a billion for 10
// bits or more, with the stuffed-bit and encodation rules still to pass; a format with fewer than three check
// words is never read (the encoders write three at least). Erasures of every check word would check nothing.
std::string_view refusalOf(const SymbolFormat& format, const Correction& correction, const DecodedText& text)
{
    const std::size_t checkWords = static_cast<std::size_t>(format.totalWords() - format.dataWords);
    if (correction.erasures + 2 * correction.errors + spareCheckWords > checkWords)
        return "too damaged to correct";
    if (text.bytes.empty())
        return "no data";
    return {};
}

}  // namespace varnok::aztec
