// VarnokScan.exe /fields over a folder of scans, read back as Excel reads the CSV and compared cell by cell with
// what FileReader's properties give through COM for the same payload; the files that fail are rows too.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "ReaderClient.h"
#include "TestSupport.h"

namespace varnok::test {
namespace {

constexpr HRESULT objectNotSet = static_cast<HRESULT>(0x800A005B);

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

ToolRun runScan(const std::wstring& arguments, const ScratchFolder& scratch)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const std::wstring outPath = scratch.file(L"out.txt"), errPath = scratch.file(L"err.txt");
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::wstring command = L"\"" + setting(L"VARNOK_SCAN_EXE") + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    ToolRun run;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    const std::vector<char> outBytes = readBytes(outPath), errBytes = readBytes(errPath);
    run.out.assign(outBytes.begin(), outBytes.end());
    run.err.assign(errBytes.begin(), errBytes.end());
    return run;
}

struct Cell {
    std::string text;
    bool quoted = false;
};

// RFC 4180 records: fields split at the separator outside quotation marks, records at CR LF (or LF, as
// LibreOffice writes them on Linux) outside them.
std::vector<std::vector<Cell>> parseCells(const std::string& text, char separator, bool lineFeedEnds)
{
    std::vector<std::vector<Cell>> records(1, std::vector<Cell>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        Cell& cell = records.back().back();
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                cell.text += text[++i];
            else if (c == '"')
                quoted = false;
            else
                cell.text += c;
        } else if (c == '"') {
            quoted = cell.quoted = true;
        } else if (c == separator) {
            records.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            records.emplace_back(1);
        } else if (c == '\n' && lineFeedEnds) {
            records.emplace_back(1);
        } else {
            cell.text += c;
        }
    }
    EXPECT_FALSE(quoted) << "an open quotation at the end";
    EXPECT_TRUE(records.back().size() == 1 && records.back()[0].text.empty()) << "the last record ends its line";
    records.pop_back();
    return records;
}

std::vector<std::vector<std::string>> parseCsv(const std::string& text, char separator)
{
    std::vector<std::vector<std::string>> records;
    for (const auto& cells : parseCells(text, separator, false)) {
        records.emplace_back();
        for (const Cell& cell : cells)
            records.back().push_back(cell.text);
    }
    return records;
}

std::string payloadOf(const std::wstring& name)
{
    const std::vector<char> bytes = readBytes(setting(L"VARNOK_FIELDS_IMAGES") + L"\\teksty\\" + name + L".txt");
    return std::string(bytes.begin(), bytes.end());
}

class FieldsToolTest : public testing::TestWithParam<Binding> {
protected:
    ComApartment apartment;
    ScratchFolder scratch{L"varnok-fields"};
    const std::wstring scans = setting(L"VARNOK_FIELDS_IMAGES") + L"\\skany";
};

TEST_P(FieldsToolTest, EveryCellIsWhatThePropertyGivesThroughCom)
{
    const ToolRun run = runScan(L"/fields \"" + scans + L"\"", scratch);
    EXPECT_EQ(run.exitCode, 1u) << "some files are not certificates";
    EXPECT_EQ(run.err, "Pliki: 5 z 9 odczytano, 4 nie odczytano, 0 pominięto (ukryte, systemowe i sam plik wyników)\r\n")
        << "no progress when stderr is redirected, the summary always";
    ASSERT_EQ(run.out.rfind("\xEF\xBB\xBF", 0), 0u) << "UTF-8 with a byte-order mark";
    // The user's list separator, as Excel splits the lines: ";" under Polish settings.
    wchar_t separator[8] = {};
    ASSERT_EQ(GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SLIST, separator, 8), 2);
    if (PRIMARYLANGID(GetUserDefaultLangID()) == LANG_POLISH) {
        EXPECT_EQ(separator[0], L';');
    }
    const auto records = parseCsv(run.out.substr(3), static_cast<char>(separator[0]));
    ASSERT_FALSE(records.empty());

    std::vector<std::string> header;
    for (const std::wstring& name : propertyNames())
        header.push_back(utf8(name));
    header.insert(header.end(), {"Plik", "Status", "Wskazówka"});
    EXPECT_EQ(records[0], header);

    const std::map<std::wstring, std::wstring> failures{
        {L"bez kodu.png", L"Na obrazie \"" + scans + L"\\bez kodu.png\" nie znaleziono kodu Aztec"},
        {L"zdjęcie.webp", L"Nie można odczytać obrazu \"" + scans +
                              L"\\zdjęcie.webp\": system nie ma dekodera formatu WebP (zapisz obraz jako PNG albo JPEG)"},
    };
    const auto files = filesIn(scans);
    ASSERT_EQ(records.size(), files.size() + 1) << "one row per file";
    const auto reader = createReader(GetParam());
    int certificates = 0;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const std::vector<std::string>& row = records[r];
        ASSERT_EQ(row.size(), header.size()) << r;
        // Relative to the folder given.
        const std::wstring name = wide(row[31]);
        ASSERT_EQ(std::count(files.begin(), files.end(), name), 1) << row[31];
        SCOPED_TRACE(utf8(name));
        EXPECT_EQ(row[33].empty(), row[32] == "OK") << "advice for every failure, none for a certificate read";
        if (failures.count(name)) {
            EXPECT_EQ(wide(row[32]), failures.at(name));
            EXPECT_EQ(std::vector<std::string>(row.begin(), row.begin() + 31), std::vector<std::string>(31));
            continue;
        }
        const std::wstring payload = wide(payloadOf(name.substr(0, name.size() - 4)));
        ASSERT_FALSE(payload.empty());
        const Answer status = reader->readCodetData(payload, scratch.path());
        EXPECT_EQ(wide(row[32]), status.text);
        certificates += status.text == L"OK";
        for (std::size_t i = 0; i < propertyNames().size(); ++i) {
            const Answer value = reader->get(propertyNames()[i]);
            if (status.text != L"OK" || value.hr == objectNotSet)
                EXPECT_EQ(row[i], "") << utf8(propertyNames()[i]);
            else
                EXPECT_EQ(wide(row[i]), value.text) << utf8(propertyNames()[i]);
        }
    }
    EXPECT_EQ(certificates, 5) << "both layouts, cars and lorries";
}

