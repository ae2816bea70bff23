#include "FieldReader.h"

#include <algorithm>
#include <array>

#include "base/Failure.h"

namespace varnok::fields {

std::u16string NormalizeNumber(std::u16string text, const NumberLocale& locale)
{
    text.resize(std::min(text.size(), locale.numericPrefixLimit(text)));
    while (!text.empty() && !locale.isNumeric(text))
        text.pop_back();

    // The numeric test saw the comma; only now does it become the point the client expects.
    const auto comma = std::find_if(text.begin(), text.end(), [&](char16_t c) { return locale.isComma(c); });
    if (comma != text.end())
        *comma = u'.';

    return text.empty() ? std::u16string(u"0") : text;
}

std::u16string joinParts(const std::u16string* parts, std::size_t count, char16_t separator)
{
    if (count == 0)
        return {};
    std::u16string joined = parts[0];
    for (std::size_t i = 1; i < count; ++i) {
        if (parts[i].empty())
            continue;
        joined += separator;
        joined += parts[i];
    }
    return joined;
}

bool fieldTextsWithinLimit(const ElementSource& root)
{
    for (const FieldRow& row : fieldTable()) {
        for (auto element : row.elements) {
            if (element.empty())
                break;
            try {
                if (root.childText(element).size() > maxFieldTextChars)
                    return false;
            } catch (const Failure& failure) {
                if (failure.code() != Failure::objectNotSet().code())
                    throw;
            }
        }
    }
    return true;
}

std::u16string readField(Field field, const ElementSource& root, const NumberLocale& locale)
{
    const FieldRow& row = rowOf(field);
    switch (row.treatment) {
    case Treatment::Text:
        return root.childText(row.elements[0]);
    case Treatment::Number:
        return NormalizeNumber(root.childText(row.elements[0]), locale);
    case Treatment::Joined:
        break;
    }

    // Every element is looked up, empty or not, so an absent one fails the whole read.
    std::array<std::u16string, maxElementsPerField> parts;
    std::size_t count = 0;
    for (auto element : row.elements) {
        if (element.empty())
            break;
        parts[count++] = root.childText(element);
    }
    return joinParts(parts.data(), count, row.separator);
}

}  // namespace varnok::fields
