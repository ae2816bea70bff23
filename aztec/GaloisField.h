#pragma once
// Arithmetic in GF(2^m) for the field sizes the symbol uses: 16 (mode message), 64, 256, 1024 and 4096 (data,
// by layer count). One type for all of them, tables built once from the field's primitive polynomial.

#include <cstdint>
#include <vector>

namespace varnok::aztec {

class GaloisField {
public:
    // The field of 2^bits elements with this primitive polynomial (its bit `bits` set).
    GaloisField(unsigned bits, unsigned primitive);

    // The fields of the symbology: word sizes 4, 6, 8, 10 and 12 bits.
    static const GaloisField& forWordSize(unsigned bits);

    unsigned size() const { return size_; }
    unsigned bits() const { return bits_; }

    static unsigned add(unsigned a, unsigned b) { return a ^ b; }
    unsigned multiply(unsigned a, unsigned b) const
    {
        return a == 0 || b == 0 ? 0 : exp_[log_[a] + log_[b]];
    }
    unsigned inverse(unsigned a) const { return exp_[size_ - 1 - log_[a]]; }
    unsigned divide(unsigned a, unsigned b) const { return multiply(a, inverse(b)); }
    // alpha^power, any power (negative ones included).
    unsigned power(long power) const
    {
        const long order = static_cast<long>(size_ - 1);
        return exp_[static_cast<unsigned>(((power % order) + order) % order)];
    }
    unsigned log(unsigned a) const { return log_[a]; }
    // alpha^e for 0 <= e < 2 (size - 1): no reduction needed.
    unsigned exp(unsigned e) const { return exp_[e]; }

private:
    unsigned bits_, size_;
    std::vector<std::uint16_t> exp_, log_;  // exp_ twice over: alpha^0 .. alpha^(2 (size - 1) - 1)
};

}  // namespace varnok::aztec
