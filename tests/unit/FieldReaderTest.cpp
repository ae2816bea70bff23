#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "FakeLocale.h"
#include "fields/FieldReader.h"
#include "base/Failure.h"

namespace varnok {
namespace {

using fields::Field;
using test::FakeLocale;

std::string narrow(const std::u16string& s)
{
    std::string out;
    for (char16_t c : s)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

struct NormalizeCase {
    std::u16string input;
    std::u16string polish;
    std::u16string american;
};

class NormalizeNumberTest : public testing::TestWithParam<NormalizeCase> {};

TEST_P(NormalizeNumberTest, CutsBackToTheLongestNumericBeginning)
{
    const NormalizeCase& c = GetParam();
    EXPECT_EQ(fields::NormalizeNumber(c.input, FakeLocale::polish()), c.polish) << narrow(c.input);
    EXPECT_EQ(fields::NormalizeNumber(c.input, FakeLocale::american()), c.american) << narrow(c.input);
}

INSTANTIATE_TEST_SUITE_P(Examples, NormalizeNumberTest, testing::Values(
    NormalizeCase{u"", u"0", u"0"},
    NormalizeCase{u"1500", u"1500", u"1500"},
    NormalizeCase{u"1500 kg", u"1500 ", u"1500 "},
    NormalizeCase{u"2,5", u"2.5", u"2.5"},          // in the US the comma groups digits: numeric, kept, then pointed
    NormalizeCase{u"12,5 t", u"12.5 ", u"12.5 "},
    NormalizeCase{u"abc", u"0", u"0"},
    NormalizeCase{u" 12 ", u" 12 ", u" 12 "},        // blanks the test accepts are not trimmed
    NormalizeCase{u"2.5", u"2", u"2.5"},             // a point is no decimal separator in Poland
    NormalizeCase{u"1,5,7", u"1.5", u"1.5,7"},       // only the first comma becomes a point
    NormalizeCase{u"12\uFF0C5", u"12", u"12"},       // a full-width comma is no separator, but is a comma
    NormalizeCase{u"3\uFF0C", u"3", u"3"},
    NormalizeCase{u"-4,25e2 kN", u"-4.25e2 ", u"-4.25e2 "},
    NormalizeCase{u"kg 12", u"0", u"0"},
    NormalizeCase{u"85,00 kW", u"85.00 ", u"85.00 "}));

// A locale that bounds the numeric prefix: nothing longer than the bound is handed to the (costly) number test.
class BoundedLocale : public FakeLocale {
public:
    BoundedLocale(std::size_t limit) : FakeLocale(FakeLocale::polish()), limit_(limit) {}
    std::size_t numericPrefixLimit(std::u16string_view) const override { return limit_; }
    bool isNumeric(std::u16string_view t) const override
    {
        longest = std::max(longest, t.size());
        return FakeLocale::isNumeric(t);
    }
    mutable std::size_t longest = 0;

private:
    std::size_t limit_;
};

TEST(NormalizeNumber, TestsNothingLongerThanTheLocalesLimit)
{
    const std::u16string text = u"12,5" + std::u16string(100000, u'x');
    BoundedLocale locale(20);
    EXPECT_EQ(fields::NormalizeNumber(text, locale), u"12.5");
    EXPECT_EQ(locale.longest, 20u);
    // A limit shorter than the text's number is the locale's word: the cut starts there.
    BoundedLocale tight(2);
    EXPECT_EQ(fields::NormalizeNumber(u"12345", tight), u"12");
}

TEST(NormalizeNumber, TurnsAFullWidthCommaLeftInTheNumberIntoAPoint)
{
    // A locale whose numbers accept the full-width comma keeps it through the cut and then writes it as ".".
    class WideCommaLocale : public FakeLocale {
    public:
        WideCommaLocale() : FakeLocale(u'\uFF0C', u' ') {}
    };
    EXPECT_EQ(fields::NormalizeNumber(u"7\uFF0C5 m", WideCommaLocale()), u"7.5 ");
}

struct JoinCase {
    std::vector<std::u16string> parts;
    char16_t separator;
    std::u16string joined;
};

class JoinPartsTest : public testing::TestWithParam<JoinCase> {};

TEST_P(JoinPartsTest, SeparatorStandsBeforeEveryNonEmptyLaterPart)
{
    const JoinCase& c = GetParam();
    EXPECT_EQ(fields::joinParts(c.parts.data(), c.parts.size(), c.separator), c.joined);
}

INSTANTIATE_TEST_SUITE_P(TypAndOrganWydajacy, JoinPartsTest, testing::Values(
    JoinCase{{u"x", u"y", u"z"}, u' ', u"x y z"},
    JoinCase{{u"x", u"", u"z"}, u' ', u"x z"},
    JoinCase{{u"x", u"y", u""}, u' ', u"x y"},
    JoinCase{{u"", u"y", u""}, u' ', u" y"},
    JoinCase{{u"", u"", u""}, u' ', u""},
    JoinCase{{u" ", u"", u""}, u' ', u" "},
    JoinCase{{u"x", u"y", u"", u"z"}, u'\r', u"x\ry\rz"},
    JoinCase{{u"x", u"", u"", u""}, u'\r', u"x"},
    JoinCase{{u"", u"y", u"", u""}, u'\r', u"\ry"},
    JoinCase{{u"", u"", u"", u""}, u'\r', u""}));

// The children of a root element as a map; absent names fail like the DOM adapter does.
class MapSource : public fields::ElementSource {
public:
    explicit MapSource(std::map<std::u16string, std::u16string> children) : children_(std::move(children)) {}

    std::u16string childText(std::u16string_view name) const override
    {
        lookups_.emplace_back(name);
        const auto found = children_.find(std::u16string(name));
        if (found == children_.end())
            throw Failure::objectNotSet();
        return found->second;
    }

    mutable std::vector<std::u16string> lookups_;

private:
    std::map<std::u16string, std::u16string> children_;
};

std::optional<std::int32_t> failureOf(Field field, const MapSource& source)
{
    try {
        fields::readField(field, source, FakeLocale::polish());
    } catch (const Failure& failure) {
        return failure.code();
    }
    return std::nullopt;
}

TEST(ReadField, TextFieldsReturnTheElementTextUnchanged)
{
    const MapSource source({{u"A", u" WA 123 "}, {u"rok_produkcji", u"2019 r."}, {u"P.3", u""}});
    EXPECT_EQ(fields::readField(Field::NrRejestracyjny, source, FakeLocale::polish()), u" WA 123 ");
    EXPECT_EQ(fields::readField(Field::RokProdukcji, source, FakeLocale::polish()), u"2019 r.");
    EXPECT_EQ(fields::readField(Field::RodzajPaliwa, source, FakeLocale::polish()), u"");
}

TEST(ReadField, NumberFieldsAreNormalisedAndEmptyGivesZero)
{
    const MapSource source({{u"G", u"1390 kg"}, {u"F.1", u""}, {u"P.2", u"85,00 kW"}});
    EXPECT_EQ(fields::readField(Field::MasaWlasna, source, FakeLocale::polish()), u"1390 ");
    EXPECT_EQ(fields::readField(Field::MaxMasaCalk, source, FakeLocale::polish()), u"0");
    EXPECT_EQ(fields::readField(Field::MaksymalnaMocNetto, source, FakeLocale::polish()), u"85.00 ");
}

TEST(ReadField, AbsentElementFailsWithError91AndNeverYieldsZero)
{
    const MapSource source({});
    EXPECT_EQ(failureOf(Field::MasaWlasna, source), static_cast<std::int32_t>(0x800A005B));
    EXPECT_EQ(failureOf(Field::NumerDR, source), static_cast<std::int32_t>(0x800A005B));
}

TEST(ReadField, JoinedFieldsLookUpEveryElementAndFailWhenAnyIsAbsent)
{
    const MapSource full({{u"D2", u"x"}, {u"D3", u""}, {u"D4", u"z"}});
    EXPECT_EQ(fields::readField(Field::Typ, full, FakeLocale::polish()), u"x z");
    EXPECT_EQ(full.lookups_, (std::vector<std::u16string>{u"D2", u"D3", u"D4"}));

    EXPECT_TRUE(failureOf(Field::Typ, MapSource({{u"D2", u"x"}, {u"D3", u"y"}})));
    EXPECT_TRUE(failureOf(Field::Typ, MapSource({{u"D2", u"x"}, {u"D4", u"z"}})));
    EXPECT_TRUE(failureOf(Field::OrganWydajacy,
                          MapSource({{u"Organ_wydajacy1", u"a"}, {u"Organ_wydajacy2", u"b"}, {u"Organ_wydajacy3", u"c"}})));
    EXPECT_EQ(fields::readField(Field::OrganWydajacy,
                                MapSource({{u"Organ_wydajacy1", u""}, {u"Organ_wydajacy2", u"b"},
                                           {u"Organ_wydajacy3", u""}, {u"Organ_wydajacy4", u"d"}}),
                                FakeLocale::polish()),
              u"\rb\rd");
}

class FailingSource : public fields::ElementSource {
public:
    std::u16string childText(std::u16string_view) const override { throw Failure(static_cast<std::int32_t>(0x8007000E), u""); }
};

TEST(FieldTextsWithinLimit, EveryPresentElementOfTheTableIsMeasured)
{
    const std::u16string atLimit(fields::maxFieldTextChars, u'x');
    const std::u16string overLimit(fields::maxFieldTextChars + 1, u'x');
    const struct {
        const char* what;
        std::map<std::u16string, std::u16string> children;
        bool within;
    } cases[] = {
        {"nothing present", {}, true},
        {"a field at the limit", {{u"A", atLimit}, {u"G", atLimit}}, true},
        {"a text field over it", {{u"A", overLimit}}, false},
        {"a number field over it", {{u"G", overLimit}}, false},
        {"the last part of a joined field over it", {{u"Organ_wydajacy4", overLimit}}, false},
        {"an element no property reads", {{u"Pole70", overLimit}}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fields::fieldTextsWithinLimit(MapSource(c.children)), c.within) << c.what;
    EXPECT_THROW(fields::fieldTextsWithinLimit(FailingSource()), Failure);
}

TEST(Failure, ControlFacilityCodesReportTheirRunTimeNumber)
{
    EXPECT_EQ(Failure::objectNotSet().errorNumber(), 91);
    EXPECT_EQ(Failure(static_cast<std::int32_t>(0x80004005), u"").errorNumber(), -2147467259);
    EXPECT_EQ(Failure(static_cast<std::int32_t>(0x800A0035), u"").errorNumber(), 53);
}

}  // namespace
}  // namespace varnok
