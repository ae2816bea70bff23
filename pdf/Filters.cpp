#include "Filters.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>

#include "Document.h"
#include "base/ByteOrder.h"

namespace varnok::pdf {

std::string canonicalFilter(std::string_view name)
{
    static const std::pair<std::string_view, std::string_view> abbreviations[] = {
        {"Fl", "FlateDecode"}, {"AHx", "ASCIIHexDecode"}, {"A85", "ASCII85Decode"}, {"RL", "RunLengthDecode"},
        {"DCT", "DCTDecode"}, {"CCF", "CCITTFaxDecode"}, {"LZW", "LZWDecode"}};
    for (const auto& [shortName, longName] : abbreviations)
        if (name == shortName)
            return std::string(longName);
    return std::string(name);
}

Codec codecOf(std::string_view filter)
{
    const std::string name = canonicalFilter(filter);
    for (const Codec codec : {Codec::Dct, Codec::Fax, Codec::Jbig2, Codec::Jpx})
        if (name == codecName(codec))
            return codec;
    return Codec::None;
}

const char* codecName(Codec codec)
{
    switch (codec) {
    case Codec::None: return "";
    case Codec::Dct: return "DCTDecode";
    case Codec::Fax: return "CCITTFaxDecode";
    case Codec::Jbig2: return "JBIG2Decode";
    case Codec::Jpx: return "JPXDecode";
    }
    return "";
}

std::vector<std::uint8_t> inflate(Bytes in, std::size_t limit, std::size_t expected)
{
    std::vector<std::uint8_t> out;
    // Deflate expands at most about 1032 to 1: a file's claim cannot reserve more than its data could fill.
    const std::size_t reachable = in.size() > SIZE_MAX / 1032 ? SIZE_MAX : in.size() * 1032 + 4096;
    out.reserve(std::min({expected, limit, reachable}));
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        throw Fault{Stage::Pixels, 0, "zlib cannot start"};
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), 0x7FFFFFFF));
    constexpr std::size_t chunk = 1 << 16;
    while (out.size() < limit) {
        const std::size_t room = std::min(chunk, limit - out.size());
        const std::size_t used = out.size();
        out.resize(used + room);
        z.next_out = out.data() + used;
        z.avail_out = static_cast<uInt>(room);
        const int status = ::inflate(&z, Z_NO_FLUSH);
        out.resize(used + room - z.avail_out);
        if (status != Z_OK)
            break;  // the end of the stream, or damage: keep what came before
    }
    inflateEnd(&z);
    return out;
}

std::vector<std::uint8_t> asciiHex(Bytes in, std::size_t limit)
{
    std::vector<std::uint8_t> out;
    int high = -1;
    for (const auto c : in) {
        if (c == '>' || out.size() >= limit)
            break;
        int v = -1;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0 && out.size() < limit)
        out.push_back(static_cast<std::uint8_t>(high << 4));
    return out;
}

std::vector<std::uint8_t> ascii85(Bytes in, std::size_t limit)
{
    std::vector<std::uint8_t> out;
    std::uint32_t group = 0;
    int count = 0;
    const auto flush = [&](int bytes) {
        for (int i = 0; i < bytes && out.size() < limit; ++i)
            out.push_back(static_cast<std::uint8_t>(group >> (24 - 8 * i)));
    };
    for (std::size_t i = 0; i < in.size() && out.size() < limit; ++i) {
        const auto c = in[i];
        if (c == '~')
            break;
        if (c == 'z' && count == 0) {
            group = 0;
            flush(4);
            continue;
        }
        if (c < '!' || c > 'u')
            continue;
        group = group * 85 + (c - '!');
        if (++count == 5) {
            flush(4);
            group = 0;
            count = 0;
        }
    }
    if (count > 1) {
        for (int i = count; i < 5; ++i)
            group = group * 85 + 84;
        flush(count - 1);
    }
    return out;
}

std::vector<std::uint8_t> runLength(Bytes in, std::size_t limit)
{
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (i < in.size() && out.size() < limit) {
        const int length = in[i++];
        if (length == 128)
            break;
        if (length < 128) {
            for (int k = 0; k <= length && i < in.size() && out.size() < limit; ++k)
                out.push_back(in[i++]);
        } else if (i < in.size()) {
            const auto byte = in[i++];
            for (int k = 0; k < 257 - length && out.size() < limit; ++k)
                out.push_back(byte);
        }
    }
    return out;
}

std::vector<std::uint8_t> lzw(Bytes in, std::size_t limit, bool earlyChange)
{
    struct Entry {
        int prefix;  // -1 for the single bytes
        std::uint8_t last;
        std::uint8_t first;
        std::size_t length;
    };
    constexpr int clear = 256, end = 257;
    std::vector<Entry> table;
    const auto reset = [&] {
        table.clear();
        for (int b = 0; b < 256; ++b)
            table.push_back({-1, static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(b), 1});
        table.push_back({});
        table.push_back({});
    };
    reset();
    std::vector<std::uint8_t> out;
    std::size_t bit = 0;
    int width = 9, previous = -1;
    while (bit + width <= in.size() * 8 && out.size() < limit) {
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            code = code << 1 | ((in[bit / 8] >> (7 - bit % 8)) & 1);
        if (code == end)
            break;
        if (code == clear) {
            reset();
            width = 9;
            previous = -1;
            continue;
        }
        const int size = static_cast<int>(table.size());
        if (code > size || (code == size && (previous < 0 || size >= 4096)))
            break;  // damage: keep what came before
        if (previous >= 0 && table.size() < 4096) {
            const std::uint8_t first = code < static_cast<int>(table.size()) ? table[code].first : table[previous].first;
            table.push_back({previous, first, table[previous].first, table[previous].length + 1});
        }
        // The entry's bytes, written from its end back along its prefixes.
        const Entry& entry = table[code];
        const std::size_t start = out.size();
        out.resize(std::min(limit, start + entry.length));
        for (int at = code; at >= 0; at = table[at].prefix) {
            const std::size_t offset = start + table[at].length - 1;
            if (offset < out.size())
                out[offset] = table[at].last;
        }
        previous = code;
        if (static_cast<int>(table.size()) + (earlyChange ? 1 : 0) >= (1 << width) && width < 12)
            ++width;
    }
    return out;
}

