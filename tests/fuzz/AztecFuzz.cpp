// Fuzzes the Aztec reader. The first byte picks the entry: a small gray image (width and height in the next two
// bytes, the rest its pixels, repeated), a module matrix in zint's hex dump form (seeded with real symbols, so
// mutations are damaged symbol bits), or a raw bit stream for the encodation decoder.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "aztec/Encodation.h"
#include "aztec/MatrixDecoder.h"
#include "aztec/Reader.h"
#include "platform/ImageHeader.h"

using namespace varnok::aztec;

namespace {

ModuleMatrix fromDump(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> rows(1);
    for (std::size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\n')
            rows.emplace_back();
        else if (std::isxdigit(static_cast<unsigned char>(c)))
            rows.back() += c;
    }
    while (!rows.empty() && rows.back().empty())
        rows.pop_back();
    const int n = static_cast<int>(std::min<std::size_t>(rows.size(), 151));
    ModuleMatrix m(n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const std::string& row = rows[static_cast<std::size_t>(y)];
            const std::size_t digit = static_cast<std::size_t>(x / 4);
            if (digit < row.size())
                m.set(x, y, (std::stoi(row.substr(digit, 1), nullptr, 16) >> (3 - x % 4)) & 1);
        }
    return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Every input is also an image file's first bytes, as the size check before decoding sees them.
    varnok::declaredSize({data, size});
    if (size < 3)
        return 0;
    switch (data[0] % 3) {
    case 0: {
        const int width = data[1] + 1, height = data[2] + 1;
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = size > 3 ? data[3 + i % (size - 3)] : 0;
        const ReadResult r = readAztec({pixels.data(), width, height, width});
        if (r.failure != ReadFailure::None && r.reason.empty())
            std::abort();
        break;
    }
    case 1: {
        const MatrixResult r = decodeMatrix(fromDump(data + 1, size - 1));
        if (!r.ok && r.reason.empty())
            std::abort();
        break;
    }
    default: {
        std::vector<bool> bits;
        for (std::size_t i = 1; i < size; ++i)
            for (int b = 7; b >= 0; --b)
                bits.push_back((data[i] >> b) & 1);
        decodeBitStream(bits);
    }
    }
    return 0;
}
