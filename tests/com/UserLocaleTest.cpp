// The number test and comma search against the real OLE Automation and NLS functions, in the regional settings
// the runner chooses (VARNOK_EXPECT_LOCALE=pl or us).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "TestSupport.h"
#include "fields/FieldReader.h"
#include "platform/UserLocale.h"

namespace varnok::test {
namespace {

struct Case {
    std::u16string text;
    bool polish;
    bool american;
};

const Case numericCases[] = {
    {u"1500", true, true},
    {u"2,5", true, true},  // in the US, a digit-grouping comma
    {u"2.5", false, true},
    {u" 12 ", true, true},
    {u"-3,5e2", true, true},
    {u"12 kg", false, false},
    {u"", false, false},
    {u"abc", false, false},
};

bool polish() { return setting(L"VARNOK_EXPECT_LOCALE") == L"pl"; }

TEST(UserLocale, NumericTestFollowsTheRegionalSettings)
{
    const UserLocale locale;
    for (const Case& c : numericCases) {
        EXPECT_EQ(locale.isNumeric(c.text), polish() ? c.polish : c.american)
            << utf8(std::wstring(c.text.begin(), c.text.end()));
    }
    // A NUL would end the conversion early and pass the text on its beginning.
    EXPECT_FALSE(locale.isNumeric(std::u16string(u"12\0", 3)));
}

TEST(UserLocale, CommaSearchIgnoresWidth)
{
    const UserLocale locale;
    EXPECT_TRUE(locale.isComma(u','));
    EXPECT_TRUE(locale.isComma(u'\uFF0C'));
    EXPECT_FALSE(locale.isComma(u'.'));
    EXPECT_FALSE(locale.isComma(u';'));
    EXPECT_FALSE(locale.isComma(u'\u060C'));  // the Arabic comma is another character
}

// The cut must give what cutting one character at a time gives, in both regional settings: random texts from
// the characters numbers are made of, and some that are not.
TEST(UserLocale, NormalizeNumberMatchesTheCharacterByCharacterCut)
{
    const UserLocale locale;
    const std::u16string alphabet = u"0123456789 ,.+-()eEdD&HhOo$\u00A0z\u0142x\t";
    const auto slowCut = [&](std::u16string text) {
        while (!text.empty() && !locale.isNumeric(text))
            text.pop_back();
        return text;
    };
    std::uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int i = 0; i < 3000; ++i) {
        std::u16string text;
        const std::size_t length = next() % 40;
        for (std::size_t j = 0; j < length; ++j)
            text += alphabet[(next() >> 8) % alphabet.size()];
        std::u16string expected = slowCut(text);
        const auto comma = std::find_if(expected.begin(), expected.end(), [&](char16_t c) { return locale.isComma(c); });
        if (comma != expected.end())
            *comma = u'.';
        if (expected.empty())
            expected.assign(1, u'0');
        ASSERT_EQ(fields::NormalizeNumber(text, locale), expected) << utf8(std::wstring(text.begin(), text.end()));
    }
}

TEST(UserLocale, NormalizeNumberWorkedExamples)
{
    const UserLocale locale;
    EXPECT_EQ(fields::NormalizeNumber(u"", locale), u"0");
    EXPECT_EQ(fields::NormalizeNumber(u"1500 kg", locale), u"1500 ");
    EXPECT_EQ(fields::NormalizeNumber(u"2,5", locale), u"2.5");
    EXPECT_EQ(fields::NormalizeNumber(u"12,5 t", locale), u"12.5 ");
    EXPECT_EQ(fields::NormalizeNumber(u"abc", locale), u"0");
    EXPECT_EQ(fields::NormalizeNumber(u" 12 ", locale), u" 12 ");
    EXPECT_EQ(fields::NormalizeNumber(u"2.5 t", locale), polish() ? u"2" : u"2.5 ");
}

}  // namespace
}  // namespace varnok::test
