// The number test and comma search against the real OLE Automation and NLS functions, in the regional settings
// the runner chooses (VARNOK_EXPECT_LOCALE=pl or us).

#include <gtest/gtest.h>

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
