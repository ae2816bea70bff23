#include "MatrixDecoder.h"

namespace varnok::aztec {

namespace {

struct Oriented {
    ModuleMatrix matrix;
    std::vector<bool> unsure;
    SymbolFormat format;
};

std::vector<bool> transformedMarks(const std::vector<bool>& marks, int size, int turns, bool mirror)
{
    if (marks.empty())
        return {};
    ModuleMatrix m(size);
    for (int i = 0; i < size * size; ++i)
        m.set(i % size, i / size, marks[static_cast<std::size_t>(i)]);
    const ModuleMatrix t = m.transformed(turns, mirror);
    std::vector<bool> out(marks.size());
    for (int i = 0; i < size * size; ++i)
        out[static_cast<std::size_t>(i)] = t.at(i % size, i / size);
    return out;
}

// The orientation and format whose mode message passes its check and fits the matrix.
std::optional<Oriented> orient(const ModuleMatrix& matrix, const std::vector<bool>& unsure)
{
    for (bool compact : {true, false}) {
        const auto positions = modeMessagePositions(compact, matrix.size());
        for (int turns = 0; turns < 4; ++turns)
            for (bool mirror : {false, true}) {
                ModuleMatrix m = matrix.transformed(turns, mirror);
                std::vector<bool> marks = transformedMarks(unsure, matrix.size(), turns, mirror);
                std::vector<bool> bits;
                std::vector<int> unsureBits;
                for (const auto& [x, y] : positions) {
                    if (!marks.empty() && marks[static_cast<std::size_t>(y * m.size() + x)])
                        unsureBits.push_back(static_cast<int>(bits.size()));
                    bits.push_back(m.at(x, y));
                }
                const auto format = readModeMessage(bits, compact, unsureBits);
                if (format && format->size() == matrix.size())
                    return Oriented{std::move(m), std::move(marks), *format};
            }
    }
    return std::nullopt;
}

}  // namespace

MatrixResult decodeMatrix(const ModuleMatrix& matrix, const std::vector<bool>& unsure)
{
    MatrixResult result;
    const int size = matrix.size();
    if (size < 15 || size > 151) {
        result.reason = "no symbol of that size";
        return result;
    }
    const std::optional<Oriented> oriented = orient(matrix, unsure);
    if (!oriented) {
        result.reason = "mode message unreadable";
        return result;
    }
    result.format = oriented->format;

    const auto positions = dataPositions(oriented->format);
    std::vector<bool> bits;
    bits.reserve(positions.size());
    for (const auto& [x, y] : positions)
        bits.push_back(oriented->matrix.at(x, y));
    Codewords codewords = wordsFromBits(oriented->format, bits);

    std::vector<std::size_t> erasures;
    if (!oriented->unsure.empty()) {
        const std::size_t skip = bits.size() - codewords.words.size() * static_cast<std::size_t>(codewords.wordBits);
        for (std::size_t i = skip; i < positions.size(); ++i) {
            const auto& [x, y] = positions[i];
            const std::size_t word = (i - skip) / static_cast<std::size_t>(codewords.wordBits);
            if (oriented->unsure[static_cast<std::size_t>(y * size + x)] && (erasures.empty() || erasures.back() != word))
                erasures.push_back(word);
        }
        const std::size_t checkWords = codewords.words.size() - static_cast<std::size_t>(codewords.dataWords);
        if (erasures.size() > checkWords)
            erasures.clear();  // too many to help: leave it to the errors-only correction
    }
    const auto corrected = reedSolomonCorrect(GaloisField::forWordSize(static_cast<unsigned>(codewords.wordBits)),
                                              codewords.words, codewords.words.size() - codewords.dataWords, erasures);
    if (!corrected) {
        result.reason = "too damaged to correct";
        return result;
    }
    result.correctedWords = *corrected;
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
    result.text = *text;
    result.ok = true;
    return result;
}

}  // namespace varnok::aztec
