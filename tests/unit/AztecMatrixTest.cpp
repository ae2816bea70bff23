// The symbol's modules to its text, against symbols of every size made by an independent encoder (zint's module
// dumps, committed in tests/aztec/symbols), in all eight orientations, and with modules damaged.

#include <gtest/gtest.h>

#include <random>

#include "AztecSymbols.h"
#include "aztec/MatrixDecoder.h"

namespace varnok::aztec {
namespace {

struct Symbol {
    std::string name;
    ModuleMatrix matrix;
    std::string text;
};

Symbol load(const std::string& name)
{
    return {name, test::symbolMatrix(name), test::symbolText(name)};
}

std::vector<std::string> allNames()
{
    std::vector<std::string> names;
    for (int v = 1; v <= 36; ++v)
        names.push_back((v < 10 ? "v0" : "v") + std::to_string(v));
    return names;
}

TEST(AztecMatrix, EverySizeDecodesToItsText)
{
    for (const std::string& name : allNames()) {
        const Symbol s = load(name);
        const MatrixResult r = decodeMatrix(s.matrix);
        const int version = std::stoi(name.substr(1));
        ASSERT_TRUE(r.ok) << name << ": " << r.reason;
        EXPECT_EQ(r.text.bytes, s.text) << name;
        EXPECT_EQ(r.format.compact, version <= 4) << name;
        EXPECT_EQ(r.format.layers, version <= 4 ? version : version - 4) << name;
        EXPECT_EQ(r.format.size(), s.matrix.size()) << name;
        EXPECT_EQ(r.correctedWords, 0u) << name;
    }
}

TEST(AztecMatrix, AnyRotationAndMirrorImage)
{
    std::vector<std::string> names = allNames();
    names.push_back("eci");
    for (const std::string& name : names) {
        const Symbol s = load(name);
        for (int turns = 0; turns < 4; ++turns)
            for (bool mirror : {false, true}) {
                const MatrixResult r = decodeMatrix(s.matrix.transformed(turns, mirror));
                ASSERT_TRUE(r.ok) << name << " " << turns << " " << mirror << ": " << r.reason;
                EXPECT_EQ(r.text.bytes, s.text);
            }
    }
}

// The twelve modules at the corners of the mode message's ring say which way is up: a few of them misprinted
// are outvoted by the rest, a ring without them is no symbol.
TEST(AztecMatrix, OrientationMarksDecide)
{
    const struct {
        int wrongMarks;
        bool reads;
    } cases[] = {{0, true}, {1, true}, {3, true}, {12, false}};
    for (const char* name : {"v02", "v20"}) {
        const Symbol s = load(name);
        const int c = s.matrix.size() / 2, r = name == std::string("v02") ? 5 : 7;
        // Clockwise from the top-left corner: each corner and its neighbour on the next side, then the one before.
        const std::pair<int, int> marks[] = {{-r, -r}, {-r + 1, -r}, {-r, -r + 1}, {r, -r},     {r - 1, -r}, {r, -r + 1},
                                             {r, r},   {r - 1, r},   {r, r - 1},   {-r, r},     {-r + 1, r}, {-r, r - 1}};
        for (const auto& k : cases) {
            ModuleMatrix m = s.matrix;
            for (int i = 0; i < k.wrongMarks; ++i) {
                const auto [dx, dy] = marks[(i * 5) % 12];
                m.set(c + dx, c + dy, !m.at(c + dx, c + dy));
            }
            const MatrixResult result = decodeMatrix(m);
            EXPECT_EQ(result.ok, k.reads) << name << " " << k.wrongMarks << ": " << result.reason;
            EXPECT_EQ(result.text.bytes, k.reads ? s.text : "") << name;
            if (!k.reads) {
                EXPECT_EQ(result.reason, "mode message unreadable");
            }
        }
    }
}

// A reader-initialisation symbol sets the top bit of the mode message's word count; its data is read as usual.
TEST(AztecMatrix, ReaderInitialisationFlag)
{
    for (const char* name : {"v01", "v05", "v12", "v26"}) {
        const Symbol s = load(name);
        const MatrixResult plain = decodeMatrix(s.matrix);
        ASSERT_TRUE(plain.ok) << name;
        EXPECT_FALSE(plain.format.readerInitialisation);
        const ModuleMatrix flagged = test::withReaderInitialisation(s.matrix, plain.format);
        for (int turns = 0; turns < 4; ++turns) {
            const MatrixResult r = decodeMatrix(flagged.transformed(turns, turns % 2 == 1));
            ASSERT_TRUE(r.ok) << name << ": " << r.reason;
            EXPECT_TRUE(r.format.readerInitialisation) << name;
            EXPECT_EQ(r.format.dataWords, plain.format.dataWords) << name;
            EXPECT_EQ(r.text.bytes, s.text) << name;
        }
    }
}

TEST(AztecMatrix, BinaryShiftAndEci)
{
    const Symbol s = load("eci");
    const MatrixResult r = decodeMatrix(s.matrix);
    ASSERT_TRUE(r.ok) << r.reason;
    EXPECT_EQ(r.text.bytes, s.text);
    EXPECT_EQ(r.text.ecis, std::vector<int>{26});
}

// Modules flipped in the data layers: within the check words' reach they are corrected; flagged as unsure
// (erasures), twice as many are.
TEST(AztecMatrix, DamagedModulesAreCorrectedOrRefusedNeverMisread)
{
    const Symbol s = load("v20");
    const MatrixResult clean = decodeMatrix(s.matrix);
    ASSERT_TRUE(clean.ok);
    const auto positions = dataPositions(clean.format);
    std::mt19937 random(24778);
    const std::size_t checkWords = static_cast<std::size_t>(clean.format.totalWords() - clean.format.dataWords);
    const auto damage = [&](std::size_t words, bool flag) {
        ModuleMatrix m = s.matrix;
        std::vector<bool> unsure(static_cast<std::size_t>(m.size() * m.size()), false);
        // One module in each of `words` different words, far enough apart.
        const std::size_t stride = positions.size() / words;
        for (std::size_t i = 0; i < words; ++i) {
            const auto [x, y] = positions[i * stride + random() % 4];
            m.set(x, y, !m.at(x, y));
            unsure[static_cast<std::size_t>(y * m.size() + x)] = flag;
        }
        return decodeMatrix(m, flag ? unsure : std::vector<bool>{});
    };
    MatrixResult r = damage(checkWords / 2 - 2, false);
    ASSERT_TRUE(r.ok) << r.reason;
    EXPECT_EQ(r.text.bytes, s.text);
    r = damage(checkWords - 4, true);
    ASSERT_TRUE(r.ok) << r.reason;
    EXPECT_EQ(r.text.bytes, s.text);
    r = damage(checkWords, false);
    EXPECT_TRUE(!r.ok || r.text.bytes == s.text);
    EXPECT_EQ(r.reason, "too damaged to correct");
}

TEST(AztecEncodation, EveryModeAndShift)
{
    // Upper "A", P/S ".", B/S 1 byte 0xFF, L/L "b", U/S "C", D/L "7", U/L, M/L "@", P/L "{", U/L, FLG(0), padding.
    const auto bits = [](std::initializer_list<std::pair<unsigned, int>> codes) {
        std::vector<bool> out;
        for (auto [value, width] : codes)
            for (int b = width; b-- > 0;)
                out.push_back((value >> b) & 1u);
        return out;
    };
    const auto text = decodeBitStream(bits({{2, 5}, {0, 5}, {19, 5}, {31, 5}, {1, 5}, {0xFF, 8}, {28, 5}, {3, 5},
                                            {28, 5}, {4, 5}, {30, 5}, {9, 4}, {14, 4}, {29, 5}, {20, 5}, {30, 5},
                                            {29, 5}, {31, 5}, {0, 5}, {0, 5}, {0, 3}, {0x1F, 5}}));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->bytes, std::string("A.\xFF") + "bC7@{\x1D");
    EXPECT_FALSE(decodeBitStream(bits({{0, 5}, {0, 5}, {7, 3}})));  // FLG(7) is reserved
}

}  // namespace
}  // namespace varnok::aztec
