#pragma once
// The symbol as modules: its format (compact or full-range, layers, data words), the mode message around the
// bull's-eye, and the data words read from the layers in their order.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ReedSolomon.h"

namespace varnok::aztec {

// A square of modules, true for dark, in reading orientation (the mode message starts at the top-left corner).
class ModuleMatrix {
public:
    explicit ModuleMatrix(int size = 0) : size_(size), modules_(static_cast<std::size_t>(size) * size, 0) {}
    int size() const { return size_; }
    bool at(int x, int y) const { return modules_[static_cast<std::size_t>(y) * size_ + x] != 0; }
    void set(int x, int y, bool dark) { modules_[static_cast<std::size_t>(y) * size_ + x] = dark; }
    // The same symbol turned a quarter clockwise `turns` times, then mirrored left to right when `mirror`.
    ModuleMatrix transformed(int turns, bool mirror) const;

private:
    int size_;
    std::vector<std::uint8_t> modules_;
};

struct SymbolFormat {
    bool compact = true;
    int layers = 0;     // 1-4 compact, 1-32 full-range
    int dataWords = 0;  // the rest of the words are check words
    bool readerInitialisation = false;  // a symbol that programs the reader

    // Modules per side: 11 + 4 layers (compact); 15 + 4 layers plus the reference grid lines (full-range).
    int size() const;
    // Bits per data word: 6, 8, 10 or 12, by layer count.
    int wordBits() const;
    // All words the layers hold; leftover bits at the start of the layers are not used.
    int totalWords() const;
};

// Modules of a full-range symbol's reference grid (every 16th row and column from the centre) are no data.
bool isReferenceGridLine(int offsetFromCentre);

// Where the mode message's bits lie, in reading order: 28 around a compact core, 40 around a full-range one.
std::vector<std::pair<int, int>> modeMessagePositions(bool compact, int size);

struct ModeMessage {
    SymbolFormat format;
    std::size_t corrected = 0;  // words the check words had to mend
};

// The format from the mode message, corrected by its check words; nothing when they cannot correct it or it
// names an impossible format. `unsure` lists bits (by index) whose module was hard to tell.
std::optional<ModeMessage> readModeMessage(const std::vector<bool>& bits, bool compact,
                                           const std::vector<int>& unsure = {});

// One way to read a sampled matrix: turned and mirrored into reading orientation, with the format its mode
// message gives there and how much of the evidence disagreed.
struct Orientation {
    int turns = 0;
    bool mirror = false;
    SymbolFormat format;
    int markErrors = 0;         // of the twelve orientation-mark modules
    std::size_t corrected = 0;  // mode-message words mended

    int doubt() const { return markErrors + static_cast<int>(corrected); }
};

// Every orientation whose marks nearly fit and whose mode message passes its check, the best evidence first.
// `matrix` is centred on the bull's-eye (the core alone or the whole symbol); `unsure` as for the layers.
std::vector<Orientation> readOrientations(const ModuleMatrix& matrix, bool compact,
                                          const std::vector<bool>& unsure = {});

// Where the layers' bits lie, in reading order (outermost layer first), leftover bits included.
std::vector<std::pair<int, int>> dataPositions(const SymbolFormat& format);

struct Codewords {
    std::vector<unsigned> words;
    int wordBits = 0;
    int dataWords = 0;
};

// The words read from the layers' bits (leftover bits at the start skipped).
Codewords wordsFromBits(const SymbolFormat& format, const std::vector<bool>& bits);

// Data words without their stuffed bits: a word whose first bits are all alike carries one bit less. Nothing when
// a word is all zeros or all ones, which no encoder writes.
std::optional<std::vector<bool>> unstuff(const Codewords& codewords);

}  // namespace varnok::aztec