TEST(FieldsTool, JsonLinesCarryTheSameRows)
{
    const ScratchFolder scratch{L"varnok-fields"};
    const std::wstring scans = setting(L"VARNOK_FIELDS_IMAGES") + L"\\skany";
    const ToolRun json = runScan(L"/json \"" + scans + L"\\car-older.png\" \"" + scans + L"\\bez kodu.png\"", scratch);
    EXPECT_EQ(json.exitCode, 1u);
    ASSERT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 2);
    const std::string first = json.out.substr(0, json.out.find('\n'));
    // The older layout has no subtype code: the property raises error 91, the member is null.
    EXPECT_EQ(first.rfind("{\"NumerDR\":\"DR/BAR 0417252\",", 0), 0u) << first;
    EXPECT_NE(first.find(",\"Podrodzaj\":null,"), std::string::npos) << first;
    EXPECT_NE(first.find(",\"Marka\":\"ŻUBR\","), std::string::npos) << first;
    EXPECT_TRUE(first.ends_with(",\"Status\":\"OK\",\"Wskazówka\":\"\"}")) << first;
    const std::string second = json.out.substr(first.size() + 1);
    EXPECT_EQ(second.rfind("{\"NumerDR\":null,", 0), 0u) << second;
    EXPECT_NE(second.find("nie znaleziono kodu Aztec\",\"Wskazówka\":\"Nie widać kodu: zeskanuj"), std::string::npos)
        << second;
}

TEST(FieldsTool, UsageAndHelp)
{
    const ScratchFolder scratch{L"varnok-fields"};
    const struct {
        const wchar_t* arguments;
        DWORD exitCode;
        bool usageOnStdout;
    } cases[] = {
        {L"/?", 0, true}, {L"--help", 0, true}, {L"/FIELDS /?", 0, true}, {L"", 2, false}, {L"/fields", 2, false},
        {L"/bogus x.png", 2, false}, {L"x.png /xlsx", 2, false},
    };
    for (const auto& c : cases) {
        const ToolRun run = runScan(c.arguments, scratch);
        EXPECT_EQ(run.exitCode, c.exitCode) << utf8(c.arguments);
        EXPECT_NE((c.usageOnStdout ? run.out : run.err).find("Użycie: VarnokScan.exe"), std::string::npos)
            << utf8(c.arguments);
        EXPECT_EQ((c.usageOnStdout ? run.err : run.out), "") << utf8(c.arguments);
    }
}

