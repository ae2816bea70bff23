#include "Encodation.h"

#include <array>
#include <string_view>

namespace varnok::aztec {

namespace {

enum class Set { Upper, Lower, Mixed, Punct, Digit };

// Codes that are not characters.
enum Special : int {
    PunctShift = -1, UpperShift = -2, BinaryShift = -3, Flag = -4,
    LatchUpper = -10, LatchLower = -11, LatchMixed = -12, LatchPunct = -13, LatchDigit = -14,
};

// One entry per code: a character (>= 0), a multi-character text (-100 - index into `pairs`), or a special code.
constexpr std::array<std::string_view, 4> pairs = {"\r\n", ". ", ", ", ": "};

using Table = std::array<int, 32>;

constexpr Table makeLetters(char first, int shift)
{
    Table t{};
    t[0] = PunctShift;
    t[1] = ' ';
    for (int i = 0; i < 26; ++i)
        t[2 + i] = first + i;
    t[28] = shift;
    t[29] = LatchMixed;
    t[30] = LatchDigit;
    t[31] = BinaryShift;
    return t;
}

constexpr Table upper = makeLetters('A', LatchLower);
constexpr Table lower = makeLetters('a', UpperShift);
constexpr Table mixed = {PunctShift, ' ', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 27, 28, 29, 30, 31,
                         '@', '\\', '^', '_', '`', '|', '~', 127, LatchLower, LatchUpper, LatchPunct, BinaryShift};
constexpr Table punct = {Flag, '\r', -100, -101, -102, -103, '!', '"', '#', '$', '%', '&', '\'', '(', ')', '*',
                         '+', ',', '-', '.', '/', ':', ';', '<', '=', '>', '?', '[', ']', '{', '}', LatchUpper};
constexpr std::array<int, 16> digit = {PunctShift, ' ', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', ',', '.',
                                       LatchUpper, UpperShift};

class BitReader {
public:
    explicit BitReader(const std::vector<bool>& bits) : bits_(bits) {}
    bool has(std::size_t n) const { return position_ + n <= bits_.size(); }
    unsigned read(std::size_t n)
    {
        unsigned value = 0;
        for (std::size_t i = 0; i < n; ++i)
            value = value << 1 | (bits_[position_++] ? 1u : 0u);
        return value;
    }

private:
    const std::vector<bool>& bits_;
    std::size_t position_ = 0;
};

int codeOf(Set set, unsigned code)
{
    switch (set) {
    case Set::Upper: return upper[code];
    case Set::Lower: return lower[code];
    case Set::Mixed: return mixed[code];
    case Set::Punct: return punct[code];
    case Set::Digit: return digit[code];
    }
    return 0;
}

}  // namespace

std::optional<DecodedText> decodeBitStream(const std::vector<bool>& bits)
{
    DecodedText text;
    BitReader in(bits);
    Set latched = Set::Upper;
    Set current = Set::Upper;  // differs from `latched` for one code after a shift
    for (;;) {
        const std::size_t width = current == Set::Digit ? 4 : 5;
        if (!in.has(width))
            return text;  // the rest is padding
        const int code = codeOf(current, in.read(width));
        const Set after = latched;
        if (code >= 0) {
            text.bytes += static_cast<char>(code);
        } else if (code <= -100) {
            text.bytes += pairs[static_cast<std::size_t>(-100 - code)];
        } else {
            switch (code) {
            case PunctShift: current = Set::Punct; continue;
            case UpperShift: current = Set::Upper; continue;
            case LatchUpper: latched = Set::Upper; break;
            case LatchLower: latched = Set::Lower; break;
            case LatchMixed: latched = Set::Mixed; break;
            case LatchPunct: latched = Set::Punct; break;
            case LatchDigit: latched = Set::Digit; break;
            case BinaryShift: {
                if (!in.has(5))
                    return text;
                std::size_t count = in.read(5);
                if (count == 0) {
                    if (!in.has(11))
                        return std::nullopt;
                    count = in.read(11) + 31;
                }
                if (!in.has(8 * count))
                    return std::nullopt;
                for (std::size_t i = 0; i < count; ++i)
                    text.bytes += static_cast<char>(in.read(8));
                break;
            }
            case Flag: {
                if (!in.has(3))
                    return text;
                const unsigned n = in.read(3);
                if (n == 7)
                    return std::nullopt;
                if (n == 0) {
                    text.bytes += '\x1D';
                    break;
                }
                int eci = 0;
                for (unsigned i = 0; i < n; ++i) {
                    if (!in.has(4))
                        return std::nullopt;
                    const unsigned d = in.read(4);
                    if (d < 2 || d > 11)
                        return std::nullopt;
                    eci = eci * 10 + static_cast<int>(d - 2);
                }
                text.ecis.push_back(eci);
                break;
            }
            default: break;
            }
            current = latched;
            continue;
        }
        current = after;
    }
}

}  // namespace varnok::aztec
