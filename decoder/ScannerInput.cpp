#include "ScannerInput.h"

namespace varnok::decoder {

namespace {

// Layout tables: what each layout types where a US keyboard has the Base64 characters. Letters Y/Z (QWERTZ) and
// A/Q, Z/W, M (AZERTY) move; digits, "+", "/" and "=" sit on keys that carry other characters or dead keys.
constexpr std::array<KeyboardLayout, 7> layouts{{
    // German: "-" on the "/" key, dead grave on Shift+"=" (so "+" then a vowel arrives as one letter), dead acute
    // on "=".
    {"de", u"układ klawiatury QWERTZ", u"zyZY-`\u00B4", u"yzYZ/+=", u"àèìòùÀÈÌÒÙ", u"aeiouAEIOU", u'+'},
    // Polish (214): "+" and "'" on the "-" and "=" keys, "*" on Shift+"=".
    {"pl214", u"układ klawiatury QWERTZ", u"zyZY-*'", u"yzYZ/+=", u"", u"", u'+'},
    // Czech: accented letters on the digit keys (digits need Shift), dead acute and caron on "=" and Shift+"=".
    {"cz", u"układ klawiatury QWERTZ", u"zyZY-\u00B4\u02C7+ěščřžýáíéĚŠČŘŽÝÁÍÉ", u"yzYZ/=+1234567890234567890",
     u"ďňťĎŇŤ", u"dntDNT", u'+'},
    // Slovak: as Czech, with ľ and ť where Czech has ě and ř.
    {"sk", u"układ klawiatury QWERTZ", u"zyZY-\u00B4\u02C7+ľščťžýáíéĽŠČŤŽÝÁÍÉ", u"yzYZ/=+1234567890234567890",
     u"ďňěřĎŇĚŘ", u"dnerDNER", u'+'},
    // Hungarian: ö on the "0" key, ó and Ó on "=" and Shift+"=".
    {"hu", u"układ klawiatury QWERTZ", u"zyZY-öÖóÓ", u"yzYZ/00=+", u"", u"", u'+'},
    // French: digits need Shift, "!" on the "/" key, "m" on the ";" key.
    {"fr", u"układ klawiatury AZERTY", u"aqAQzwZW,?&é\"'(-è_çàÉÈÇÀ!", u"qaQAwzWZmM12345678902790/", u"", u"", u'+'},
    // Belgian: as French, but "§" and "!" for 6 and 8, "-" and "_" on the "=" key, "=" on the "/" key.
    {"be", u"układ klawiatury AZERTY", u"aqAQzwZW,?&é\"'(§è!çàÉÈÇÀ-_=", u"qaQAwzWZmM12345678902790=+/", u"", u"",
     u'+'},
}};

// Letters whose case Caps Lock may invert, besides A-Z: the accented ones the layouts above type.
constexpr std::u16string_view lowerAccented = u"àèìòùéáíýóöçěščřžľťďň";
constexpr std::u16string_view upperAccented = u"ÀÈÌÒÙÉÁÍÝÓÖÇĚŠČŘŽĽŤĎŇ";

char16_t invertCase(char16_t c)
{
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - u'a' + u'A');
    if (c >= u'A' && c <= u'Z')
        return static_cast<char16_t>(c - u'A' + u'a');
    if (const auto i = lowerAccented.find(c); i != std::u16string_view::npos)
        return upperAccented[i];
    if (const auto i = upperAccented.find(c); i != std::u16string_view::npos)
        return lowerAccented[i];
    return c;
}

bool isBase64Character(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'+' ||
           c == u'/' || c == u'=' || c == u'\r' || c == u'\n';
}

template <typename Char>
bool isAddedAround(Char c)
{
    const auto u = static_cast<unsigned>(static_cast<std::make_unsigned_t<Char>>(c));
    return u == ' ' || u == '\t' || u == '\r' || u == '\n' || u == 0x02 || u == 0x03 || u == 0xA0;
}

template <typename Char>
bool isAimIdentifier(std::basic_string_view<Char> text)
{
    if (text.size() < 3 || text[0] != Char(']'))
        return false;
    const auto letter = static_cast<unsigned>(text[1]), modifier = static_cast<unsigned>(text[2]);
    const bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    const bool isModifier = (modifier >= '0' && modifier <= '9') || (letter == 'z' && modifier >= 'A' && modifier <= 'C');
    return isLetter && isModifier;
}

template <typename Char>
std::basic_string_view<Char> strip(std::basic_string_view<Char> text)
{
    for (;;) {
        const std::size_t before = text.size();
        while (!text.empty() && isAddedAround(text.front()))
            text.remove_prefix(1);
        while (!text.empty() && isAddedAround(text.back()))
            text.remove_suffix(1);
        if (isAimIdentifier(text))
            text.remove_prefix(3);
        if (text.size() == before)
            return text;
    }
}

}  // namespace

std::string_view stripScannerAdditions(std::string_view payload) { return strip(payload); }
std::u16string_view stripScannerAdditions(std::u16string_view payload) { return strip(payload); }

const std::array<KeyboardLayout, 7>& keyboardLayouts() { return layouts; }

std::optional<std::string> undoTyping(std::u16string_view typed, const KeyboardLayout* layout, bool capsLock)
{
    std::string meant;
    meant.reserve(typed.size() + 16);
    const auto append = [&](char16_t c) {
        if (!isBase64Character(c))
            return false;
        meant += static_cast<char>(c);
        return true;
    };
    for (char16_t c : typed) {
        if (capsLock)
            c = invertCase(c);
        if (layout) {
            if (const auto i = layout->typed.find(c); i != std::u16string_view::npos) {
                c = layout->meant[i];
            } else if (const auto j = layout->composed.find(c); j != std::u16string_view::npos) {
                if (!append(layout->deadKeyMeant))
                    return std::nullopt;
                c = layout->bases[j];
            }
        }
        if (!append(c))
            return std::nullopt;
    }
    return meant;
}

}  // namespace varnok::decoder
