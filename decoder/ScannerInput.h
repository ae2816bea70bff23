#pragma once
// What a keyboard-wedge scanner does to the payload on its way in: what it adds around it, and how the PC's
// keyboard layout and Caps Lock retype it. Undoing is safe only because the decode checks itself (length header,
// a stream that must end exactly there, UTF-16 text, a known layout): a correction counts only when all of it
// succeeds.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace varnok::decoder {

// An AIM symbology identifier ("]z0" ... "]zC", "]" + letter + digit), STX, ETX, blanks, tabs, CR, LF and
// no-break spaces removed from both ends, in any mix.
std::string_view stripScannerAdditions(std::string_view payload);
std::u16string_view stripScannerAdditions(std::u16string_view payload);

// How one keyboard layout types the characters of Base64 that a US-layout scanner sends: each typed character
// and the one it was meant to be, and the letters that a dead key before them turned into one accented letter.
struct KeyboardLayout {
    std::string_view id;
    std::u16string_view note;  // what the answer tells the client
    std::u16string_view typed;
    std::u16string_view meant;
    std::u16string_view composed;  // a dead key, then the letter in `bases` at the same place
    std::u16string_view bases;
    char16_t deadKeyMeant;
};

const std::array<KeyboardLayout, 7>& keyboardLayouts();

inline constexpr std::u16string_view capsLockNote = u"wyłączony Caps Lock";

// The text as it was meant, undoing Caps Lock (letter case inverted) and then the layout; nullopt as soon as a
// character is left that Base64 does not use.
std::optional<std::string> undoTyping(std::u16string_view typed, const KeyboardLayout* layout, bool capsLock);

}  // namespace varnok::decoder
