// Fuzzes the Aztec data stream decoder on its own: the input is the bit stream (the first byte's low 3 bits drop
// that many bits from the end, so any length is reached), seeded with streams through every code set, shift, latch,
// binary run, FLG and the structured-append header. Whatever the bits, a header taken off the data is consistent.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "aztec/Encodation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    std::vector<bool> bits;
    for (std::size_t i = 1; i < size; ++i)
        for (int b = 7; b >= 0; --b)
            bits.push_back((data[i] >> b) & 1);
    bits.resize(bits.size() - std::min<std::size_t>(bits.size(), data[0] & 7u));
    const auto text = varnok::aztec::decodeBitStream(bits);
    if (text && text->sequence) {
        const auto& s = *text->sequence;
        if (s.index < 1 || s.index > s.count || s.count > 26 || s.id.find(' ') != std::string::npos)
            std::abort();
    }
    return 0;
}
