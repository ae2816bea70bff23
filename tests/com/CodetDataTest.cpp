// ReadCodetData through real COM with the scriptable test decoder beside the server: statuses, attempts, the
// state each outcome leaves, handler messages and the result files' names and bytes.

#include <gtest/gtest.h>

#include <regex>

#include <windows.h>

#include "ReaderClient.h"
#include "TestSupport.h"

namespace varnok::test {
namespace {

const std::wstring emptyPayload = L"Błąd ReadCodetData: wymagany parametr nie zawiera danych";
const std::wstring parseError = L"Błąd ReadCodetData: Błąd parsowania Xml";
const std::wstring invalidDocument = L"Błąd ReadCodetData: niepoprawny dokument Xml";
const std::wstring objectNotSet = L"Błąd 91 (Nie ustawiono zmiennej obiektu lub zmiennej bloku With) w procedurze ReadCodetData L:";

std::wstring decoded(const std::wstring& body)
{
    return L"xml:<?xml version=\"1.0\" encoding=\"UTF-8\"?><Dane>" + body + L"</Dane>";
}

const std::wstring good = decoded(L"<Error>0</Error><Error_name></Error_name><A>WA 123</A>"
                                  L"<Numer_DR>DR/1</Numer_DR><C.2.1>ŻÓŁW &amp; \"SYN\"</C.2.1>");

// Polish regional settings: d.MM.yyyy, then HH_mm_ss unless it is exactly midnight.
const std::wregex dateTimePart(LR"(\d{1,2}\.\d{2}\.\d{4}(_\d{2}_\d{2}_\d{2})?)");

class CodetDataTest : public testing::TestWithParam<Binding> {
protected:
    void SetUp() override
    {
        reader = createReader(GetParam());
        CreateDirectoryW(output.c_str(), nullptr);
    }

    // A payload the test decoder plays back: one answer per call, the last one repeating.
    std::wstring script(std::initializer_list<std::wstring> answers)
    {
        std::wstring payload = L"VARNOK-TEST\x1E" + callLog;
        for (const auto& answer : answers)
            payload += L"\x1E" + answer;
        return payload;
    }

    int calls()
    {
        const std::vector<char> log = readBytes(callLog);
        const int count = static_cast<int>(std::count(log.begin(), log.end(), '\n'));
        DeleteFileW(callLog.c_str());
        return count;
    }

    std::wstring decode(const std::wstring& payload, const std::wstring& folder)
    {
        const Answer answer = reader->readCodetData(payload, folder);
        EXPECT_EQ(answer.hr, S_OK);
        return answer.text;
    }

    // The one file in the output folder, which is then emptied.
    std::wstring takeOnlyFile()
    {
        const auto names = filesIn(output);
        EXPECT_EQ(names.size(), 1u);
        if (names.size() != 1)
            return {};
        lastBytes = readBytes(output + L"\\" + names[0]);
        for (const auto& name : names)
            DeleteFileW((output + L"\\" + name).c_str());
        return names[0];
    }

    void expectNoFiles() { EXPECT_TRUE(filesIn(output).empty()); }

    void loadSample() { ASSERT_EQ(reader->readData(setting(L"VARNOK_SAMPLE")).text, L"OK"); }

