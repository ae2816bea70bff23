// The data bit stream to bytes: hand-built streams for the rules an encoder rarely exercises (what follows a binary
// run reached through a shift, padding that looks like a binary shift, structured append), and every pair and
// triple of code sets encoded at test time by two independent encoders, zint and ZXingWriter.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <unistd.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include "AztecSymbols.h"
#include "aztec/Encodation.h"
#include "aztec/MatrixDecoder.h"

namespace varnok::aztec {
namespace {

using Codes = std::vector<std::pair<unsigned, int>>;  // value, width in bits

std::vector<bool> bitsOf(const Codes& codes)
{
    std::vector<bool> out;
    for (auto [value, width] : codes)
        for (int b = width; b-- > 0;)
            out.push_back((value >> b) & 1u);
    return out;
}

struct Stream {
    const char* what;
    Codes codes;
    std::optional<std::string> bytes;  // nothing: refused
    std::optional<StructuredAppend> sequence = {};
    std::vector<int> ecis = {};
    bool gs1 = false;
};

// Upper: 1 space, 2-27 A-Z, 28 L/L, 29 M/L, 30 D/L, 31 B/S. Lower: the same with U/S at 28. Mixed: 20 '@',
// 22 '^', 29 U/L, 30 P/L. Punct: 0 FLG, 6 '!', 31 U/L. Digit (4 bits): 0 P/S, 2-11 '0'-'9', 14 U/L, 15 U/S.
const Stream streams[] = {
    {"D/L U/S B/S: Upper after the bytes", {{30, 5}, {3, 4}, {4, 4}, {15, 4}, {31, 5}, {2, 5}, {0xE9, 8}, {0x21, 8},
                                            {2, 5}, {3, 5}}, "12\xE9!AB"},
    {"L/L U/S B/S: Upper after the bytes", {{28, 5}, {2, 5}, {28, 5}, {31, 5}, {1, 5}, {0x80, 8}, {4, 5}}, "a\x80" "C"},
    {"U/S and a letter: back to Lower", {{28, 5}, {28, 5}, {2, 5}, {3, 5}}, "Ab"},
    {"D/L U/S and a letter: back to Digit", {{30, 5}, {15, 4}, {2, 5}, {9, 4}}, "A7"},
    {"B/S from Mixed: back to Mixed", {{29, 5}, {20, 5}, {31, 5}, {1, 5}, {0xFF, 8}, {22, 5}}, "@\xFF^"},
    {"B/S from Lower: back to Lower", {{28, 5}, {31, 5}, {1, 5}, {0x41, 8}, {2, 5}}, "Aa"},
    {"P/S FLG(0) from Digit: back to Digit", {{30, 5}, {5, 4}, {0, 4}, {0, 5}, {0, 3}, {6, 4}}, "3\x1D" "4"},
    {"P/S from Digit: back to Digit", {{30, 5}, {0, 4}, {6, 5}, {2, 4}}, "!0"},
    {"P/L then U/L", {{29, 5}, {30, 5}, {6, 5}, {31, 5}, {2, 5}}, "!A"},
    {"ECI 26 then a letter", {{0, 5}, {0, 5}, {2, 3}, {4, 4}, {8, 4}, {2, 5}}, "A", {}, {26}},
    {"binary run of 32 bytes", {{31, 5}, {0, 5}, {1, 11}, {0x78787878, 32}, {0x78787878, 32}, {0x78787878, 32},
                                {0x78787878, 32}, {0x78787878, 32}, {0x78787878, 32}, {0x78787878, 32},
                                {0x78787878, 32}, {2, 5}}, std::string(32, 'x') + "A"},
    // Padding fills the last word with 1 bits: in Upper, Lower and Mixed they read as B/S with a length they cannot
    // fill, in Digit as U/S B/S, in Punct as U/L B/S.
    {"padding after Upper", {{2, 5}, {0x3FF, 10}}, "A"},
    {"padding after Lower", {{28, 5}, {2, 5}, {0x7FF, 11}}, "a"},
    {"padding after Mixed", {{29, 5}, {20, 5}, {0x3F, 6}}, "@"},
    {"padding after Digit", {{30, 5}, {9, 4}, {0x1FF, 9}}, "7"},
    {"padding after Punct", {{29, 5}, {30, 5}, {6, 5}, {0x7FF, 11}}, "!"},
    {"padding after a binary run", {{31, 5}, {1, 5}, {0x7A, 8}, {0x7F, 7}}, "z"},
    {"a binary run cut short", {{31, 5}, {3, 5}, {0x41, 8}, {0x7F, 7}}, std::nullopt},
    {"a long length cut short", {{31, 5}, {0, 5}, {1, 6}}, std::nullopt},
    {"FLG(7) is reserved", {{0, 5}, {0, 5}, {7, 3}}, std::nullopt},
    {"an ECI digit out of range", {{0, 5}, {0, 5}, {1, 3}, {12, 4}}, std::nullopt},
    {"an ECI cut short", {{0, 5}, {0, 5}, {2, 3}, {4, 4}}, std::nullopt},
    // Structured append: M/L U/L first, an optional identifier between spaces, position and count as letters.
    {"structured append with an identifier", {{29, 5}, {29, 5}, {1, 5}, {10, 5}, {5, 5}, {1, 5}, {3, 5}, {4, 5},
                                              {28, 5}, {25, 5}}, "x", StructuredAppend{2, 3, "ID"}},
    {"structured append without one", {{29, 5}, {29, 5}, {2, 5}, {3, 5}, {18, 5}}, "Q", StructuredAppend{1, 2, ""}},
    {"structured append, last of 26", {{29, 5}, {29, 5}, {27, 5}, {27, 5}}, "", StructuredAppend{26, 26, ""}},
    {"position beyond the count: data", {{29, 5}, {29, 5}, {4, 5}, {3, 5}}, "CB"},
    {"identifier never closed: data", {{29, 5}, {29, 5}, {1, 5}, {10, 5}, {3, 5}}, " IB"},
    {"no M/L U/L: data", {{2, 5}, {3, 5}, {4, 5}}, "ABC"},
    // FNC1 before the first character marks GS1 data and is not sent; after an ECI or a sequence header it still
    // comes first.
    {"leading FNC1", {{0, 5}, {0, 5}, {0, 3}, {30, 5}, {3, 4}, {0, 4}, {0, 5}, {0, 3}, {4, 4}}, "1\x1D" "2", {}, {}, true},
    {"ECI, then FNC1", {{0, 5}, {0, 5}, {2, 3}, {4, 4}, {8, 4}, {0, 5}, {0, 5}, {0, 3}, {2, 5}}, "A", {}, {26}, true},
    {"sequence header, then FNC1", {{29, 5}, {29, 5}, {2, 5}, {3, 5}, {0, 5}, {0, 5}, {0, 3}, {18, 5}}, "Q",
     StructuredAppend{1, 2, ""}, {}, true},
    {"GS as a character is data", {{29, 5}, {17, 5}, {29, 5}, {2, 5}}, "\x1D" "A"},
};

TEST(AztecEncodation, HandBuiltStreams)
{
    for (const Stream& s : streams) {
        const auto text = decodeBitStream(bitsOf(s.codes));
        EXPECT_EQ(text.has_value(), s.bytes.has_value()) << s.what;
        if (!text || !s.bytes)
            continue;
        EXPECT_EQ(text->bytes, *s.bytes) << s.what;
        EXPECT_EQ(text->sequence, s.sequence) << s.what;
        EXPECT_EQ(text->ecis, s.ecis) << s.what;
        EXPECT_EQ(text->gs1, s.gs1) << s.what;
    }
}

std::string quoted(const std::string& text)
{
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string latin1ToUtf8(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::optional<std::string> run(const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    return pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

std::optional<ModuleMatrix> zintSymbol(const std::string& bytes, const std::string& options = "")
{
    const auto dump = run("zint -b 92 --binary " + options + " --dump -d " + quoted(bytes) + " 2>/dev/null");
    if (!dump || dump->empty())
        return std::nullopt;
    return test::dumpMatrix(*dump);
}

// ZXingWriter takes UTF-8 and writes ISO 8859-1 bytes, one pixel per module without a margin.
std::optional<ModuleMatrix> zxingSymbol(const std::string& bytes)
{
    const auto file = std::filesystem::temp_directory_path() / ("aztec-encodation-" + std::to_string(getpid()) + ".png");
    if (!run("ZXingWriter -size 1x1 -margin 0 Aztec " + quoted(latin1ToUtf8(bytes)) + " " + file.string()))
        return std::nullopt;
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(file.c_str(), &width, &height, &channels, 1);
    std::filesystem::remove(file);
    if (!pixels || width != height)
        return std::nullopt;
    ModuleMatrix m(width);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            m.set(x, y, pixels[y * width + x] < 128);
    stbi_image_free(pixels);
    return m;
}

// Runs of each set, short enough for a shift and long enough for a latch: every pair and triple.
TEST(AztecEncodation, EverySwitchFromBothEncoders)
{
    const std::pair<char, std::string> runs[] = {{'U', "QZAB"}, {'L', "xyab"}, {'M', "^@|~"},
                                                 {'P', "!;$?"}, {'D', "7395"}, {'B', "\xE9\xB3\xF1\xA7"}};
    std::vector<std::pair<std::string, std::string>> texts = {
        {"pairs", "Ab. Cd, 12.5: x\r\nY"}, {"controls", "\x01\x1B^_|~\x7F" "a"}, {"digits", "12,345.67 PLN"},
        {"GS1-like", "(01)0950\x1D" "10AB"}};
    for (const auto& [a, ra] : runs)
        for (const auto& [b, rb] : runs)
            for (const auto& [c, rc] : runs)
                for (const auto [la, lb, lc] : {std::array{1, 1, 1}, std::array{3, 2, 3}})
                    texts.emplace_back(std::string{a, b, c} + std::to_string(la) + std::to_string(lb) + std::to_string(lc),
                                       ra.substr(0, la) + rb.substr(0, lb) + rc.substr(0, lc));
    int decoded = 0;
    for (const auto& [name, text] : texts) {
        for (const auto& [encoder, matrix] : {std::pair{"zint", zintSymbol(text)}, std::pair{"ZXingWriter", zxingSymbol(text)}}) {
            ASSERT_TRUE(matrix) << encoder << " could not encode " << name;
            const MatrixResult r = decodeMatrix(*matrix);
            ASSERT_TRUE(r.ok) << encoder << " " << name << ": " << r.reason;
            EXPECT_EQ(r.text.bytes, text) << encoder << " " << name;
            EXPECT_FALSE(r.text.sequence) << encoder << " " << name;
            ++decoded;
        }
    }
    EXPECT_EQ(decoded, 2 * 436);
}

// A binary run at the end leaves Upper latched, so the 1 bits padding the last word read as B/S: in 12-bit words
// (23 layers and up) they are enough for a length too. Every padding length, 0 to 11 bits.
TEST(AztecEncodation, PaddingAfterABinaryRunAtTheEnd)
{
    for (std::size_t letters = 200; letters < 212; ++letters) {
        const std::string text = std::string(letters, 'A') + "\xE9";
        const auto matrix = zintSymbol(text, "--vers=27");
        ASSERT_TRUE(matrix) << letters;
        const MatrixResult r = decodeMatrix(*matrix);
        ASSERT_TRUE(r.ok) << letters << ": " << r.reason;
        EXPECT_EQ(r.text.bytes, text) << letters;
    }
}

// GS1 element strings as zint encodes them: FNC1 first, and after each field of variable length.
TEST(AztecEncodation, Gs1FromZint)
{
    const struct {
        const char* input;
        std::string data;
    } cases[] = {
        {"[01]09501101530003[17]140704[10]AB-123", "01095011015300031714070410AB-123"},
        {"[10]A1[21]B2[22]C3[240]PART55", "10A1\x1D" "21B2\x1D" "22C3\x1D" "240PART55"},
        {"[00]095011010000000018", "00095011010000000018"},
    };
    for (const auto& c : cases) {
        const auto dump = run(std::string("zint -b 92 --gs1 --dump -d '") + c.input + "' 2>/dev/null");
        ASSERT_TRUE(dump && !dump->empty()) << c.input;
        const MatrixResult r = decodeMatrix(test::dumpMatrix(*dump));
        ASSERT_TRUE(r.ok) << c.input << ": " << r.reason;
        EXPECT_EQ(r.text.bytes, c.data) << c.input;
        EXPECT_TRUE(r.text.gs1) << c.input;
    }
}

TEST(AztecEncodation, StructuredAppendFromZint)
{
    const struct {
        StructuredAppend sequence;
        std::string data;
    } cases[] = {
        {{1, 2, ""}, "HELLO"},
        {{2, 3, "XYZ"}, "part two: 2"},
        {{3, 3, "A1B2"}, "ab\xE9"},
        {{26, 26, ""}, "kgQAANtYAAJBAJcwMf8AfABEAFIAL90AQiavDiAmNH8qNwAyAL01BnzaFh427RYSUH8+RQBaALtZYg53TgBU"},
    };
    for (const auto& c : cases) {
        const std::string options = "--structapp=" + std::to_string(c.sequence.index) + "," +
                                    std::to_string(c.sequence.count) + (c.sequence.id.empty() ? "" : "," + c.sequence.id);
        const auto matrix = zintSymbol(c.data, options);
        ASSERT_TRUE(matrix) << options;
        const MatrixResult r = decodeMatrix(*matrix);
        ASSERT_TRUE(r.ok) << options << ": " << r.reason;
        EXPECT_EQ(r.text.bytes, c.data) << options;
        EXPECT_EQ(r.text.sequence, c.sequence) << options;
    }
}

}  // namespace
}  // namespace varnok::aztec
