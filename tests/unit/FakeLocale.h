#pragma once
// A stand-in for the user's regional settings, close to what OLE Automation accepts as a number.

#include <cctype>
#include <string_view>

#include "fields/FieldReader.h"

namespace varnok::test {

class FakeLocale : public fields::NumberLocale {
public:
    FakeLocale(char16_t decimal, char16_t grouping) : decimal_(decimal), grouping_(grouping) {}

    static FakeLocale polish() { return {u',', u'\u00A0'}; }
    static FakeLocale american() { return {u'.', u','}; }

    bool isNumeric(std::u16string_view t) const override
    {
        std::size_t i = 0;
        const auto blanks = [&] { while (i < t.size() && t[i] == u' ') ++i; };
        const auto digits = [&] {
            const std::size_t start = i;
            while (i < t.size() && ((t[i] >= u'0' && t[i] <= u'9') || t[i] == grouping_)) ++i;
            return i > start;
        };
        blanks();
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
            ++i;
        bool any = digits();
        if (i < t.size() && t[i] == decimal_) {
            ++i;
            any = digits() || any;
        }
        if (!any)
            return false;
        if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
            ++i;
            if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
                ++i;
            if (!digits())
                return false;
        }
        blanks();
        return i == t.size();
    }

    bool isComma(char16_t c) const override { return c == u',' || c == u'\uFF0C'; }

private:
    char16_t decimal_;
    char16_t grouping_;
};

}  // namespace varnok::test