    ComApartment apartment;
    ScratchFolder folder{L"varnok-codet"};
    std::wstring output = folder.file(L"wyniki");
    std::wstring callLog = folder.file(L"calls.txt");
    std::vector<char> lastBytes;
    std::unique_ptr<ReaderClient> reader;
};

TEST_P(CodetDataTest, EmptyPayloadCallsNoDecoderAndLeavesStateAlone)
{
    loadSample();
    for (const Argument& payload : {Argument(std::wstring()), Argument()}) {
        const Answer status = reader->readCodetData(payload, output);
        EXPECT_EQ(status.hr, S_OK);
        EXPECT_EQ(status.text, emptyPayload);
        const std::wstring log = takeOnlyFile();
        ASSERT_GT(log.size(), 9u);
        EXPECT_EQ(log.substr(0, 5), L"Blad_");
        EXPECT_EQ(log.substr(log.size() - 4), L".txt");
        EXPECT_TRUE(std::regex_match(log.substr(5, log.size() - 9), dateTimePart)) << utf8(log);
        EXPECT_EQ(lastBytes, ansiBytes(L"\" " + emptyPayload + L"\r\"\r\n"));
        EXPECT_EQ(reader->get(L"NrRejestracyjny").text, L"WA 12345");
    }
    EXPECT_EQ(calls(), 0);
}

TEST_P(CodetDataTest, FailedAttemptsAreRepeatedFourTimesAndLogged)
{
    const struct {
        const char* name;
        std::wstring answer;
        std::wstring status;
        std::wstring logged;  // the document text in the log
    } cases[] = {
        {"not XML", L"xml:to nie XML", parseError, L"to nie XML"},
        {"null BSTR", L"null", parseError, L""},
        {"empty text", L"empty", parseError, L""},
        {"root dane", L"xml:<dane><Error>0</Error></dane>", invalidDocument, L"<dane><Error>0</Error></dane>"},
        {"decoder failure", L"xml:<Dane><Error>1</Error><Error_name>zły kod</Error_name></Dane>",
         L"Błąd rozkodowania zły kod", L"<Dane><Error>1</Error><Error_name>zły kod</Error_name></Dane>"},
        {"error 00", L"xml:<Dane><Error>00</Error><Error_name>E</Error_name></Dane>", L"Błąd rozkodowania E",
         L"<Dane><Error>00</Error><Error_name>E</Error_name></Dane>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring payload = script({c.answer});
        EXPECT_EQ(decode(payload, output + L"\\"), c.status);
        EXPECT_EQ(calls(), 4);
        takeOnlyFile();
        EXPECT_EQ(lastBytes, ansiBytes(L"\"" + payload + L" " + c.status + L"\r" + c.logged + L"\"\r\n"));
    }
}

TEST_P(CodetDataTest, AFailureThenASuccessGivesOkAfterTwoCalls)
{
    EXPECT_EQ(decode(script({L"xml:<niedomknięty>", good}), output), L"OK");
    EXPECT_EQ(calls(), 2);
    const std::wstring name = takeOnlyFile();
    ASSERT_GT(name.size(), 11u);
    EXPECT_EQ(name.substr(0, 7), L"WA_123_");
    EXPECT_EQ(name.substr(name.size() - 4), L".xml");
    EXPECT_TRUE(std::regex_match(name.substr(7, name.size() - 11), dateTimePart)) << utf8(name);
    // The saved copy holds the text given to the parser: renamed, in the ANSI code page, quoted as it stands.
    EXPECT_EQ(lastBytes, ansiBytes(L"\"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Dane><Error>0</Error>"
                                   L"<Error_name></Error_name><A>WA 123</A><numer_DR>DR/1</numer_DR>"
                                   L"<C.2.1>ŻÓŁW &amp; \"SYN\"</C.2.1></Dane>\"\r\n"));
    EXPECT_EQ(reader->get(L"NumerDR").text, L"DR/1");
    EXPECT_EQ(reader->get(L"NazwiskoNazwa").text, L"ŻÓŁW & \"SYN\"");
}

TEST_P(CodetDataTest, EachOutcomeLeavesItsOwnRoot)
{
    loadSample();
    EXPECT_EQ(decode(script({L"xml:<<"}), output), parseError);
    EXPECT_EQ(reader->get(L"NrRejestracyjny").text, L"WA 12345");  // parse failures leave the root alone

    EXPECT_EQ(decode(script({L"xml:<Dane><Error>1</Error><Error_name>x</Error_name><A>KR 9</A></Dane>"}), output),
              L"Błąd rozkodowania x");
    EXPECT_EQ(reader->get(L"NrRejestracyjny").text, L"KR 9");  // the decoder's document is readable

    EXPECT_EQ(decode(script({L"xml:<Inne><A>1</A></Inne>"}), output), invalidDocument);
    EXPECT_EQ(reader->get(L"NrRejestracyjny").hr, static_cast<HRESULT>(0x800A005B));
    EXPECT_EQ(calls(), 12);
}

TEST_P(CodetDataTest, HandlerMessagesNameTheFailingStep)
{
    const struct {
        const char* name;
        std::wstring answer;
        std::wstring folder;
        std::wstring status;
        int calls;
    } cases[] = {
        {"no Error element", decoded(L"<A>1</A>"), output, objectNotSet + L"240", 1},
        {"no Error_name element", decoded(L"<Error>2</Error><A>1</A>"), output, objectNotSet + L"320", 1},
        {"no registration number", decoded(L"<Error>0</Error>"), output, objectNotSet + L"260", 1},
        {"missing folder, success", good, folder.file(L"brak"),
         L"Błąd -2147024893 (" , 1},
        {"missing folder, failure", L"xml:zły", folder.file(L"brak"), L"Błąd -2147024893 (", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring status = decode(script({c.answer}), c.folder);
        if (c.status.back() == L'(') {
            EXPECT_EQ(status.substr(0, c.status.size()), c.status) << utf8(status);
            const std::wstring step = c.calls == 1 ? L"L:280" : L"L:500";
            EXPECT_EQ(status.substr(status.size() - 5), step) << utf8(status);
        } else {
            EXPECT_EQ(status, c.status);
        }
        EXPECT_EQ(calls(), c.calls);
        expectNoFiles();
        EXPECT_TRUE(filesIn(folder.path()).empty());  // nothing written beside the folder either
    }
    // After the handler at step 240 the new root stays readable.
    EXPECT_EQ(decode(script({decoded(L"<A>GD 1</A>")}), output), objectNotSet + L"240");
    EXPECT_EQ(reader->get(L"NrRejestracyjny").text, L"GD 1");
}

TEST_P(CodetDataTest, FileNamesComeFromTheRegistrationNumber)
{
    const struct {
        const char* name;
        std::wstring number;
        std::wstring prefix;
    } cases[] = {
        {"blanks", L"WA 1 2", L"WA_1_2_"},
        {"empty", L"", L"_"},
        {"path characters", L"..\\..\\x/y:z*?\"<>|", L".._.._x_y_z_______"},
        {"renamed content", L"Numer_DR", L"numer_DR_"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring answer = decoded(L"<Error>0</Error><A>" + escapeXml(c.number) + L"</A>");
        for (const std::wstring& where : {output, output + L"\\"}) {
            EXPECT_EQ(decode(script({answer}), where), L"OK");
            const std::wstring name = takeOnlyFile();
            EXPECT_EQ(name.substr(0, c.prefix.size()), c.prefix) << utf8(name);
            EXPECT_TRUE(std::regex_match(name.substr(c.prefix.size(), name.size() - c.prefix.size() - 4), dateTimePart))
                << utf8(name);
        }
        EXPECT_TRUE(filesIn(folder.path()).size() == 1u);  // only the call log lies beside the output folder
        calls();
    }
}

TEST_P(CodetDataTest, AResultWhosePathFitsIsWrittenWhateverTheTemporaryNameAdds)
{
    // The result's own path ends a few characters short of the limit; its temporary name would pass it.
    const std::wstring answer = decoded(L"<Error>0</Error><A>WA 1 2</A>");
    const std::size_t nameLength = std::wstring(L"\\WA_1_2_9.12.2026_06_12_33.xml").size();
    const std::wstring deep = output + L"\\" + std::wstring(MAX_PATH - 8 - nameLength - output.size() - 1, L'g');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    EXPECT_EQ(decode(script({answer}), deep), L"OK");
    const auto names = filesIn(deep);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].substr(0, 7), L"WA_1_2_");
    EXPECT_LT(deep.size() + 1 + names[0].size(), static_cast<std::size_t>(MAX_PATH));
    DeleteFileW((deep + L"\\" + names[0]).c_str());
    RemoveDirectoryW(deep.c_str());
    calls();
}

TEST_P(CodetDataTest, AFolderThatIsAFileFailsAtTheCreateStep)
{
    const std::wstring notAFolder = folder.write(L"plik.txt", "x");
    const std::wstring status = decode(script({good}), notAFolder);
    EXPECT_EQ(status.substr(0, 5), L"Błąd ");
    EXPECT_EQ(status.substr(status.size() - 5), L"L:280") << utf8(status);
    EXPECT_EQ(readBytes(notAFolder), std::vector<char>{'x'});
    EXPECT_EQ(filesIn(folder.path()).size(), 2u);  // the file and the call log: no temporary left behind
    calls();
}

// The library is looked for at the first call, a failure is caught, and the next call tries again. Needs a server
// process that has not loaded a decoder yet, so it waits for the running one to leave.
class DecoderLibrary : public testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 100 && processRunning(L"VarnokSrv.exe"); ++i)
            Sleep(100);
        ASSERT_FALSE(processRunning(L"VarnokSrv.exe")) << "a server process with a decoder loaded is still running";
        DeleteFileW(besideServer.c_str());
    }

