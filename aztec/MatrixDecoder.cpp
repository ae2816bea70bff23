#include "MatrixDecoder.h"

#include <algorithm>

#include "Acceptance.h"

namespace varnok::aztec {

ModuleMatrix oriented(const ModuleMatrix& matrix, const Orientation& o) { return matrix.transformed(o.turns, o.mirror); }

std::vector<bool> oriented(const std::vector<bool>& unsure, int size, const Orientation& o)
{
    if (unsure.empty())
        return {};
    ModuleMatrix m(size);
    for (int i = 0; i < size * size; ++i)
        m.set(i % size, i / size, unsure[static_cast<std::size_t>(i)]);
    const ModuleMatrix t = oriented(m, o);
    std::vector<bool> out(unsure.size());
    for (int i = 0; i < size * size; ++i)
        out[static_cast<std::size_t>(i)] = t.at(i % size, i / size);
    return out;
}

MatrixResult decodeLayers(const ModuleMatrix& matrix, const SymbolFormat& format, const std::vector<bool>& unsure)
{
    MatrixResult result;
    result.format = format;
    const int size = matrix.size();
    if (format.size() != size) {
        result.reason = "no symbol of that size";
        return result;
    }
    const auto positions = dataPositions(format);
    std::vector<bool> bits;
    bits.reserve(positions.size());
    for (const auto& [x, y] : positions)
        bits.push_back(matrix.at(x, y));
    Codewords codewords = wordsFromBits(format, bits);

    std::vector<std::size_t> erasures;
    if (!unsure.empty()) {
        const std::size_t skip = bits.size() - codewords.words.size() * static_cast<std::size_t>(codewords.wordBits);
        for (std::size_t i = skip; i < positions.size(); ++i) {
            const auto& [x, y] = positions[i];
            const std::size_t word = (i - skip) / static_cast<std::size_t>(codewords.wordBits);
            if (unsure[static_cast<std::size_t>(y * size + x)] && (erasures.empty() || erasures.back() != word))
                erasures.push_back(word);
        }
        const std::size_t checkWords = codewords.words.size() - static_cast<std::size_t>(codewords.dataWords);
        if (erasures.size() + spareCheckWords > checkWords)
            erasures.clear();  // too many to leave a check: leave it to the errors-only correction
    }
    const auto corrected = reedSolomonCorrect(GaloisField::forWordSize(static_cast<unsigned>(codewords.wordBits)),
                                              codewords.words, codewords.words.size() - codewords.dataWords, erasures);
    if (!corrected) {
        result.reason = "too damaged to correct";
        return result;
    }
    result.correctedWords = corrected->changed;
    const auto stream = unstuff(codewords);
    if (!stream) {
        result.reason = "invalid data word";
        return result;
    }
    const auto text = decodeBitStream(*stream);
    if (!text) {
        result.reason = "invalid encodation";
        return result;
    }
    if (const std::string_view refusal = refusalOf(format, *corrected, *text); !refusal.empty()) {
        result.reason = refusal;
        return result;
    }
    result.text = *text;
    result.ok = true;
    return result;
}

MatrixResult decodeMatrix(const ModuleMatrix& matrix, const std::vector<bool>& unsure)
{
    MatrixResult result;
    const int size = matrix.size();
    if (size < 15 || size > 151) {
        result.reason = "no symbol of that size";
        return result;
    }
    std::vector<Orientation> readings;
    for (bool compact : {true, false})
        for (const Orientation& o : readOrientations(matrix, compact, unsure))
            if (o.format.size() == size)
                readings.push_back(o);
    std::stable_sort(readings.begin(), readings.end(), [](const Orientation& a, const Orientation& b) { return a.doubt() < b.doubt(); });
    result.reason = "mode message unreadable";
    for (const Orientation& o : readings) {
        MatrixResult r = decodeLayers(oriented(matrix, o), o.format, oriented(unsure, size, o));
        if (r.ok)
            return r;
        if (&o == &readings.front())
            result = std::move(r);  // the reason of the likeliest reading
    }
    return result;
}

}  // namespace varnok::aztec
