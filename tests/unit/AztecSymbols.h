#pragma once
// The committed symbols (tests/aztec/symbols): zint's module dumps and the texts they hold.

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>

#include "aztec/ReedSolomon.h"
#include "aztec/Symbol.h"

namespace varnok::aztec::test {

inline std::string symbolFile(const std::string& name, const char* extension)
{
    std::ifstream in(std::string(VARNOK_AZTEC_SYMBOLS) + "/" + name + extension, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// zint's dump: one row per line, hex digits of the modules, most significant bit first.
inline ModuleMatrix dumpMatrix(const std::string& dump)
{
    std::vector<std::string> rows;
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);) {
        std::string hex;
        for (char c : line)
            if (std::isxdigit(static_cast<unsigned char>(c)))
                hex += c;
        if (!hex.empty())
            rows.push_back(hex);
    }
    ModuleMatrix m(static_cast<int>(rows.size()));
    for (int y = 0; y < m.size(); ++y)
        for (int x = 0; x < m.size(); ++x) {
            const int nibble = std::stoi(rows[static_cast<std::size_t>(y)].substr(static_cast<std::size_t>(x / 4), 1), nullptr, 16);
            m.set(x, y, (nibble >> (3 - x % 4)) & 1);
        }
    return m;
}

inline ModuleMatrix symbolMatrix(const std::string& name) { return dumpMatrix(symbolFile(name, ".dump")); }

inline std::string symbolText(const std::string& name) { return symbolFile(name, ".text"); }

// The symbol (in reading orientation) with its mode message rewritten to flag reader initialisation: the top bit
// of the word count set, the check words made again.
inline ModuleMatrix withReaderInitialisation(const ModuleMatrix& symbol, const SymbolFormat& format)
{
    const unsigned countBits = format.compact ? 6 : 11;
    const unsigned value = static_cast<unsigned>(format.layers - 1) << countBits |
                           static_cast<unsigned>(format.dataWords - 1) | 1u << (countBits - 1);
    const std::size_t dataWords = format.compact ? 2 : 4, checkWords = format.compact ? 5 : 6;
    std::vector<unsigned> words;
    for (std::size_t i = dataWords; i-- > 0;)
        words.push_back((value >> (4 * i)) & 0xF);
    const auto check = reedSolomonCheckWords(GaloisField::forWordSize(4), words, checkWords);
    words.insert(words.end(), check.begin(), check.end());
    ModuleMatrix m = symbol;
    const auto positions = modeMessagePositions(format.compact, m.size());
    for (std::size_t i = 0; i < positions.size(); ++i)
        m.set(positions[i].first, positions[i].second, (words[i / 4] >> (3 - i % 4)) & 1);
    return m;
}

}  // namespace varnok::aztec::test
