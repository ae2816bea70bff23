#pragma once
// The user's regional settings, through OLE Automation's number conversion and the locale's text comparison.

#include "fields/FieldReader.h"

namespace varnok {

class UserLocale : public fields::NumberLocale {
public:
    bool isNumeric(std::u16string_view text) const override;
    std::size_t numericPrefixLimit(std::u16string_view text) const override;
    bool isComma(char16_t c) const override;
};

// The user's list separator, the one Excel splits a CSV file's lines at; ";" when it is not one character that
// can separate fields (empty, a quotation mark, a line break).
char16_t listSeparator();

}  // namespace varnok