// The workbook as LibreOffice Calc reads it: tests/images/workbook.sh has Calc export it with every text cell
// quoted and the other cells as shown, so that a number, a date and a text are told apart as Calc typed them.
TEST(FieldsWorkbook, EveryCellAsCalcReadsItIsWhatThePropertyGives)
{
    ComApartment apartment;
    const ScratchFolder scratch{L"varnok-fields"};
    const std::wstring scans = setting(L"VARNOK_FIELDS_IMAGES") + L"\\skany";
    const std::vector<char> bytes = readBytes(setting(L"VARNOK_WORKBOOK_CSV"));
    ASSERT_FALSE(bytes.empty()) << "Calc's export of the workbook";
    const auto rows = parseCells(std::string(bytes.begin(), bytes.end()), ';', true);
    ASSERT_EQ(rows.size(), filesIn(scans).size() + 1);
    // The columns a clerk looks at first, then the other properties in their order; headings in words.
    std::vector<std::wstring> columns{L"NrRejestracyjny", L"Marka", L"VIN", L"NazwiskoNazwa"};
    for (const std::wstring& name : propertyNames())
        if (std::count(columns.begin(), columns.end(), name) == 0)
            columns.push_back(name);
    const std::vector<std::string> header{"Plik", "Status", "Wskazówka", "Nr rejestracyjny", "Marka", "VIN",
                                          "Właściciel (C.2.1)"};
    ASSERT_EQ(rows[0].size(), 3 + columns.size());
    for (std::size_t c = 0; c < header.size(); ++c)
        EXPECT_EQ(rows[0][c].text, header[c]);

    // What Calc must hold: a number for these properties' numeric texts, a date for these.
    const std::vector<std::wstring> numbers{L"RokProdukcji", L"DopuszczalnaLadownosc", L"DopuszczalnyNacisk", L"MaxMasaCalk",
        L"DopuszczalnaMasaCalk", L"MasaZesp", L"MasaWlasna", L"LiczbaOsi", L"MaxMasaPrzyczZH", L"MaxMasaPrzyczBH",
        L"PojSilnika", L"MaksymalnaMocNetto", L"LiczbaMiejscSiedz", L"LiczbaMiejscStoj"};
    const std::vector<std::wstring> dates{L"DataIRejestracji", L"DataWydaniaDR"};
    const auto reader = createReader(Binding::Dispatch);
    int certificates = 0, numbersSeen = 0, datesSeen = 0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const std::vector<Cell>& row = rows[r];
        ASSERT_EQ(row.size(), rows[0].size()) << r;
        const std::wstring name = wide(row[0].text);
        SCOPED_TRACE(row[0].text);
        EXPECT_TRUE(row[0].quoted && row[1].quoted) << "Plik and Status are texts";
        if (name == L"bez kodu.png" || name == L"zdjęcie.webp") {
            EXPECT_NE(row[2].text, "") << "advice for a failure";
            continue;
        }
        const Answer status = reader->readCodetData(wide(payloadOf(name.substr(0, name.size() - 4))), scratch.path());
        EXPECT_EQ(wide(row[1].text), status.text);
        EXPECT_EQ(row[2].text.empty(), status.text == L"OK");
        if (status.text != L"OK")
            continue;
        ++certificates;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const std::wstring& property = columns[i];
            const Cell& cell = row[3 + i];
            const Answer value = reader->get(property);
            SCOPED_TRACE(utf8(property) + " = " + utf8(value.text));
            if (value.hr == objectNotSet || value.text.empty()) {
                EXPECT_EQ(cell.text, "");
                continue;
            }
            const bool digits = value.text.find_first_not_of(L"0123456789.") == std::wstring::npos &&
                                value.text.find_first_of(L"0123456789") == 0 &&
                                (value.text.size() == 1 || value.text[0] != L'0');
            if (std::count(numbers.begin(), numbers.end(), property) && digits) {
                EXPECT_FALSE(cell.quoted) << "a number";
                EXPECT_EQ(std::stod(cell.text), std::stod(utf8(value.text)));
                ++numbersSeen;
            } else if (std::count(dates.begin(), dates.end(), property)) {
                EXPECT_FALSE(cell.quoted) << "a date";
                EXPECT_EQ(wide(cell.text), value.text) << "shown as yyyy-mm-dd";
                ++datesSeen;
            } else {
                std::wstring text = value.text;  // a cell's line breaks are LF
                for (std::size_t at = 0; (at = text.find(L"\r\n", at)) != std::wstring::npos;)
                    text.erase(at, 1);
                std::replace(text.begin(), text.end(), L'\r', L'\n');
                EXPECT_TRUE(cell.quoted) << "a text";
                EXPECT_EQ(wide(cell.text), text);
            }
        }
    }
    EXPECT_EQ(certificates, 5);
    EXPECT_GT(numbersSeen, 40);
    EXPECT_EQ(datesSeen, 10);
}

INSTANTIATE_TEST_SUITE_P(Bindings, FieldsToolTest, testing::Values(Binding::Vtable, Binding::Dispatch),
                         [](const testing::TestParamInfo<Binding>& info) {
                             return info.param == Binding::Vtable ? "Vtable" : "Dispatch";
                         });

}  // namespace
}  // namespace varnok::test
