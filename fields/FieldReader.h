#pragma once
// Reading one property's value from the loaded root element, independent of the XML DOM behind it.

#include <string>
#include <string_view>

#include "FieldTable.h"

namespace varnok::fields {

// The children of the loaded root element, as the accessors see them.
class ElementSource {
public:
    virtual ~ElementSource() = default;
    // Text of the first child element named exactly `name`; throws Failure::objectNotSet() when there is none.
    virtual std::u16string childText(std::u16string_view name) const = 0;
};

// The regional settings that decide what counts as a number.
class NumberLocale {
public:
    virtual ~NumberLocale() = default;
    // Whether the whole text converts to one number in the user's locale.
    virtual bool isNumeric(std::u16string_view text) const = 0;
    // A length no numeric prefix of the text exceeds: the cut below tests nothing longer, so that a long text
    // costs one pass instead of one conversion per character. The text's own length is always a valid answer.
    virtual std::size_t numericPrefixLimit(std::u16string_view text) const { return text.size(); }
    // Whether the character is a comma in a comparison that ignores case and character width.
    virtual bool isComma(char16_t c) const = 0;
};

// Cuts characters off the end until the rest is numeric, writes the first comma as ".", gives "0" for nothing left.
std::u16string NormalizeNumber(std::u16string text, const NumberLocale& locale);

// The first part, then every later part that is not empty, each after one separator. Nothing is trimmed, so a
// leading separator appears when the first part is empty and a later one is not.
std::u16string joinParts(const std::u16string* parts, std::size_t count, char16_t separator);

// Far longer than any field of a certificate, and than all the text its code can carry.
inline constexpr std::size_t maxFieldTextChars = 256 * 1024;

// Whether every element the properties read, where present, holds at most maxFieldTextChars characters. A failure
// other than an absent element is thrown.
bool fieldTextsWithinLimit(const ElementSource& root);

// Looks up every element of the field (all must be present) and applies its treatment.
std::u16string readField(Field field, const ElementSource& root, const NumberLocale& locale);

}  // namespace varnok::fields
