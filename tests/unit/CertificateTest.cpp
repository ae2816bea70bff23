#include <gtest/gtest.h>

#include "Certificate.h"
#include "DecodeError.h"
#include "FictionalCertificates.h"

namespace varnok::decoder {
namespace {

using generator::joinFields;

// The value of the first element with that name; "<absent>" when there is none.
std::u16string valueOf(const std::vector<Element>& elements, std::u16string_view name)
{
    for (const Element& element : elements)
        if (element.name == name)
            return element.value;
    return u"<absent>";
}

DecodeError failureOf(std::u16string_view text)
{
    try {
        certificateElements(text);
    } catch (const DecodeFailure& failure) {
        return failure.error;
    }
    return DecodeError::None;
}

TEST(SplitFields, EverySeparatorEndsOneField)
{
    const struct {
        std::u16string_view text;
        std::vector<std::u16string_view> fields;
    } cases[] = {
        {u"", {u""}},
        {u"a", {u"a"}},
        {u"a|b", {u"a", u"b"}},
        {u"a\r\nb\nc\rd", {u"a", u"b", u"c", u"d"}},
        {u"a||b", {u"a", u"", u"b"}},
        {u"a|\r\nb", {u"a", u"", u"b"}},
        {u"a\n\nb|", {u"a", u"", u"b", u""}},
        {u"\r\n", {u"", u""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitFields(c.text), c.fields);
}

TEST(TrimBlanks, RemovesSpacesAndTabsAtBothEndsOnly)
{
    EXPECT_EQ(trimBlanks(u"  a b\t"), u"a b");
    EXPECT_EQ(trimBlanks(u"\t \t"), u"");
    EXPECT_EQ(trimBlanks(u"---"), u"---");
    EXPECT_EQ(trimBlanks(u"\u00A0x"), u"\u00A0x");
}

TEST(BuildAddress, LeavesOutMissingPartsWithTheirSeparators)
{
    const struct {
        std::u16string_view postcode, town, street, house, flat, address;
    } cases[] = {
        {u"02-517", u"WARSZAWA", u"WAŁBRZYSKA", u"24", u"30", u"02-517 WARSZAWA, WAŁBRZYSKA 24/30"},
        {u"02-517", u"WARSZAWA", u"WAŁBRZYSKA", u"24", u"", u"02-517 WARSZAWA, WAŁBRZYSKA 24"},
        {u"05-800", u"KOMORÓW", u"", u"12", u"", u"05-800 KOMORÓW 12"},
        {u"05-800", u"KOMORÓW", u"---", u"12", u"---", u"05-800 KOMORÓW 12"},
        {u"05-800", u"KOMORÓW", u"", u"12", u"3", u"05-800 KOMORÓW 12/3"},
        {u"", u"KOMORÓW", u"LEŚNA", u"", u"", u"KOMORÓW, LEŚNA"},
        {u"05-800", u"", u"", u"", u"", u"05-800"},
        {u"", u"", u"LEŚNA", u"7", u"", u"LEŚNA 7"},
        {u"", u"", u"", u"", u"5", u""},
        {u"---", u"---", u"---", u"---", u"---", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(buildAddress(c.postcode, c.town, c.street, c.house, c.flat), c.address);
}

TEST(RecogniseLayout, ByTheFirstField)
{
    EXPECT_EQ(recogniseLayout(u"XXA0001"), Layout::Current);
    EXPECT_EQ(recogniseLayout(u"XX"), Layout::Current);
    EXPECT_EQ(recogniseLayout(u"DR/BAR 0417252"), Layout::Older);
    EXPECT_EQ(recogniseLayout(u"BAR0417252"), Layout::Older);
    for (std::u16string_view unknown : {u"", u"ŻUBR", u"<Dane>", u"12;34", u"X.X"})
        EXPECT_THROW(recogniseLayout(unknown), DecodeFailure);
}

// Each element the server reads, with the value the fictional car gives it.
const std::pair<std::u16string_view, std::u16string_view> carElements[] = {
    {u"Numer_DR", u"DR/BAR 0417252"},
    {u"A", u"WX 4217K"},
    {u"B", u"2012-05-30"},
    {u"C.2.1", u"JANINA KOWALCZYK-ŻÓŁTEK"},
    {u"C.2.3", u"02-517 WARSZAWA, WAŁBRZYSKA 24/30"},
    {u"D1", u"ŻUBR"},
    {u"D2", u"ŁOŚ"},
    {u"D3", u"1.4 TSI"},
    {u"D4", u"KOMBI"},
    {u"D5", u"ŁOŚ KOMBI"},
    {u"E", u"ZBR5F73T5C9012345"},
    {u"F.1", u"1865"},
    {u"F.2", u"1865"},
    {u"F.3", u"3165"},
    {u"G", u"1290"},
    {u"I", u"2021-03-15"},
    {u"J", u"M1"},
    {u"L", u"2"},
    {u"O.1", u"1300"},
    {u"O.2", u"620"},
    {u"P.1", u"1398,00"},
    {u"P.2", u"71,00"},
    {u"P.3", u"P"},
    {u"S.1", u"5"},
    {u"S.2", u"---"},
    {u"Organ_wydajacy1", u"PREZYDENT M. ST. WARSZAWY"},
    {u"Organ_wydajacy2", u"UL. ŚLIWKOWA 42"},
    {u"Organ_wydajacy3", u"00-950 WARSZAWA"},
    {u"Organ_wydajacy4", u"WYDZIAŁ KOMUNIKACJI"},
    {u"Rodzaj_pojazdu", u"SAMOCHÓD OSOBOWY"},
    {u"Przeznaczenie", u"---"},
    {u"Rok_produkcji", u"2012"},
    {u"Dopuszczalna_ladownosc", u"575"},
    {u"Dopuszczalny_nacisk_na_os", u"8,82"},
    {u"Numer_karty_pojazdu", u"AAB1234567"},
};

TEST(CertificateElements, CurrentLayoutNamesEveryField)
{
    const auto elements = certificateElements(joinFields(generator::currentFields(generator::passengerCar())));
    for (const auto& [name, value] : carElements)
        EXPECT_EQ(valueOf(elements, name), value) << std::string(name.begin(), name.end());
    EXPECT_EQ(valueOf(elements, u"Format"), u"XXA0001");
    EXPECT_EQ(valueOf(elements, u"Kod_terytorialny"), u"1465");
    EXPECT_EQ(valueOf(elements, u"Podrodzaj_pojazdu_kod_ITS"), u"1010");
    EXPECT_EQ(valueOf(elements, u"K"), u"e8*2001/116*0152*11");
    EXPECT_EQ(valueOf(elements, u"Q"), u"---");
    EXPECT_EQ(valueOf(elements, u"C.1.3"), u"02-517 WARSZAWA, WAŁBRZYSKA 24/30");
    EXPECT_EQ(valueOf(elements, u"C.2.3_gmina"), u"MOKOTÓW");
    EXPECT_EQ(valueOf(elements, u"Pole65"), u"");
    EXPECT_EQ(elements.size(), 66u + 2u);
    // The built address comes just before its parts.
    EXPECT_EQ(elements[33].name, u"C.2.3");
    EXPECT_EQ(elements[34].name, u"C.2.3_kod_pocztowy");
}

TEST(CertificateElements, OlderLayoutNamesEveryField)
{
    const auto elements = certificateElements(joinFields(generator::olderFields(generator::passengerCar()), true));
    for (const auto& [name, value] : carElements)
        EXPECT_EQ(valueOf(elements, name), value) << std::string(name.begin(), name.end());
    EXPECT_EQ(valueOf(elements, u"Podrodzaj_pojazdu_kod_ITS"), u"<absent>");
    EXPECT_EQ(valueOf(elements, u"Format"), u"<absent>");
    EXPECT_EQ(valueOf(elements, u"C.2.3_linia2"), u"WAŁBRZYSKA 24/30");
    EXPECT_EQ(elements.size(), 46u + 2u);
}

TEST(CertificateElements, CompanyWithoutStreet)
{
    const auto lorry = generator::companyLorry();
    const auto current = certificateElements(joinFields(generator::currentFields(lorry)));
    EXPECT_EQ(valueOf(current, u"C.2.3"), u"05-800 KOMORÓW 12");
    EXPECT_EQ(valueOf(current, u"C.2.1"), u"PRZEWOZY <ŁĄCZNIK> & SYN SP. Z O.O.");
    EXPECT_EQ(valueOf(current, u"D3"), u"");
    const auto older = certificateElements(joinFields(generator::olderFields(lorry)));
    EXPECT_EQ(valueOf(older, u"C.2.3"), u"05-800 KOMORÓW, 12");
}

TEST(CertificateElements, FieldsBeyondTheKnownOnesKeepTheirPosition)
{
    auto fields = generator::currentFields(generator::passengerCar());
    fields.push_back(u" nowe pole ");
    const auto elements = certificateElements(joinFields(fields));
    EXPECT_EQ(valueOf(elements, u"Pole66"), u"nowe pole");
}

TEST(CertificateElements, RefusesTooFewFieldsAndUnknownLayouts)
{
    auto current = generator::currentFields(generator::passengerCar());
    auto older = generator::olderFields(generator::passengerCar());
    current.resize(63);
    older.resize(45);
    EXPECT_EQ(failureOf(joinFields(current)), DecodeError::TooFewFields);
    EXPECT_EQ(failureOf(joinFields(older)), DecodeError::TooFewFields);
    current.resize(64);
    older.resize(46);
    EXPECT_EQ(failureOf(joinFields(current)), DecodeError::None);
    EXPECT_EQ(failureOf(joinFields(older)), DecodeError::None);
    EXPECT_EQ(failureOf(u"XX"), DecodeError::TooFewFields);
    EXPECT_EQ(failureOf(u""), DecodeError::UnknownLayout);
    EXPECT_EQ(failureOf(u"<Dane/>|a|b"), DecodeError::UnknownLayout);
}

// A certificate holds values: separators and "---" alone are no data, whatever the field count.
TEST(CertificateElements, ACertificateWithoutASingleValueIsNoData)
{
    std::u16string dashes = u"XXA0001";
    for (int i = 0; i < 65; ++i)
        dashes += u"| --- ";
    const struct {
        const char* what;
        std::u16string text;
        DecodeError expected;
    } cases[] = {
        {"XX and 32,766 separators", u"XX" + std::u16string(32766, u'|'), DecodeError::NoData},
        {"an identifier and empty fields", u"XXA0001" + std::u16string(65, u'|'), DecodeError::NoData},
        {"an identifier and fields that do not apply", dashes, DecodeError::NoData},
        {"one value in the last field", u"XX" + std::u16string(65, u'|') + u"WX 1", DecodeError::None},
        {"an older certificate's series and number alone", u"DR/BAR 0417252" + std::u16string(45, u'|'), DecodeError::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(failureOf(c.text), c.expected) << c.what;
}

TEST(CertificateElements, EveryGeneratedCertificateHasData)
{
    for (unsigned seed = 0; seed < 300; ++seed) {
        const generator::Vehicle vehicle = generator::randomVehicle(seed);
        EXPECT_EQ(failureOf(joinFields(generator::currentFields(vehicle))), DecodeError::None) << seed;
        EXPECT_EQ(failureOf(joinFields(generator::olderFields(vehicle))), DecodeError::None) << seed;
    }
}

}  // namespace
}  // namespace varnok::decoder
