// Our decoder library behind the server: generated payloads of fictional certificates, in both layouts, decoded
// through COM and read back through all 31 properties. The runner puts our library beside the server first.

#include <gtest/gtest.h>

#include <cwchar>
#include <cwctype>

#include <map>

#include "ReaderClient.h"
#include "TestSupport.h"

namespace varnok::test {
namespace {

constexpr HRESULT objectNotSet = static_cast<HRESULT>(0x800A005B);
constexpr wchar_t absent[] = L"<absent>";

using Expected = std::map<std::wstring, std::wstring>;

// What the car and the lorry show in every layout; the entries that differ between layouts come after.
const Expected car{
    {L"NumerDR", L"DR/BAR 0417252"}, {L"RodzajPojazdu", L"SAMOCHÓD OSOBOWY"},
    {L"NazwiskoNazwa", L"JANINA KOWALCZYK-ŻÓŁTEK"}, {L"Adres", L"02-517 WARSZAWA, WAŁBRZYSKA 24/30"},
    {L"Przeznaczenie", L"---"}, {L"RokProdukcji", L"2012"}, {L"DopuszczalnaLadownosc", L"575"},
    {L"DopuszczalnyNacisk", L"8.82"}, {L"NumerKarty", L"AAB1234567"}, {L"NrRejestracyjny", L"WX 4217K"},
    {L"DataIRejestracji", L"2012-05-30"}, {L"Marka", L"ŻUBR"}, {L"Typ", L"ŁOŚ 1.4 TSI KOMBI"},
    {L"Model", L"ŁOŚ KOMBI"}, {L"VIN", L"ZBR5F73T5C9012345"}, {L"MaxMasaCalk", L"1865"},
    {L"DopuszczalnaMasaCalk", L"1865"}, {L"MasaZesp", L"3165"}, {L"MasaWlasna", L"1290"},
    {L"DataWydaniaDR", L"2021-03-15"}, {L"KategoriaPojazdu", L"M1"}, {L"Podrodzaj", L"1010"},
    {L"LiczbaOsi", L"2"}, {L"MaxMasaPrzyczZH", L"1300"}, {L"MaxMasaPrzyczBH", L"620"},
    {L"PojSilnika", L"1398.00"}, {L"MaksymalnaMocNetto", L"71.00"}, {L"RodzajPaliwa", L"P"},
    {L"LiczbaMiejscSiedz", L"5"}, {L"LiczbaMiejscStoj", L"---"},
    {L"OrganWydajacy", L"PREZYDENT M. ST. WARSZAWY\rUL. ŚLIWKOWA 42\r00-950 WARSZAWA\rWYDZIAŁ KOMUNIKACJI"}};

const Expected lorry{
    {L"NumerDR", L"DR/BAU 7730015"}, {L"RodzajPojazdu", L"SAMOCHÓD CIĘŻAROWY"},
    {L"NazwiskoNazwa", L"PRZEWOZY <ŁĄCZNIK> & SYN SP. Z O.O."}, {L"Adres", L"05-800 KOMORÓW 12"},
    {L"Przeznaczenie", L"DO PRZEWOZU ŁADUNKÓW"}, {L"RokProdukcji", L"2019"}, {L"DopuszczalnaLadownosc", L"10520"},
    {L"DopuszczalnyNacisk", L"115.00"}, {L"NumerKarty", L"AAC7654321"}, {L"NrRejestracyjny", L"WPR 90210"},
    {L"DataIRejestracji", L"2019-10-28"}, {L"Marka", L"MAMUT"}, {L"Typ", L"TR-18 4X2"},
    {L"Model", L"CIĘŻKI 18"}, {L"VIN", L"MMT18TR4X2A000777"}, {L"MaxMasaCalk", L"18000"},
    {L"DopuszczalnaMasaCalk", L"18000"}, {L"MasaZesp", L"40000"}, {L"MasaWlasna", L"7480"},
    {L"DataWydaniaDR", L"2019-11-04"}, {L"KategoriaPojazdu", L"N3"}, {L"Podrodzaj", L"3020"},
    {L"LiczbaOsi", L"2"}, {L"MaxMasaPrzyczZH", L"22000"}, {L"MaxMasaPrzyczBH", L"750"},
    {L"PojSilnika", L"10837.00"}, {L"MaksymalnaMocNetto", L"324.00"}, {L"RodzajPaliwa", L"D"},
    {L"LiczbaMiejscSiedz", L"3"}, {L"LiczbaMiejscStoj", L"---"},
    {L"OrganWydajacy", L"STAROSTA PRUSZKOWSKI\rUL. DRZYMAŁY 30\r05-800 PRUSZKÓW\r---"}};

Expected with(Expected base, const Expected& changes)
{
    for (const auto& [name, value] : changes)
        base[name] = value;
    return base;
}

struct Certificate {
    const wchar_t* file;
    Expected expected;
};

// The older layout carries no subtype code, and its two address lines are joined as they stand.
const Certificate certificates[] = {
    {L"car-current.txt", car},
    {L"car-current-lines.txt", car},
    {L"car-older.txt", with(car, {{L"Podrodzaj", absent}})},
    {L"lorry-current.txt", lorry},
    {L"lorry-older.txt", with(lorry, {{L"Podrodzaj", absent}, {L"Adres", L"05-800 KOMORÓW, 12"}})},
};

std::string payload(const wchar_t* file)
{
    const std::vector<char> bytes = readBytes(setting(L"VARNOK_PAYLOADS") + L"\\" + file);
    return std::string(bytes.begin(), bytes.end());
}

class DecoderPayloadTest : public testing::TestWithParam<Binding> {
protected:
    void SetUp() override { reader = createReader(GetParam()); }