    void TearDown() override { CopyFileW(scripted.c_str(), besideServer.c_str(), FALSE); }

    ComApartment apartment;
    ScratchFolder folder{L"varnok-decoder"};
    std::wstring besideServer = setting(L"VARNOK_SERVER_DIR") + L"\\azteccodeQELM.dll";
    std::wstring scripted = setting(L"VARNOK_DECODERS") + L"\\decoder-scripted\\azteccodeQELM.dll";
    std::wstring noExport = setting(L"VARNOK_DECODERS") + L"\\decoder-no-export\\azteccodeQELM.dll";
};

TEST_F(DecoderLibrary, MissingThenWithoutEntryPointThenPresent)
{
    auto reader = createReader(Binding::Vtable);
    const std::wstring payload = L"VARNOK-TEST\x1E" + folder.file(L"calls.txt") + L"\x1E" + good;

    EXPECT_EQ(reader->readCodetData(payload, folder.path()).text,
              L"Błąd 53 (File not found: azteccodeQELM.dll) w procedurze ReadCodetData L:110");

    ASSERT_TRUE(CopyFileW(noExport.c_str(), besideServer.c_str(), FALSE));
    EXPECT_EQ(reader->readCodetData(payload, folder.path()).text,
              L"Błąd 453 (Can't find DLL entry point AZTECDeCode in azteccodeQELM.dll) w procedurze ReadCodetData L:110");

    ASSERT_TRUE(DeleteFileW(besideServer.c_str()));
    ASSERT_TRUE(CopyFileW(scripted.c_str(), besideServer.c_str(), FALSE));
    EXPECT_EQ(reader->readCodetData(payload, folder.path()).text, L"OK");
    EXPECT_EQ(reader->get(L"NrRejestracyjny").text, L"WA 123");
    // No error log was written for the caught failures: only the call log and the saved copy are there.
    EXPECT_EQ(filesIn(folder.path()).size(), 2u);
}

