// Fuzzes the Aztec reader. The first byte picks the entry: a small gray image (width and height in the next two
// bytes, the rest its pixels, repeated), a module matrix in zint's hex dump form (seeded with real symbols, so
// mutations are damaged symbol bits), a raw bit stream for the encodation decoder, or the bull's-eye search on
// such an image with a budget the input chooses (it must stop within one step of it).

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "aztec/Encodation.h"
#include "aztec/Finder.h"
#include "aztec/MatrixDecoder.h"
#include "aztec/Reader.h"
#include "imaging/BmpRle.h"
#include "imaging/ImageHeader.h"

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
    // Every input is also an image file's first bytes, as the size check before decoding sees them, and a whole
    // file as the worker's structure checks and its own RLE decoding see it (within a small pixel limit here).
    const auto declared = varnok::declaredSize({data, size});
    varnok::checkStructure({data, size});
    if (declared && declared->width * declared->height <= 1'000'000)
        varnok::decodeRleBitmap({data, size});
    if (size < 3)
        return 0;
    const auto image = [&] {
        const int width = data[1] + 1, height = data[2] + 1;
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = size > 3 ? data[3 + i % (size - 3)] : 0;
        return pixels;
    };
    switch (data[0] % 4) {
    case 0: {
        const auto pixels = image();
        const ReadResult r = readAztec({pixels.data(), data[1] + 1, data[2] + 1, data[1] + 1});
        if (r.failure != ReadFailure::None && r.reason.empty())
            std::abort();
        break;
    }
    case 3: {
        const auto pixels = image();
        const GrayImage gray{pixels.data(), data[1] + 1, data[2] + 1, data[1] + 1};
        const BinaryImage binary = data[0] & 4 ? binarizeGlobal(gray) : binarizeLocal(gray, data[0] & 8);
        const long long units = size > 3 ? data[3] * 97 : 0;
        Budget budget(units);
        const auto found = findBullsEyes(binary, 8, budget, data[0] & 16 ? 0.8 : 1.5);
        // One row or one walk past the budget at most.
        if (found.size() > 8 || budget.left() < -(16 * (gray.width + gray.height) + 256))
            std::abort();
        for (const FinderCandidate& c : found) {
            if (c.centre.x < 0 || c.centre.y < 0 || c.centre.x > gray.width || c.centre.y > gray.height)
                std::abort();
            traceRing(binary, c, 4, budget);
        }
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