    void expectFields(ReaderClient& client, const Expected& expected, const wchar_t* what)
    {
        ASSERT_EQ(expected.size(), propertyNames().size());
        for (const std::wstring& name : propertyNames()) {
            const Answer answer = client.get(name);
            if (expected.at(name) == absent) {
                EXPECT_EQ(answer.hr, objectNotSet) << utf8(what) << " " << utf8(name);
            } else {
                EXPECT_EQ(answer.hr, S_OK) << utf8(what) << " " << utf8(name);
                EXPECT_EQ(answer.text, expected.at(name)) << utf8(what) << " " << utf8(name);
            }
        }
    }

    ComApartment apartment;
    ScratchFolder folder{L"varnok-payload"};
    std::unique_ptr<ReaderClient> reader;
};

TEST_P(DecoderPayloadTest, DecodesEveryCertificateIntoAll31Properties)
{
    for (const Certificate& certificate : certificates) {
        const std::wstring text = wide(payload(certificate.file));
        ASSERT_FALSE(text.empty()) << utf8(certificate.file);
        EXPECT_EQ(reader->readCodetData(text, folder.path()).text, L"OK") << utf8(certificate.file);
        expectFields(*reader, certificate.expected, certificate.file);
    }
}

TEST_P(DecoderPayloadTest, SavedCopyHoldsTheRenamedAnswerInTheAnsiCodePage)
{
    ASSERT_EQ(reader->readCodetData(wide(payload(L"car-current.txt")), folder.path()).text, L"OK");
    const auto names = filesIn(folder.path());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind(L"WX_4217K_", 0), 0u);

