#include "GaloisField.h"

#include <stdexcept>

namespace varnok::aztec {

GaloisField::GaloisField(unsigned bits, unsigned primitive)
    : bits_(bits), size_(1u << bits), exp_(2 * std::size_t(size_)), log_(size_)
{
    unsigned x = 1;
    for (unsigned i = 0; i < size_ - 1; ++i) {
        exp_[i] = static_cast<std::uint16_t>(x);
        log_[x] = static_cast<std::uint16_t>(i);
        x <<= 1;
        if (x & size_)
            x ^= primitive;
    }
    if (x != 1)
        throw std::logic_error("not a primitive polynomial");
    // The powers once more, so that a sum of two logarithms needs no reduction.
    for (std::size_t i = size_ - 1; i < exp_.size(); ++i)
        exp_[i] = exp_[i - (size_ - 1)];
}

const GaloisField& GaloisField::forWordSize(unsigned bits)
{
    // x^4+x+1, x^6+x+1, x^8+x^5+x^3+x^2+1, x^10+x^3+1, x^12+x^6+x^5+x^3+1
    static const GaloisField gf16(4, 0x13), gf64(6, 0x43), gf256(8, 0x12D), gf1024(10, 0x409), gf4096(12, 0x1069);
    switch (bits) {
    case 4: return gf16;
    case 6: return gf64;
    case 8: return gf256;
    case 10: return gf1024;
    case 12: return gf4096;
    }
    throw std::invalid_argument("no such word size");
}

}  // namespace varnok::aztec
