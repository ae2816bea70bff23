#include <gtest/gtest.h>

#include <set>
#include <string>

#include "fields/FieldTable.h"

namespace varnok::fields {
namespace {

TEST(FieldTable, ReadsThirtySixDistinctElements)
{
    std::set<std::u16string_view> elements;
    for (const FieldRow& row : fieldTable())
        for (auto element : row.elements)
            if (!element.empty())
                elements.insert(element);
    EXPECT_EQ(elements.size(), 36u);
}

TEST(FieldTable, ElevenNumberFieldsAndTwoJoinedOnes)
{
    std::set<std::u16string_view> numbers;
    std::set<std::u16string_view> joined;
    for (const FieldRow& row : fieldTable()) {
        if (row.treatment == Treatment::Number)
            numbers.insert(row.property);
        if (row.treatment == Treatment::Joined)
            joined.insert(row.property);
    }
    EXPECT_EQ(numbers, (std::set<std::u16string_view>{
                           u"DopuszczalnaLadownosc", u"DopuszczalnyNacisk", u"MaxMasaCalk", u"DopuszczalnaMasaCalk",
                           u"MasaZesp", u"MasaWlasna", u"LiczbaOsi", u"MaxMasaPrzyczZH", u"MaxMasaPrzyczBH",
                           u"PojSilnika", u"MaksymalnaMocNetto"}));
    EXPECT_EQ(joined, (std::set<std::u16string_view>{u"Typ", u"OrganWydajacy"}));
}

TEST(FieldTable, RowsFollowTheEnumeration)
{
    EXPECT_EQ(rowOf(Field::NumerDR).property, u"NumerDR");
    EXPECT_EQ(rowOf(Field::NrRejestracyjny).elements[0], u"A");
    EXPECT_EQ(rowOf(Field::Podrodzaj).elements[0], u"Podrodzaj_pojazdu_kod_ITS");
    EXPECT_EQ(rowOf(Field::OrganWydajacy).property, u"OrganWydajacy");
    EXPECT_EQ(rowOf(Field::OrganWydajacy).separator, u'\r');
    EXPECT_EQ(rowOf(Field::Typ).separator, u' ');
}

}  // namespace
}  // namespace varnok::fields
