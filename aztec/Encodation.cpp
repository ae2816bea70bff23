#include "Encodation.h"

#include <algorithm>
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
    std::size_t position() const { return position_; }
    unsigned read(std::size_t n)
    {
        unsigned value = 0;
        for (std::size_t i = 0; i < n; ++i)
            value = value << 1 | (bits_[position_++] ? 1u : 0u);
        return value;
    }
    // Padding fills the last data word with 1 bits.
    bool onlyPaddingFrom(std::size_t position) const
    {
        return std::all_of(bits_.begin() + static_cast<std::ptrdiff_t>(position), bits_.end(),
                           [](bool bit) { return bit; });
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

// A binary run: its length (5 bits, or 0 and 11 more for 32 and up), then the bytes.
bool readBytes(BitReader& in, std::string& out)
{
    if (!in.has(5))
        return false;
    std::size_t count = in.read(5);
    if (count == 0) {
        if (!in.has(11))
            return false;
        count = in.read(11) + 31;
    }
    if (!in.has(8 * count))
        return false;
    for (std::size_t i = 0; i < count; ++i)
        out += static_cast<char>(in.read(8));
    return true;
}

// FLG(n): n = 0 is FNC1 (sent as GS; where it stood is kept in `fnc1`), 1-6 the digits of an ECI designator,
// 7 reserved.
bool readFlag(BitReader& in, DecodedText& text, std::vector<std::size_t>& fnc1)
{
    if (!in.has(3))
        return false;
    const unsigned n = in.read(3);
    if (n == 7)
        return false;
    if (n == 0) {
        fnc1.push_back(text.bytes.size());
        text.bytes += '\x1D';
        return true;
    }
    int eci = 0;
    for (unsigned i = 0; i < n; ++i) {
        if (!in.has(4))
            return false;
        const unsigned d = in.read(4);
        if (d < 2 || d > 11)
            return false;
        eci = eci * 10 + static_cast<int>(d - 2);
    }
    text.ecis.push_back(eci);
    return true;
}

// The header after the opening M/L U/L: an optional identifier between spaces, then the symbol's position and the
// count as letters (A = 1). Anything else leaves the data as it stands.
std::optional<StructuredAppend> takeStructuredAppend(std::string& bytes)
{
    StructuredAppend header;
    std::size_t at = 0;
    if (!bytes.empty() && bytes[0] == ' ') {
        const std::size_t end = bytes.find(' ', 1);
        if (end == std::string::npos)
            return std::nullopt;
        header.id = bytes.substr(1, end - 1);
        at = end + 1;
    }
    if (bytes.size() < at + 2)
        return std::nullopt;
    const char index = bytes[at], count = bytes[at + 1];
    if (index < 'A' || count < 'A' || count > 'Z' || index > count)
        return std::nullopt;
    header.index = index - 'A' + 1;
    header.count = count - 'A' + 1;
    bytes.erase(0, at + 2);
    return header;
}

}  // namespace

std::optional<DecodedText> decodeBitStream(const std::vector<bool>& bits)
{
    DecodedText text;
    BitReader in(bits);
    // Structured append opens with M/L U/L, a pair no encoder spends otherwise.
    BitReader opening(bits);
    const bool appended = opening.has(10) && opening.read(5) == 29 && opening.read(5) == 29;
    Set latched = Set::Upper;
    std::optional<Set> shifted;  // the set of the next code only
    std::vector<std::size_t> fnc1;
    while (true) {
        const std::size_t start = in.position();
        const Set set = shifted.value_or(latched);
        const std::size_t width = set == Set::Digit ? 4 : 5;
        if (!in.has(width))
            break;  // the rest is padding
        const int code = codeOf(set, in.read(width));
        if (code >= 0 || code <= -100 || code == Flag) {
            if (code >= 0)
                text.bytes += static_cast<char>(code);
            else if (code <= -100)
                text.bytes += pairs[static_cast<std::size_t>(-100 - code)];
            else if (!readFlag(in, text, fnc1))
                return std::nullopt;
            shifted.reset();
            continue;
        }
        // A shift followed by a code that changes sets (D/L U/S B/S) ends in the shifted set: whatever that code
        // invokes returns there, as to the set it was invoked from.
        if (shifted) {
            latched = *shifted;
            shifted.reset();
        }
        if (code == BinaryShift) {
            if (readBytes(in, text.bytes))
                continue;
            if (!in.onlyPaddingFrom(start))
                return std::nullopt;
            break;  // 1 bits that cannot fill a run are the padding
        }
        switch (code) {
        case PunctShift: shifted = Set::Punct; break;
        case UpperShift: shifted = Set::Upper; break;
        case LatchUpper: latched = Set::Upper; break;
        case LatchLower: latched = Set::Lower; break;
        case LatchMixed: latched = Set::Mixed; break;
        case LatchPunct: latched = Set::Punct; break;
        case LatchDigit: latched = Set::Digit; break;
        default: break;
        }
    }
    const std::size_t size = text.bytes.size();
    if (appended)
        text.sequence = takeStructuredAppend(text.bytes);
    // An FNC1 before the first character (after an ECI or a sequence header) says the data follows GS1's rules;
    // a scanner does not send it.
    if (std::find(fnc1.begin(), fnc1.end(), size - text.bytes.size()) != fnc1.end()) {
        text.gs1 = true;
        text.bytes.erase(0, 1);
    }
    return text;
}

}  // namespace varnok::aztec
