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

// RFC 4180 records: fields split at the separator outside quotation marks, records at CR LF outside them.
std::vector<std::vector<std::string>> parseCsv(const std::string& text, char separator)
{
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                records.back().back() += text[++i];
            else if (c == '"')
                quoted = false;
            else
                records.back().back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == separator) {
            records.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            records.emplace_back(1);
        } else {
            records.back().back() += c;
        }
    }
    EXPECT_FALSE(quoted) << "an open quotation at the end";
    EXPECT_EQ(records.back(), std::vector<std::string>(1)) << "the last record ends in CR LF";
    records.pop_back();
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
    EXPECT_EQ(run.err, "") << "no progress when stderr is redirected";
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
    header.insert(header.end(), {"Plik", "Status"});
    EXPECT_EQ(records[0], header);

    const std::map<std::wstring, std::wstring> failures{
        {L"bez kodu.png", L"Na obrazie \"" + scans + L"\\bez kodu.png\" nie znaleziono kodu Aztec"},
        {L"zdjęcie.webp", L"Nie można odczytać pliku \"" + scans +
                              L"\\zdjęcie.webp\": nieobsługiwany format (odczytywane są pliki PNG, JPEG, BMP, GIF, "
                              L"TIFF i PDF)"},
    };
    const auto files = filesIn(scans);
    ASSERT_EQ(records.size(), files.size() + 1) << "one row per file";
    const auto reader = createReader(GetParam());
    int certificates = 0;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const std::vector<std::string>& row = records[r];
        ASSERT_EQ(row.size(), header.size()) << r;
        const std::wstring file = wide(row[31]);
        ASSERT_EQ(file.rfind(scans + L"\\", 0), 0u) << row[31];
        const std::wstring name = file.substr(scans.size() + 1);
        SCOPED_TRACE(utf8(name));
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
    EXPECT_TRUE(first.ends_with(",\"Status\":\"OK\"}")) << first;
    const std::string second = json.out.substr(first.size() + 1);
    EXPECT_EQ(second.rfind("{\"NumerDR\":null,", 0), 0u) << second;
    EXPECT_NE(second.find("nie znaleziono kodu Aztec\"}"), std::string::npos) << second;
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
        {L"/bogus x.png", 2, false},
    };
    for (const auto& c : cases) {
        const ToolRun run = runScan(c.arguments, scratch);
        EXPECT_EQ(run.exitCode, c.exitCode) << utf8(c.arguments);
        EXPECT_NE((c.usageOnStdout ? run.out : run.err).find("Użycie: VarnokScan.exe"), std::string::npos)
            << utf8(c.arguments);
        EXPECT_EQ((c.usageOnStdout ? run.err : run.out), "") << utf8(c.arguments);
    }
}

INSTANTIATE_TEST_SUITE_P(Bindings, FieldsToolTest, testing::Values(Binding::Vtable, Binding::Dispatch),
                         [](const testing::TestParamInfo<Binding>& info) {
                             return info.param == Binding::Vtable ? "Vtable" : "Dispatch";
                         });

}  // namespace
}  // namespace varnok::test