// A file by the library's name that is there but cannot be loaded is no missing file: a loading error, and the
// next call tries again.
TEST_F(DecoderLibrary, PresentButNotLoadableIsALoadingError)
{
    struct Case {
        const char* what;
        std::wstring library;  // empty: a text file by the library's name
    };
    const Case cases[] = {
        {"a library of the other word size", setting(L"VARNOK_DECODERS") + L"\\decoder-other-bits\\azteccodeQELM.dll"},
        {"a library whose dependency is missing",
         setting(L"VARNOK_DECODERS") + L"\\decoder-missing-dependency\\azteccodeQELM.dll"},
        {"not a library", L""},
    };
    auto reader = createReader(Binding::Vtable);
    const std::wstring payload = L"VARNOK-TEST\x1E" + folder.file(L"calls.txt") + L"\x1E" + good;
    for (const Case& c : cases) {
        if (c.library.empty())
            ASSERT_TRUE(CopyFileW(folder.write(L"not-a-library.txt", "<Dane/>").c_str(), besideServer.c_str(), FALSE));
        else
            ASSERT_TRUE(CopyFileW(c.library.c_str(), besideServer.c_str(), FALSE)) << c.what;
        EXPECT_EQ(reader->readCodetData(payload, folder.path()).text,
                  L"Błąd 48 (Error in loading DLL) w procedurze ReadCodetData L:110")
            << c.what;
        // Moved aside rather than deleted: Wine keeps a library whose imports failed mapped.
        ASSERT_TRUE(MoveFileW(besideServer.c_str(), folder.file(wide(c.what)).c_str())) << c.what;
    }
    ASSERT_TRUE(CopyFileW(scripted.c_str(), besideServer.c_str(), FALSE));
    EXPECT_EQ(reader->readCodetData(payload, folder.path()).text, L"OK");
}