    const std::vector<char> bytes = readBytes(folder.file(names[0]));
    const std::string copy(bytes.begin(), bytes.end());
    EXPECT_EQ(copy.rfind("\"<?xml version=\"1.0\"?>\r\n<Dane>\r\n  <Error>0</Error>\r\n", 0), 0u);
    EXPECT_TRUE(copy.ends_with("</Dane>\r\n\"\r\n"));
    for (const std::wstring& part : {std::wstring(L"<numer_DR>DR/BAR 0417252</numer_DR>"),
                                     std::wstring(L"<C.2.1>JANINA KOWALCZYK-ŻÓŁTEK</C.2.1>"),
                                     std::wstring(L"<dopuszczalny_nacisk_na_os>8,82</dopuszczalny_nacisk_na_os>")})
    {
        const std::vector<char> bytes = ansiBytes(part);
        EXPECT_NE(copy.find(std::string(bytes.begin(), bytes.end())), std::string::npos) << utf8(part);
    }
}

TEST_P(DecoderPayloadTest, ScannerLineEndsAndBlanksAroundThePayloadAreTolerated)
{
    const std::wstring text = wide(payload(L"lorry-current.txt"));
    for (const std::wstring& variant : {L"  " + text + L"\r\n", text.substr(0, 60) + L"\r\n" + text.substr(60)}) {
        EXPECT_EQ(reader->readCodetData(variant, folder.path()).text, L"OK");
        EXPECT_EQ(reader->get(L"NrRejestracyjny").text, L"WPR 90210");
    }
}

// A keyboard-wedge scanner typing through Caps Lock, a Polish (214) QWERTZ layout, or with its AIM prefix: the
// decoder undoes it, the saved copy says what it corrected, the properties are the certificate's.
TEST_P(DecoderPayloadTest, MistypedScannerInputIsCorrected)
{
    const std::wstring text = wide(payload(L"car-current.txt"));
    std::wstring capsLock, qwertz;
    for (wchar_t c : text) {
        capsLock += iswupper(c) ? towlower(c) : iswlower(c) ? towupper(c) : c;
        const wchar_t* from = L"yzYZ/+=";
        const wchar_t* to = L"zyZY-*'";
        const wchar_t* at = c ? wcschr(from, c) : nullptr;
        qwertz += at ? to[at - from] : c;
    }
    const struct {
        const char* name;
        std::wstring typed;
        std::wstring note;
    } cases[] = {
        {"Caps Lock", capsLock, L"<Poprawka>wyłączony Caps Lock</Poprawka>"},
        {"QWERTZ", qwertz, L"<Poprawka>układ klawiatury QWERTZ</Poprawka>"},
        {"AIM prefix", L"]z0" + text + L"\r\n", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder output{L"varnok-typed"};
        EXPECT_EQ(reader->readCodetData(c.typed, output.path()).text, L"OK");
        expectFields(*reader, car, L"corrected");
        const auto names = filesIn(output.path());
        ASSERT_EQ(names.size(), 1u);
        const std::vector<char> bytes = readBytes(output.file(names[0]));
        const std::string copy(bytes.begin(), bytes.end());
        const std::vector<char> note = ansiBytes(c.note.empty() ? L"<Poprawka>" : c.note);
        EXPECT_EQ(copy.find(std::string(note.begin(), note.end())) != std::string::npos, !c.note.empty());
    }
}

// What a French AZERTY keyboard types for the Base64 characters: digits as "&é\"'(-è_çà", "/" as "!", A/Q, Z/W
// swapped, "m" and "M" on "," and "?".
std::wstring typedOnAzerty(const std::wstring& sent)
{
    const std::wstring meant = L"qaQAwzWZmM1234567890/", typed = L"aqAQzwZW,?&é\"'(-è_çà!";
    std::wstring text;
    for (wchar_t c : sent) {
        const auto at = meant.find(c);
        text += at == std::wstring::npos ? c : typed[at];
    }
    return text;
}

// A German QWERTZ keyboard: Y/Z swapped, "/" as "-", "=" as the acute accent, and "+" on the dead grave key, which
// turns a following vowel into one accented letter ("+a" arrives as "à") and is "`" otherwise.
std::wstring typedOnGermanQwertz(const std::wstring& sent)
{
    const std::wstring meant = L"yzYZ/=", typed = L"zyZY-\u00B4", vowels = L"aeiouAEIOU", graves = L"àèìòùÀÈÌÒÙ";
    std::wstring text;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const wchar_t c = sent[i];
        if (c == L'+') {
            const auto vowel = i + 1 < sent.size() ? vowels.find(sent[i + 1]) : std::wstring::npos;
            text += vowel == std::wstring::npos ? L'`' : graves[vowel];
            i += vowel != std::wstring::npos;
            continue;
        }
        const auto at = meant.find(c);
        text += at == std::wstring::npos ? c : typed[at];
    }
    return text;
}

// Letters with a grave accent ("à", "è") are not in the Polish ANSI code page (1250): they reach our library only
// through its wide entry, which the server uses when the library has it. The runner sets Polish regional settings.
TEST_P(DecoderPayloadTest, LayoutsWhoseLettersTheAnsiCodePageLacksAreCorrected)
{
    const struct {
        const char* name;
        std::wstring typed;
        Expected expected;
        const wchar_t* note;
    } cases[] = {
        {"AZERTY", typedOnAzerty(wide(payload(L"car-current.txt"))), car, L"układ klawiatury AZERTY"},
        {"AZERTY, older layout", typedOnAzerty(wide(payload(L"car-older.txt"))), with(car, {{L"Podrodzaj", absent}}),
         L"układ klawiatury AZERTY"},
        {"QWERTZ dead keys", typedOnGermanQwertz(wide(payload(L"lorry-current.txt"))), lorry,
         L"układ klawiatury QWERTZ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.typed.find_first_of(L"àèìòùÀÈÌÒÙ"), std::wstring::npos) << "the text must hold letters code page 1250 lacks";
        ScratchFolder output{L"varnok-layout"};
        EXPECT_EQ(reader->readCodetData(c.typed, output.path()).text, L"OK");
        expectFields(*reader, c.expected, L"corrected");
        const auto names = filesIn(output.path());
        ASSERT_EQ(names.size(), 1u);
        const std::vector<char> bytes = readBytes(output.file(names[0]));
        const std::vector<char> note = ansiBytes(L"<Poprawka>" + std::wstring(c.note) + L"</Poprawka>");
        EXPECT_NE(std::string(bytes.begin(), bytes.end()).find(std::string(note.begin(), note.end())), std::string::npos);
    }
}

TEST_P(DecoderPayloadTest, UndecodablePayloadsAreReportedWithTheDecodersReason)
{
    const std::wstring car = wide(payload(L"car-current.txt"));
    const struct {
        std::wstring payload;
        const wchar_t* status;
    } cases[] = {
        {L"to nie jest Base64!", L"Błąd rozkodowania niepoprawne kodowanie Base64"},
        {L"   ", L"Błąd rozkodowania brak danych"},
        {car.substr(0, car.size() / 2 / 4 * 4), L"Błąd rozkodowania dane są niekompletne"},
        {L"AQAAAA==", L"Błąd rozkodowania za mało danych"},
        {L"/////wAA", L"Błąd rozkodowania niedozwolona długość danych"},
    };
    for (const auto& c : cases) {
        ScratchFolder output{L"varnok-payload-failure"};
        EXPECT_EQ(reader->readCodetData(c.payload, output.path()).text, c.status);
        // Four attempts, then one error log.
        const auto names = filesIn(output.path());
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0].rfind(L"Blad_", 0), 0u) << utf8(names[0]);
    }
}

