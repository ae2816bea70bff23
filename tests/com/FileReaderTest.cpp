// FileReader through real COM, out of process: the same expectations through the vtable and by name.

#include <gtest/gtest.h>

#include <map>

#include "ReaderClient.h"
#include "TestSupport.h"

namespace varnok::test {
namespace {

constexpr HRESULT objectNotSet = static_cast<HRESULT>(0x800A005B);
const std::wstring objectNotSetText = L"Nie ustawiono zmiennej obiektu lub zmiennej bloku With";
const std::wstring badPath = L"Scieżka do pliku z danymi jest niepoprawna !";
const std::wstring parseError = L"Błąd ReadData: Błąd parsowania Xml";
const std::wstring invalidDocument = L"Błąd ReadData: niepoprawny dokument Xml";

// examples/certificate.xml as every client must see it under Polish regional settings.
const std::vector<std::pair<std::wstring, std::wstring>> sampleValues = {
    {L"NumerDR", L"DR/BAA/0012345"},
    {L"RodzajPojazdu", L"SAMOCHÓD OSOBOWY"},
    {L"NazwiskoNazwa", L"JANINA KOWALCZYK-ŻÓŁTEK"},
    {L"Adres", L"02-517 WARSZAWA, WAŁBRZYSKA 24/30"},
    {L"Przeznaczenie", L"---"},
    {L"RokProdukcji", L"2019"},
    {L"DopuszczalnaLadownosc", L"455 "},
    {L"DopuszczalnyNacisk", L"10.5 "},
    {L"NumerKarty", L"AAB1234567"},
    {L"NrRejestracyjny", L"WA 12345"},
    {L"DataIRejestracji", L"2019-03-14"},
    {L"Marka", L"ŻUBR"},
    {L"Typ", L"ŁOŚ KOMBI 1.6 ŹRÓDŁO"},
    {L"Model", L"ŚWIT"},
    {L"VIN", L"ZZZ1234567890ABCD"},
    {L"MaxMasaCalk", L"1845"},
    {L"DopuszczalnaMasaCalk", L"1845"},
    {L"MasaZesp", L"3145"},
    {L"MasaWlasna", L"1390"},
    {L"DataWydaniaDR", L"2023-05-22"},
    {L"KategoriaPojazdu", L"M1"},
    {L"Podrodzaj", L"KOMBI"},
    {L"LiczbaOsi", L"2"},
    {L"MaxMasaPrzyczZH", L"1300"},
    {L"MaxMasaPrzyczBH", L"650"},
    {L"PojSilnika", L"1598.00"},
    {L"MaksymalnaMocNetto", L"85.00 "},
    {L"RodzajPaliwa", L"P"},
    {L"LiczbaMiejscSiedz", L"5"},
    {L"LiczbaMiejscStoj", L"---"},
    {L"OrganWydajacy", L"PREZYDENT M. ST. WARSZAWY\rUL. ŚWIĘTOKRZYSKA 12\r00-916 WARSZAWA"},
};

// Every element the properties read, so that single fields can be varied around a complete document.
std::vector<std::pair<std::wstring, std::wstring>> completeChildren()
{
    return {
        {L"numer_DR", L"DR1"}, {L"rodzaj_pojazdu", L"R"}, {L"C.2.1", L"N"}, {L"C.2.3", L"ADR"},
        {L"przeznaczenie", L"P"}, {L"rok_produkcji", L"2000"}, {L"dopuszczalna_ladownosc", L"1"},
        {L"dopuszczalny_nacisk_na_os", L"2"}, {L"numer_karty_pojazdu", L"K"}, {L"A", L"KR 1"}, {L"B", L"B"},
        {L"D1", L"M"}, {L"D2", L"x"}, {L"D3", L"y"}, {L"D4", L"z"}, {L"D5", L"MOD"}, {L"E", L"VIN"},
        {L"F.1", L"3"}, {L"F.2", L"4"}, {L"F.3", L"5"}, {L"G", L"6"}, {L"I", L"I"}, {L"J", L"J"},
        {L"Podrodzaj_pojazdu_kod_ITS", L"S"}, {L"L", L"7"}, {L"O.1", L"8"}, {L"O.2", L"9"}, {L"P.1", L"10"},
        {L"P.2", L"11"}, {L"P.3", L"P3"}, {L"S.1", L"S1"}, {L"S.2", L"S2"}, {L"Organ_wydajacy1", L"o1"},
        {L"Organ_wydajacy2", L"o2"}, {L"Organ_wydajacy3", L"o3"}, {L"Organ_wydajacy4", L"o4"},
    };
}

std::vector<std::pair<std::wstring, std::wstring>> with(std::vector<std::pair<std::wstring, std::wstring>> children,
                                                        const std::map<std::wstring, std::wstring>& changes)
{
    for (auto& [name, text] : children)
        if (auto found = changes.find(name); found != changes.end())
            text = found->second;
    return children;
}

std::vector<std::pair<std::wstring, std::wstring>> without(std::vector<std::pair<std::wstring, std::wstring>> children,
                                                           const std::wstring& name)
{
    std::erase_if(children, [&](const auto& child) { return child.first == name; });
    return children;
}

class FileReaderTest : public testing::TestWithParam<Binding> {
protected:
    void SetUp() override { reader = createReader(GetParam()); }

