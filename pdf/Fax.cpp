#include "Fax.h"

#include <array>
#include <string>

namespace varnok::pdf {

namespace {

struct Code {
    const char* bits;
    int run;
};

// ITU-T T.4 run-length codes: terminating (0-63), make-up (64-1728) and the extended make-up shared by both.
constexpr Code whiteCodes[] = {
    {"00110101", 0}, {"000111", 1}, {"0111", 2}, {"1000", 3}, {"1011", 4}, {"1100", 5}, {"1110", 6},
    {"1111", 7}, {"10011", 8}, {"10100", 9}, {"00111", 10}, {"01000", 11}, {"001000", 12}, {"000011", 13},
    {"110100", 14}, {"110101", 15}, {"101010", 16}, {"101011", 17}, {"0100111", 18}, {"0001100", 19},
    {"0001000", 20}, {"0010111", 21}, {"0000011", 22}, {"0000100", 23}, {"0101000", 24}, {"0101011", 25},
    {"0010011", 26}, {"0100100", 27}, {"0011000", 28}, {"00000010", 29}, {"00000011", 30}, {"00011010", 31},
    {"00011011", 32}, {"00010010", 33}, {"00010011", 34}, {"00010100", 35}, {"00010101", 36},
    {"00010110", 37}, {"00010111", 38}, {"00101000", 39}, {"00101001", 40}, {"00101010", 41},
    {"00101011", 42}, {"00101100", 43}, {"00101101", 44}, {"00000100", 45}, {"00000101", 46},
    {"00001010", 47}, {"00001011", 48}, {"01010010", 49}, {"01010011", 50}, {"01010100", 51},
    {"01010101", 52}, {"00100100", 53}, {"00100101", 54}, {"01011000", 55}, {"01011001", 56},
    {"01011010", 57}, {"01011011", 58}, {"01001010", 59}, {"01001011", 60}, {"00110010", 61},
    {"00110011", 62}, {"00110100", 63}, {"11011", 64}, {"10010", 128}, {"010111", 192}, {"0110111", 256},
    {"00110110", 320}, {"00110111", 384}, {"01100100", 448}, {"01100101", 512}, {"01101000", 576},
    {"01100111", 640}, {"011001100", 704}, {"011001101", 768}, {"011010010", 832}, {"011010011", 896},
    {"011010100", 960}, {"011010101", 1024}, {"011010110", 1088}, {"011010111", 1152}, {"011011000", 1216},
    {"011011001", 1280}, {"011011010", 1344}, {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536},
    {"010011010", 1600}, {"011000", 1664}, {"010011011", 1728},
};

constexpr Code blackCodes[] = {
    {"0000110111", 0}, {"010", 1}, {"11", 2}, {"10", 3}, {"011", 4}, {"0011", 5}, {"0010", 6}, {"00011", 7},
    {"000101", 8}, {"000100", 9}, {"0000100", 10}, {"0000101", 11}, {"0000111", 12}, {"00000100", 13},
    {"00000111", 14}, {"000011000", 15}, {"0000010111", 16}, {"0000011000", 17}, {"0000001000", 18},
    {"00001100111", 19}, {"00001101000", 20}, {"00001101100", 21}, {"00000110111", 22}, {"00000101000", 23},
    {"00000010111", 24}, {"00000011000", 25}, {"000011001010", 26}, {"000011001011", 27},
    {"000011001100", 28}, {"000011001101", 29}, {"000001101000", 30}, {"000001101001", 31},
    {"000001101010", 32}, {"000001101011", 33}, {"000011010010", 34}, {"000011010011", 35},
    {"000011010100", 36}, {"000011010101", 37}, {"000011010110", 38}, {"000011010111", 39},
    {"000001101100", 40}, {"000001101101", 41}, {"000011011010", 42}, {"000011011011", 43},
    {"000001010100", 44}, {"000001010101", 45}, {"000001010110", 46}, {"000001010111", 47},
    {"000001100100", 48}, {"000001100101", 49}, {"000001010010", 50}, {"000001010011", 51},
    {"000000100100", 52}, {"000000110111", 53}, {"000000111000", 54}, {"000000100111", 55},
    {"000000101000", 56}, {"000001011000", 57}, {"000001011001", 58}, {"000000101011", 59},
    {"000000101100", 60}, {"000001011010", 61}, {"000001100110", 62}, {"000001100111", 63},
    {"0000001111", 64}, {"000011001000", 128}, {"000011001001", 192}, {"000001011011", 256},
    {"000000110011", 320}, {"000000110100", 384}, {"000000110101", 448}, {"0000001101100", 512},
    {"0000001101101", 576}, {"0000001001010", 640}, {"0000001001011", 704}, {"0000001001100", 768},
    {"0000001001101", 832}, {"0000001110010", 896}, {"0000001110011", 960}, {"0000001110100", 1024},
    {"0000001110101", 1088}, {"0000001110110", 1152}, {"0000001110111", 1216}, {"0000001010010", 1280},
    {"0000001010011", 1344}, {"0000001010100", 1408}, {"0000001010101", 1472}, {"0000001011010", 1536},
    {"0000001011011", 1600}, {"0000001100100", 1664}, {"0000001100101", 1728},
};

constexpr Code sharedMakeup[] = {
    {"00000001000", 1792}, {"00000001100", 1856}, {"00000001101", 1920}, {"000000010010", 1984},
    {"000000010011", 2048}, {"000000010100", 2112}, {"000000010101", 2176}, {"000000010110", 2240},
    {"000000010111", 2304}, {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};

constexpr int lookupBits = 13;

// Every 13-bit window maps to the code it starts with: its length and run (length 0: no code).
struct RunTable {
    std::array<std::uint8_t, 1 << lookupBits> length{};
    std::array<std::uint16_t, 1 << lookupBits> run{};

    void add(const Code& code)
    {
        int bits = 0, value = 0;
        for (const char* c = code.bits; *c; ++c, ++bits)
            value = value << 1 | (*c == '1');
        const int spare = lookupBits - bits;
        for (int tail = 0; tail < (1 << spare); ++tail) {
            length[value << spare | tail] = static_cast<std::uint8_t>(bits);
            run[value << spare | tail] = static_cast<std::uint16_t>(code.run);
        }
    }
    template <std::size_t N>
    explicit RunTable(const Code (&codes)[N])
    {
        for (const auto& code : codes)
            add(code);
        for (const auto& code : sharedMakeup)
            add(code);
    }
};

const RunTable& tableFor(bool black)
{
    static const RunTable white(whiteCodes);
    static const RunTable blackTable(blackCodes);
    return black ? blackTable : white;
}

[[noreturn]] void bad(const std::string& reason) { throw Fault{Stage::Pixels, 0, "fax data: " + reason}; }

class BitReader {
public:
    explicit BitReader(Bytes data) : data_(data) {}

    // The next `count` bits (at most 24), zeros past the end.
    unsigned peek(int count) const
    {
        unsigned value = 0;
        for (int i = 0; i < count; ++i) {
            const std::size_t bit = position_ + i;
            const unsigned b = bit / 8 < data_.size() ? (data_[bit / 8] >> (7 - bit % 8)) & 1 : 0;
            value = value << 1 | b;
        }
        return value;
    }
    void skip(int count) { position_ += count; }
    bool atEnd() const { return position_ >= data_.size() * 8; }
    void alignToByte() { position_ = (position_ + 7) / 8 * 8; }

    // An end-of-line code, after any number of fill zeros; the position stays put when there is none.
    bool skipEndOfLine()
    {
        std::size_t zeros = 0;
        while (position_ + zeros < data_.size() * 8 && peekAt(position_ + zeros) == 0)
            ++zeros;
        if (zeros < 11 || position_ + zeros >= data_.size() * 8)
            return false;
        position_ += zeros + 1;
        return true;
    }

    std::size_t position() const { return position_; }
    // Nothing but fill (zero bits) from `bit` to the end of the data.
    bool onlyFillFrom(std::size_t bit) const
    {
        for (; bit < data_.size() * 8; ++bit)
            if (peekAt(bit))
                return false;
        return true;
    }

private:
    unsigned peekAt(std::size_t bit) const { return (data_[bit / 8] >> (7 - bit % 8)) & 1; }

    Bytes data_;
    std::size_t position_ = 0;
};

int readRun(BitReader& bits, bool black)
{
    const RunTable& table = tableFor(black);
    int total = 0;
    for (;;) {
        const unsigned window = bits.peek(lookupBits);
        const int length = table.length[window];
        if (length == 0)
            bad("unknown run-length code");
        bits.skip(length);
        const int run = table.run[window];
        total += run;
        if (run < 64)
            return total;
        if (total > (1 << 24))
            bad("run too long");
    }
}

enum class Mode { Pass, Horizontal, V0, VR1, VR2, VR3, VL1, VL2, VL3, End };

Mode readMode(BitReader& bits)
{
    const unsigned w = bits.peek(7);
    const auto take = [&](int n, Mode m) {
        bits.skip(n);
        return m;
    };
    if (w & 0x40)
        return take(1, Mode::V0);
    if ((w >> 4) == 0b011)
        return take(3, Mode::VR1);
    if ((w >> 4) == 0b010)
        return take(3, Mode::VL1);
    if ((w >> 4) == 0b001)
        return take(3, Mode::Horizontal);
    if ((w >> 3) == 0b0001)
        return take(4, Mode::Pass);
    if ((w >> 1) == 0b000011)
        return take(6, Mode::VR2);
    if ((w >> 1) == 0b000010)
        return take(6, Mode::VL2);
    if (w == 0b0000011)
        return take(7, Mode::VR3);
    if (w == 0b0000010)
        return take(7, Mode::VL3);
    return Mode::End;  // an end-of-line, end-of-block, extension or damage: the row cannot go on
}

// Changing elements of a row: positions where the colour flips, white first; two sentinels at `columns` follow.
using Changes = std::vector<int>;

void addChange(Changes& line, int at, int columns)
{
    if (at < (line.empty() ? 0 : line.back()) || at > columns)
        bad("a change outside the row");
    line.push_back(at);
}

void decodeOneDimensional(BitReader& bits, Changes& line, int columns)
{
    int at = 0;
    bool black = false;
    while (at < columns) {
        at += readRun(bits, black);
        addChange(line, at, columns);
        black = !black;
    }
}

void decodeTwoDimensional(BitReader& bits, const Changes& reference, Changes& line, int columns)
{
    int a0 = -1;
    bool black = false;
    std::size_t b = 0;  // index into reference of the first candidate for b1
    while (a0 < columns) {
        // b1: the first change right of a0 to the colour opposite a0's; changes to black sit at even indexes.
        while (b > 0 && reference[b - 1] > a0)
            --b;
        while (b < reference.size() && (reference[b] <= a0 || (b % 2 == 1) != black))
            ++b;
        const int b1 = b < reference.size() ? reference[b] : columns;
        const int b2 = b + 1 < reference.size() ? reference[b + 1] : columns;
        const Mode mode = readMode(bits);
        const int start = a0 < 0 ? 0 : a0;
        int a1 = 0;
        switch (mode) {
        case Mode::Pass:
            a0 = b2;
            continue;
        case Mode::Horizontal: {
            const int first = readRun(bits, black);
            const int second = readRun(bits, !black);
            addChange(line, start + first, columns);
            addChange(line, start + first + second, columns);
            a0 = start + first + second;
            continue;
        }
        case Mode::V0: a1 = b1; break;
        case Mode::VR1: a1 = b1 + 1; break;
        case Mode::VR2: a1 = b1 + 2; break;
        case Mode::VR3: a1 = b1 + 3; break;
        case Mode::VL1: a1 = b1 - 1; break;
        case Mode::VL2: a1 = b1 - 2; break;
        case Mode::VL3: a1 = b1 - 3; break;
        case Mode::End: bad("row ends early");
        }
        if (a1 < start)
            bad("a change behind the last one");
        addChange(line, a1, columns);
        a0 = a1;
        black = !black;
    }
}

void fillRow(const Changes& line, int columns, bool blackIs1, std::uint8_t* row)
{
    const std::uint8_t whiteBit = blackIs1 ? 0 : 1;
    bool black = false;
    int at = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        const int end = i < line.size() ? std::min(line[i], columns) : columns;
        const std::uint8_t bit = black ? 1 - whiteBit : whiteBit;
        for (; at < end; ++at)
            if (bit)
                row[at / 8] |= static_cast<std::uint8_t>(0x80 >> (at % 8));
        black = !black;
    }
}

// One coded row into `line`; false at the end of the page (an end-of-block code, or six end-of-line codes).
bool decodeRow(BitReader& bits, const FaxParams& params, const Changes& reference, Changes& line)
{
    const int columns = params.columns;
    bool twoDimensional = params.k < 0;
    if (params.k >= 0) {
        if (params.encodedByteAlign && !bits.skipEndOfLine())
            bits.alignToByte();
        const bool endOfLine = bits.skipEndOfLine();
        if (endOfLine && (params.k > 0 ? bits.peek(13) == 0x1001 : bits.peek(12) == 1))
            return false;
        if (params.k > 0) {
            twoDimensional = bits.peek(1) == 0;
            bits.skip(1);
        }
    } else {
        if (params.encodedByteAlign)
            bits.alignToByte();
        if (bits.peek(24) == 0x001001)
            return false;
    }
    line.clear();
    if (twoDimensional)
        decodeTwoDimensional(bits, reference, line, columns);
    else
        decodeOneDimensional(bits, line, columns);
    return true;
}

}  // namespace

FaxParams faxParamsOf(const Dict* parms)
{
    FaxParams p;
    if (!parms)
        return p;
    const auto integer = [&](const char* key, long long fallback) {
        const Object* o = lookup(*parms, key);
        const long long* v = o ? o->integer() : nullptr;
        return v ? *v : fallback;
    };
    const auto flag = [&](const char* key) {
        const Object* o = lookup(*parms, key);
        const bool* v = o ? std::get_if<bool>(&o->value) : nullptr;
        return v && *v;
    };
    const long long k = integer("K", 0);
    const long long columns = integer("Columns", 1728);
    const long long rows = integer("Rows", 0);
    if (columns < 1 || columns > (1 << 20) || rows < 0 || rows > (1 << 20))
        throw Fault{Stage::Pixels, 0, "bad fax dimensions"};
    p.k = k < 0 ? -1 : (k > 0 ? 1 : 0);
    p.columns = static_cast<int>(columns);
    p.blackIs1 = flag("BlackIs1");
    p.encodedByteAlign = flag("EncodedByteAlign");
    return p;
}

std::vector<std::uint8_t> decodeFax(Bytes data, const FaxParams& params, int maxRows)
{
    const int columns = params.columns;
    const std::size_t rowBytes = (std::size_t(columns) + 7) / 8;
    std::vector<std::uint8_t> out;
    BitReader bits(data);
    Changes reference{columns, columns};
    Changes line;
    for (int row = 0; row < maxRows && !bits.atEnd(); ++row) {
        const std::size_t rowStart = bits.position();
        try {
            if (!decodeRow(bits, params, reference, line))
                break;
        } catch (const Fault&) {
            // Fill after the last coded row: the image ends there, and the rows its /Height asks for beyond it
            // are white paper, as the caller pads them.
            if (!out.empty() && bits.onlyFillFrom(rowStart))
                break;
            throw;
        }
        out.resize(out.size() + rowBytes, 0);
        fillRow(line, columns, params.blackIs1, out.data() + out.size() - rowBytes);
        reference = line;
        reference.push_back(columns);
        reference.push_back(columns);
    }
    return out;
}

}  // namespace varnok::pdf