TEST_P(DecoderPayloadTest, OversizedAndStrangePayloadsEndInAStatusAndLeaveTheObjectUsable)
{
    const std::wstring car = wide(payload(L"car-current.txt"));
    const std::wstring tooLong = L"Błąd rozkodowania niedozwolona długość danych";
    const struct {
        const char* what;
        std::wstring payload;
        std::wstring status;
    } cases[] = {
        {"1 MB", std::wstring(1024 * 1024, L'A'), tooLong},
        {"50 MB", std::wstring(50 * 1024 * 1024, L'A'), tooLong},
        {"characters beyond the BMP", L"\U0001F697" + car, L"Błąd rozkodowania niepoprawne kodowanie Base64"},
        {"a NUL after a valid payload", car + std::wstring(1, L'\0') + L"śmieci",
         L"Błąd rozkodowania niedozwolone znaki w tekście"},
        {"only a NUL", std::wstring(1, L'\0'), L"Błąd rozkodowania niedozwolone znaki w tekście"},
        {"XX and 32,766 separators: every field empty", wide(payload(L"empty-fields.txt")),
         L"Błąd rozkodowania brak danych"},
    };
    for (const auto& c : cases) {
        ScratchFolder output{L"varnok-payload-strange"};
        EXPECT_EQ(reader->readCodetData(c.payload, output.path()).text, c.status) << c.what;
        EXPECT_EQ(filesIn(output.path()).size(), 1u) << c.what;
        EXPECT_EQ(reader->readCodetData(car, output.path()).text, L"OK") << c.what;
        EXPECT_EQ(reader->get(L"NrRejestracyjny").text, L"WX 4217K") << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Clients, DecoderPayloadTest, testing::Values(Binding::Vtable, Binding::Dispatch),
                         [](const testing::TestParamInfo<Binding>& info) {
                             return info.param == Binding::Vtable ? "Vtable" : "Dispatch";
                         });

}  // namespace
}  // namespace varnok::test