    std::wstring load(const std::string& document, const std::wstring& name = L"data.xml")
    {
        const Answer answer = reader->readData(folder.write(name, document));
        EXPECT_EQ(answer.hr, S_OK);
        return answer.text;
    }

    void expectValue(const std::wstring& property, const std::wstring& expected)
    {
        const Answer answer = reader->get(property);
        EXPECT_EQ(answer.hr, S_OK) << utf8(property);
        EXPECT_FALSE(answer.isNull) << utf8(property);
        EXPECT_EQ(answer.text, expected) << utf8(property);
    }

    void expectObjectNotSet(const std::wstring& property)
    {
        const Answer answer = reader->get(property);
        EXPECT_EQ(answer.hr, objectNotSet) << utf8(property);
        EXPECT_TRUE(answer.isNull) << utf8(property);
        if (reader->carriesDescriptions()) {
            EXPECT_EQ(answer.dispatchHr, DISP_E_EXCEPTION) << utf8(property);
            EXPECT_EQ(answer.description, objectNotSetText) << utf8(property);
        }
    }

    void expectSample()
    {
        for (const auto& [property, value] : sampleValues)
            expectValue(property, value);
    }

    ComApartment apartment;
    ScratchFolder folder{L"varnok-reader"};
    std::unique_ptr<ReaderClient> reader;
    const std::wstring sample = setting(L"VARNOK_SAMPLE");
};

TEST_P(FileReaderTest, NewObjectFailsEveryPropertyAndClosesQuietly)
{
    ASSERT_EQ(propertyNames().size(), 31u);
    for (const auto& property : propertyNames())
        expectObjectNotSet(property);
    EXPECT_EQ(reader->closeData().hr, S_OK);
    EXPECT_EQ(reader->closeData().hr, S_OK);
    expectObjectNotSet(L"NumerDR");
}

TEST_P(FileReaderTest, ReadsEveryFieldOfTheSampleCertificate)
{
    ASSERT_FALSE(sample.empty()) << "VARNOK_SAMPLE is not set";
    const Answer status = reader->readData(sample);
    ASSERT_EQ(status.hr, S_OK);
    ASSERT_EQ(status.text, L"OK");
    expectSample();
}

TEST_P(FileReaderTest, PropertiesOutliveCloseDataUntilTheNextLoad)
{
    ASSERT_EQ(reader->readData(sample).text, L"OK");
    EXPECT_EQ(reader->closeData().hr, S_OK);
    EXPECT_EQ(reader->closeData().hr, S_OK);
    expectSample();

    EXPECT_EQ(load(dataDocument(completeChildren())), L"OK");
    expectValue(L"NrRejestracyjny", L"KR 1");
}

TEST_P(FileReaderTest, PathStatusesLeaveTheLoadedDataAlone)
{
    ASSERT_EQ(reader->readData(sample).text, L"OK");
    const std::wstring missing = folder.file(L"brak-żółwia.xml");
    CreateDirectoryW(folder.file(L"katalog.xml").c_str(), nullptr);
    const struct {
        Argument path;
        std::wstring status;
    } cases[] = {
        {std::wstring(), badPath},
        {std::nullopt, badPath},
        {L"   ", L"Brak pliku    "},
        {missing, L"Brak pliku " + missing},
        {folder.file(L"katalog.xml"), L"Brak pliku " + folder.file(L"katalog.xml")},
    };
    for (const auto& c : cases) {
        const Answer answer = reader->readData(c.path);
        EXPECT_EQ(answer.hr, S_OK);
        EXPECT_EQ(answer.text, c.status);
        expectValue(L"NrRejestracyjny", L"WA 12345");
    }
}

// A relative path names no file of the server's: the server's current folder is not its client's (on Windows it
// is System32), so even a file beside the client is reported missing, with the path as the client gave it.
TEST_P(FileReaderTest, RelativePathsAreMissingFilesWhereverTheClientWorks)
{
    ASSERT_EQ(reader->readData(sample).text, L"OK");
    const std::wstring full = folder.write(L"względny.xml", dataDocument(completeChildren()));
    ASSERT_EQ(full.substr(1, 2), L":\\");
    wchar_t before[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, before), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(full.substr(0, full.rfind(L'\\')).c_str()));
    for (const std::wstring& path : {std::wstring(L"względny.xml"), std::wstring(L".\\względny.xml"),
                                     full.substr(2), full.substr(0, 2) + L"względny.xml"}) {
        const Answer answer = reader->readData(path);
        EXPECT_EQ(answer.hr, S_OK);
        EXPECT_EQ(answer.text, L"Brak pliku " + path);
        expectValue(L"NrRejestracyjny", L"WA 12345");
    }
    SetCurrentDirectoryW(before);
    EXPECT_EQ(reader->readData(full).text, L"OK");
}

TEST_P(FileReaderTest, FilesThatAreNotDataDocumentsAreReportedAndLeaveNoRoot)
{
    const struct {
        const char* name;
        std::string bytes;
        std::wstring status;
    } cases[] = {
        {"not xml", "to nie jest XML", parseError},
        {"empty file", "", parseError},
        {"unclosed root", "<dane><A>WA 1</A>", parseError},
        {"root Dane", dataDocument(completeChildren(), L"Dane"), invalidDocument},
        {"other root", "<certyfikat><A>1</A></certyfikat>", invalidDocument},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(reader->readData(sample).text, L"OK");
        EXPECT_EQ(load(c.bytes), c.status) << c.name;
        for (const auto& property : propertyNames())
            expectObjectNotSet(property);
    }
}

TEST_P(FileReaderTest, ElementsMatchExactlyAndTheFirstOneCounts)
{
    const std::string document =
        "<dane><Numer_DR>X</Numer_DR><A>PIERWSZY</A><A>DRUGI</A>"
        "<E>ZZ<b>12</b>34<c><d>5</d></c></E><P.3></P.3><G></G><rok_produkcji>2019 r.</rok_produkcji>"
        "<F.1>1500 kg</F.1></dane>";
    EXPECT_EQ(load(document), L"OK");
    expectObjectNotSet(L"NumerDR");
    expectValue(L"NrRejestracyjny", L"PIERWSZY");
    expectValue(L"VIN", L"ZZ12345");
    expectValue(L"RodzajPaliwa", L"");
    expectValue(L"MasaWlasna", L"0");
    expectValue(L"RokProdukcji", L"2019 r.");
    expectValue(L"MaxMasaCalk", L"1500 ");
    expectObjectNotSet(L"MasaZesp");
    // A failed read leaves the object usable.
    expectValue(L"NrRejestracyjny", L"PIERWSZY");
}

TEST_P(FileReaderTest, NumberFieldsAreNormalisedInPolishSettings)
{
    const struct {
        std::wstring text;
        std::wstring value;
    } cases[] = {
        {L"1500", L"1500"}, {L"1500 kg", L"1500 "}, {L"2,5", L"2.5"}, {L"12,5 t", L"12.5 "},
        {L"abc", L"0"},     {L"2.5", L"2"},         {L"1,5,7", L"1.5"}, {L"-3,5e2 kN", L"-3.5e2 "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(load(dataDocument(with(completeChildren(), {{L"G", c.text}, {L"P.2", c.text}}))), L"OK");
        expectValue(L"MasaWlasna", c.value);
        expectValue(L"MaksymalnaMocNetto", c.value);
        expectValue(L"RokProdukcji", L"2000");
    }
}

TEST_P(FileReaderTest, TypJoinsD2D3D4WithBlanks)
{
    const struct {
        std::wstring d2, d3, d4, typ;
    } cases[] = {
        {L"x", L"y", L"z", L"x y z"}, {L"x", L"", L"z", L"x z"}, {L"x", L"y", L"", L"x y"},
        {L"", L"y", L"", L" y"},      {L"", L"", L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(load(dataDocument(with(completeChildren(), {{L"D2", c.d2}, {L"D3", c.d3}, {L"D4", c.d4}}))), L"OK");
        expectValue(L"Typ", c.typ);
    }
    for (const wchar_t* missing : {L"D2", L"D3", L"D4"}) {
        EXPECT_EQ(load(dataDocument(without(completeChildren(), missing))), L"OK");
        expectObjectNotSet(L"Typ");
        expectValue(L"Model", L"MOD");
    }
}

TEST_P(FileReaderTest, OrganWydajacyJoinsFourLinesWithCarriageReturns)
{
    const struct {
        std::wstring l1, l2, l3, l4, joined;
    } cases[] = {
        {L"x", L"y", L"", L"z", L"x\ry\rz"},
        {L"x", L"", L"", L"", L"x"},
        {L"", L"y", L"", L"", L"\ry"},
        {L"", L"", L"", L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(load(dataDocument(with(completeChildren(), {{L"Organ_wydajacy1", c.l1},
                                                                {L"Organ_wydajacy2", c.l2},
                                                                {L"Organ_wydajacy3", c.l3},
                                                                {L"Organ_wydajacy4", c.l4}}))),
                  L"OK");
        expectValue(L"OrganWydajacy", c.joined);
    }
    EXPECT_EQ(load(dataDocument(without(completeChildren(), L"Organ_wydajacy4"))), L"OK");
    expectObjectNotSet(L"OrganWydajacy");
}

TEST_P(FileReaderTest, TwoObjectsInOneServerAreIndependent)
{
    auto other = createReader(GetParam());
    ASSERT_EQ(reader->readData(sample).text, L"OK");
    EXPECT_EQ(other->get(L"NrRejestracyjny").hr, objectNotSet);
    ASSERT_EQ(other->readData(folder.write(L"inny.xml", dataDocument(completeChildren()))).text, L"OK");
    expectValue(L"NrRejestracyjny", L"WA 12345");
    EXPECT_EQ(other->get(L"NrRejestracyjny").text, L"KR 1");
    EXPECT_EQ(other->closeData().hr, S_OK);
    expectValue(L"Marka", L"ŻUBR");
}

TEST_P(FileReaderTest, PolishPathsAndUtf16FilesLoad)
{
    std::wstring utf16(1, L'\xFEFF');
    utf16 += wide(dataDocument(with(completeChildren(), {{L"A", L"GDAŃSK Ż1"}})));
    utf16.replace(utf16.find(L"UTF-8"), 5, L"UTF-16");
    const std::string bytes(reinterpret_cast<const char*>(utf16.data()), utf16.size() * sizeof(wchar_t));
    EXPECT_EQ(load(bytes, L"dane-ąęłńóśźż.xml"), L"OK");
    expectValue(L"NrRejestracyjny", L"GDAŃSK Ż1");
}

TEST_P(FileReaderTest, AFileLockedByAnotherProcessIsReportedAndTheObjectStaysUsable)
{
    const std::wstring path = folder.write(L"zablokowany.xml", dataDocument(completeChildren()));
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    const Answer answer = reader->readData(path);
    CloseHandle(lock);
    EXPECT_EQ(answer.hr, S_OK);
    EXPECT_EQ(answer.text, parseError);
    expectObjectNotSet(L"NrRejestracyjny");

    EXPECT_EQ(reader->readData(path).text, L"OK");
    expectValue(L"NrRejestracyjny", L"KR 1");
}

INSTANTIATE_TEST_SUITE_P(Clients, FileReaderTest, testing::Values(Binding::Vtable, Binding::Dispatch),
                         [](const testing::TestParamInfo<Binding>& info) {
                             return info.param == Binding::Vtable ? "Vtable" : "Dispatch";
                         });

// Through one binding only: the time goes into the DOM, not the call. A file of the 4-MiB limit loads; a
// 50-MB one is refused unread (it once held the server for most of a minute).
TEST(LargeFile, AFileAtTheSizeLimitLoadsAndALargerOneIsRefused)
{
    ComApartment apartment;
    ScratchFolder folder{L"varnok-large"};
    auto reader = createReader(Binding::Vtable);
    const std::string document = dataDocument(completeChildren());
    for (const std::size_t size : {std::size_t{4u << 20}, std::size_t{50u << 20}}) {
        std::string large = document;
        const std::string filler = "<uwagi>" + std::string(size - document.size() - 15, 'x') + "</uwagi>";
        large.insert(large.find("</dane>"), filler);
        ASSERT_EQ(large.size(), size);
        if (size == 4u << 20) {
            EXPECT_EQ(reader->readData(folder.write(L"duzy.xml", large)).text, L"OK");
            EXPECT_EQ(reader->get(L"NrRejestracyjny").text, L"KR 1");
        } else {
            EXPECT_EQ(reader->readData(folder.write(L"duzy.xml", large)).text, L"Błąd ReadData: niepoprawny dokument Xml");
            EXPECT_EQ(reader->get(L"NrRejestracyjny").hr, static_cast<HRESULT>(0x800A005B));
        }
    }
    EXPECT_EQ(reader->closeData().hr, S_OK);
}

}  // namespace
}  // namespace varnok::test