std::size_t Predictor::rowBytes() const
{
    // In 64 bits: on a 32-bit build the product of the largest parameters wraps.
    const std::uint64_t bytes = (std::uint64_t(colors) * std::uint64_t(columns) * std::uint64_t(bitsPerComponent) + 7) / 8;
    if (bytes > maxStreamBytes)
        throw Fault{Stage::Pixels, 0, "predictor row too long"};
    return static_cast<std::size_t>(bytes);
}

Predictor predictorOf(const Dict* parms)
{
    Predictor p;
    if (!parms)
        return p;
    const auto field = [&](const char* key, int fallback, int low, int high) {
        const Object* o = lookup(*parms, key);
        const long long* v = o ? o->integer() : nullptr;
        if (!v)
            return fallback;
        if (*v < low || *v > high)
            throw Fault{Stage::Pixels, 0, std::string("bad predictor parameter ") + key};
        return static_cast<int>(*v);
    };
    p.predictor = field("Predictor", 1, 0, 15);
    p.colors = field("Colors", 1, 1, 32);
    p.bitsPerComponent = field("BitsPerComponent", 8, 1, 16);
    p.columns = field("Columns", 1, 1, 1 << 24);
    return p;
}

namespace {

unsigned sampleAt(const std::uint8_t* row, std::size_t index, int bits)
{
    if (bits == 8)
        return row[index];
    if (bits == 16)
        return bigEndian16(&row[2 * index]);
    const std::size_t bit = index * bits;
    return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

void setSample(std::uint8_t* row, std::size_t index, int bits, unsigned value)
{
    if (bits == 8) {
        row[index] = static_cast<std::uint8_t>(value);
    } else if (bits == 16) {
        row[2 * index] = static_cast<std::uint8_t>(value >> 8);
        row[2 * index + 1] = static_cast<std::uint8_t>(value);
    } else {
        const std::size_t bit = index * bits;
        const int shift = 8 - bits - static_cast<int>(bit % 8);
        const unsigned mask = ((1u << bits) - 1) << shift;
        row[bit / 8] = static_cast<std::uint8_t>((row[bit / 8] & ~mask) | ((value << shift) & mask));
    }
}

int paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}

}  // namespace

std::vector<std::uint8_t> unpredict(std::vector<std::uint8_t> data, const Predictor& p)
{
    if (p.predictor < 2)
        return data;
    const int bits = p.bitsPerComponent;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)
        throw Fault{Stage::Pixels, 0, "bad predictor bit depth"};
    const std::size_t rowBytes = p.rowBytes();
    const std::size_t samples = std::size_t(p.colors) * p.columns;
    if (p.predictor == 2) {
        const std::size_t rows = data.size() / rowBytes;
        const unsigned mask = bits == 16 ? 0xFFFF : (1u << bits) - 1;
        for (std::size_t r = 0; r < rows; ++r) {
            std::uint8_t* row = data.data() + r * rowBytes;
            for (std::size_t i = p.colors; i < samples; ++i)
                setSample(row, i, bits, (sampleAt(row, i, bits) + sampleAt(row, i - p.colors, bits)) & mask);
        }
        data.resize(rows * rowBytes);
        return data;
    }
    // PNG: each row carries its own filter type first.
    const std::size_t bpp = std::max<std::size_t>(1, (std::size_t(p.colors) * bits + 7) / 8);
    const std::size_t rows = data.size() / (rowBytes + 1);
    std::vector<std::uint8_t> out(rows * rowBytes);
    for (std::size_t r = 0; r < rows; ++r) {
        const std::uint8_t* in = data.data() + r * (rowBytes + 1);
        const int type = in[0];
        ++in;
        std::uint8_t* row = out.data() + r * rowBytes;
        const std::uint8_t* up = r ? row - rowBytes : nullptr;  // above the first row: zeros
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= bpp ? row[i - bpp] : 0;
            const int b = up ? up[i] : 0;
            const int c = up && i >= bpp ? up[i - bpp] : 0;
            int predicted = 0;
            switch (type) {
            case 0: predicted = 0; break;
            case 1: predicted = a; break;
            case 2: predicted = b; break;
            case 3: predicted = (a + b) / 2; break;
            case 4: predicted = paeth(a, b, c); break;
            default: throw Fault{Stage::Pixels, 0, "bad PNG row filter " + std::to_string(type)};
            }
            row[i] = static_cast<std::uint8_t>(in[i] + predicted);
        }
    }
    return out;
}

}  // namespace varnok::pdf
