// When a reading of the layers counts as the symbol: check words to spare after erasures and errors, data that is
// not empty; and random layers, erased where they would slip through, never read.

#include <gtest/gtest.h>

#include <random>

#include "aztec/Acceptance.h"
#include "aztec/MatrixDecoder.h"

namespace varnok::aztec {
namespace {

SymbolFormat format(bool compact, int layers, int checkWords)
{
    SymbolFormat f;
    f.compact = compact;
    f.layers = layers;
    f.dataWords = f.totalWords() - checkWords;
    return f;
}

TEST(AztecAcceptance, ChecksWordsToSpareAndData)
{
    const DecodedText text{"DATA", {}, {}}, empty{};
    const struct {
        int checkWords;
        Correction correction;
        const DecodedText& text;
        std::string_view refusal;
    } cases[] = {
        {10, {0, 0, 0}, text, ""},
        {10, {10, 0, 0}, text, "too damaged to correct"},  // every check word erased: no check at all
        {10, {9, 0, 0}, text, "too damaged to correct"},
        {10, {10 - spareCheckWords, 0, 0}, text, ""},
        {10, {0, 5, 5}, text, "too damaged to correct"},
        {10, {1, 4, 5}, text, "too damaged to correct"},
        {10, {0, (10 - spareCheckWords) / 2, 4}, text, ""},
        {10, {0, 0, 0}, empty, "no data"},
        {1, {0, 0, 0}, text, "too damaged to correct"},  // a format that cannot keep the margin
        {static_cast<int>(spareCheckWords), {0, 0, 0}, text, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(refusalOf(format(false, 4, c.checkWords), c.correction, c.text), c.refusal)
            << c.checkWords << " check words, " << c.correction.erasures << " erasures, " << c.correction.errors
            << " errors";
}

// Layers of noise in formats with few check words, the unsure marks on as many words as there are check words
// (which once let any words through): none is taken for a symbol, so the old loophole stays closed.
TEST(AztecAcceptance, RandomLayersAreNeverASymbol)
{
    std::mt19937 random(24779);
    int accepted = 0, tried = 0;
    for (const SymbolFormat f : {format(true, 1, 3), format(true, 2, 4), format(true, 4, 6), format(false, 2, 5)}) {
        const auto positions = dataPositions(f);
        const std::size_t wordBits = static_cast<std::size_t>(f.wordBits()),
                          skip = positions.size() - static_cast<std::size_t>(f.totalWords()) * wordBits;
        const std::size_t checkWords = static_cast<std::size_t>(f.totalWords() - f.dataWords);
        for (int round = 0; round < 500; ++round) {
            ModuleMatrix m(f.size());
            for (int y = 0; y < m.size(); ++y)
                for (int x = 0; x < m.size(); ++x)
                    m.set(x, y, random() & 1u);
            for (std::size_t erased : {checkWords, checkWords - 1, std::size_t(0)}) {
                std::vector<bool> unsure(static_cast<std::size_t>(m.size() * m.size()));
                for (std::size_t w = 0; w < erased; ++w) {
                    const auto [x, y] = positions[skip + w * wordBits];
                    unsure[static_cast<std::size_t>(y * m.size() + x)] = true;
                }
                ++tried;
                accepted += decodeLayers(m, f, unsure).ok;
            }
        }
    }
    EXPECT_EQ(accepted, 0) << "of " << tried;
}

}  // namespace
}  // namespace varnok::aztec