// COM's exception handling is off in the server: a crash in the decoder library ends the process (clients get an
// RPC error) instead of leaving it serving with a damaged heap.
TEST_F(DecoderLibrary, CrashEndsTheServer)
{
    // Wine ends the server too, but keeps its class registered with its RPC service: the next activations fail.
    // Windows only: the Wine runs leave this test out (tests/CMakeLists.txt), the Windows test kit runs it.
    if (underWine())
        GTEST_SKIP() << "a crashed server disturbs the activations after it under Wine";
    ASSERT_TRUE(CopyFileW(scripted.c_str(), besideServer.c_str(), FALSE));
    auto reader = createReader(Binding::Vtable);
    const std::wstring payload = L"VARNOK-TEST\x1E" + folder.file(L"calls.txt") + L"\x1E" L"crash";
    const HRESULT hr = reader->readCodetData(payload, folder.path()).hr;
    EXPECT_TRUE(hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) || hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE))
        << std::hex << hr;
    reader.reset();
    for (int i = 0; i < 100 && processRunning(L"VarnokSrv.exe"); ++i)
        Sleep(100);
    EXPECT_FALSE(processRunning(L"VarnokSrv.exe"));
}

// Under Wine the server inherits its first client's current folder and PATH; on Windows they are System32 and the
// system's PATH. A library planted in either must never run in the server.
TEST_F(DecoderLibrary, NeverTakenFromTheCurrentFolderOrPath)
{
    const std::wstring planted = folder.file(L"azteccodeQELM.dll");
    ASSERT_TRUE(CopyFileW(scripted.c_str(), planted.c_str(), FALSE));
    const std::wstring oldPath = setting(L"PATH");
    wchar_t oldFolder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, oldFolder);
    SetEnvironmentVariableW(L"PATH", (folder.path() + L";" + oldPath).c_str());
    SetCurrentDirectoryW(folder.path().c_str());

    auto reader = createReader(Binding::Vtable);
    const std::wstring payload = L"VARNOK-TEST\x1E" + folder.file(L"calls.txt") + L"\x1E" + good;
    EXPECT_EQ(reader->readCodetData(payload, folder.path()).text,
              L"Błąd 53 (File not found: azteccodeQELM.dll) w procedurze ReadCodetData L:110");
    reader.reset();

    SetCurrentDirectoryW(oldFolder);
    SetEnvironmentVariableW(L"PATH", oldPath.c_str());
}

INSTANTIATE_TEST_SUITE_P(Clients, CodetDataTest, testing::Values(Binding::Vtable, Binding::Dispatch),
                         [](const testing::TestParamInfo<Binding>& info) {
                             return info.param == Binding::Vtable ? "Vtable" : "Dispatch";
                         });

}  // namespace
}  // namespace varnok::test
