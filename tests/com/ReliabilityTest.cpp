// What a careless caller, a hostile data file or a failing disk can do to the server: every case must end in a
// clear status, leave the object usable and write nothing outside the caller's folder.

#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <oleauto.h>
#include <tlhelp32.h>

#include <atomic>
#include <regex>
#include <set>
#include <thread>

#include "ReaderClient.h"
#include "TestSupport.h"
#include "loading/CodetText.h"

namespace varnok::test {
namespace {

const std::wstring parseError = L"Błąd ReadData: Błąd parsowania Xml";
const std::wstring invalidDocument = L"Błąd ReadData: niepoprawny dokument Xml";
constexpr HRESULT objectNotSet = static_cast<HRESULT>(0x800A005B);

std::wstring scripted(const std::wstring& log, const std::wstring& answer)
{
    return L"VARNOK-TEST\x1E" + log + L"\x1E" + answer;
}

const std::wstring goodAnswer = L"xml:<Dane><Error>0</Error><Error_name></Error_name><A>WA 123</A></Dane>";

bool startsWith(const std::wstring& text, const std::wstring& prefix) { return text.rfind(prefix, 0) == 0; }
bool endsWith(const std::wstring& text, const std::wstring& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A TCP listener on 127.0.0.1 that only counts whether anybody connected.
class Listener {
public:
    Listener()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(socket_, 4);
        int size = sizeof address;
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
    }
    ~Listener()
    {
        closesocket(socket_);
        WSACleanup();
    }

    int port() const { return port_; }

    bool connected() const
    {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(socket_, &ready);
        timeval wait{0, 200000};
        return select(0, &ready, nullptr, nullptr, &wait) > 0;
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
    int port_ = 0;
};

class Reliability : public testing::Test {
protected:
    void expectUsable()
    {
        EXPECT_EQ(reader->readData(setting(L"VARNOK_SAMPLE")).text, L"OK");
        EXPECT_EQ(reader->get(L"NrRejestracyjny").text, L"WA 12345");
    }

    ComApartment apartment;
    ScratchFolder folder{L"varnok-reliability"};
    std::unique_ptr<ReaderClient> reader = createReader(Binding::Vtable);
};

TEST_F(Reliability, ExternalEntitiesAndDtdsAreNeverFetched)
{
    const std::wstring secret = folder.write(L"tajne.txt", "TAJNE");
    Listener listener;
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.port()) + "/";
    const std::string fileUrl = "file:///" + utf8(secret);
    folder.write(L"encje.dtd", "<!ENTITY z \"Z-DTD\">");
    const struct {
        const char* what;
        std::string document;
    } cases[] = {
        {"entity from a file", "<!DOCTYPE dane [<!ENTITY x SYSTEM \"" + fileUrl + "\">]><dane><A>&x;</A></dane>"},
        {"entity from the network", "<!DOCTYPE dane [<!ENTITY x SYSTEM \"" + url + "x\">]><dane><A>&x;</A></dane>"},
        {"DTD from a file", "<!DOCTYPE dane SYSTEM \"" + utf8(folder.file(L"encje.dtd")) + "\"><dane><A>&z;</A></dane>"},
        {"DTD from the network", "<!DOCTYPE dane SYSTEM \"" + url + "d.dtd\"><dane><A>x</A></dane>"},
        {"parameter entity", "<!DOCTYPE dane [<!ENTITY % p SYSTEM \"" + url + "p\"> %p;]><dane><A>x</A></dane>"},
    };
    for (const auto& c : cases) {
        const std::wstring path = folder.write(L"dane.xml", "<?xml version=\"1.0\"?>" + c.document);
        const std::wstring status = reader->readData(path).text;
        EXPECT_TRUE(status == L"OK" || status == parseError) << c.what << ": " << utf8(status);
        const Answer a = reader->get(L"NrRejestracyjny");
        EXPECT_EQ(a.text.find(L"TAJNE"), std::wstring::npos) << c.what;
        EXPECT_EQ(a.text.find(L"Z-DTD"), std::wstring::npos) << c.what;
        EXPECT_FALSE(listener.connected()) << c.what << ": the server connected to " << url;
    }
    expectUsable();
}

TEST_F(Reliability, EntityExpansionAndDeepNestingEndInAStatus)
{
    std::string entities = "<!ENTITY a \"aaaaaaaaaa\">";
    for (char name = 'b'; name <= 'j'; ++name) {
        entities += std::string("<!ENTITY ") + name + " \"";
        for (int i = 0; i < 10; ++i)
            entities += std::string("&") + static_cast<char>(name - 1) + ";";
        entities += "\">";
    }
    const std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE dane [" + entities + "]><dane><A>&j;</A></dane>";
    std::string deep = "<dane><A>x</A>";
    for (int i = 0; i < 100000; ++i)
        deep += "<b>";
    for (int i = 0; i < 100000; ++i)
        deep += "</b>";
    deep += "</dane>";

    for (const std::string& document : {bomb, deep}) {
        const std::wstring status = reader->readData(folder.write(L"dane.xml", document)).text;
        EXPECT_TRUE(status == L"OK" || status == parseError) << utf8(status);
        EXPECT_LT(reader->get(L"NrRejestracyjny").text.size(), 1000u);
    }
    expectUsable();
}

TEST_F(Reliability, DataFileChangingDuringTheCallGivesAClearStatus)
{
    const std::wstring path = folder.file(L"zmienny.xml");
    const std::string valid = dataDocument({{L"A", L"WZ 1"}});
    std::atomic<bool> done{false};
    // Writes may fail while the server has the file open; the writer just goes on.
    const auto write = [&](const std::string& bytes) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return;
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    };
    std::thread writer([&] {
        for (int i = 0; !done; ++i) {
            switch (i % 3) {
            case 0: write(valid); break;
            case 1: DeleteFileW(path.c_str()); break;
            default: write(valid.substr(0, valid.size() / 2)); break;
            }
        }
    });
    int ok = 0;
    for (int i = 0; i < 300; ++i) {
        const std::wstring status = reader->readData(path).text;
        ok += status == L"OK";
        EXPECT_TRUE(status == L"OK" || status == parseError || status == L"Brak pliku " + path) << utf8(status);
    }
    done = true;
    writer.join();
    RecordProperty("loaded", ok);
    expectUsable();
}

TEST_F(Reliability, ResultFolderThatDisappearsBetweenCalls)
{
    const std::wstring output = folder.file(L"wyniki");
    const std::wstring payload = scripted(folder.file(L"calls.txt"), goodAnswer);
    ASSERT_TRUE(CreateDirectoryW(output.c_str(), nullptr));
    EXPECT_EQ(reader->readCodetData(payload, output).text, L"OK");
    for (const auto& name : filesIn(output))
        DeleteFileW((output + L"\\" + name).c_str());
    ASSERT_TRUE(RemoveDirectoryW(output.c_str()));

    const std::wstring status = reader->readCodetData(payload, output).text;
    EXPECT_TRUE(startsWith(status, L"Błąd ") && endsWith(status, L" w procedurze ReadCodetData L:280")) << utf8(status);
    EXPECT_EQ(GetFileAttributesW(output.c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_TRUE(CreateDirectoryW(output.c_str(), nullptr));
    EXPECT_EQ(reader->readCodetData(payload, output).text, L"OK");
    EXPECT_EQ(filesIn(output).size(), 1u);
}

TEST_F(Reliability, LocalPathLongerThanMaxPath)
{
    std::wstring longPath = folder.path();
    while (longPath.size() <= MAX_PATH + 20)
        longPath += L"\\bardzo-dluga-nazwa-folderu";
    const std::wstring payload = scripted(folder.file(L"calls.txt"), goodAnswer);
    const std::wstring status = reader->readCodetData(payload, longPath).text;
    // The folder does not exist: creating the saved copy fails with the system's reason.
    EXPECT_TRUE(startsWith(status, L"Błąd ") && endsWith(status, L" w procedurze ReadCodetData L:280")) << utf8(status);
    EXPECT_EQ(filesIn(folder.path()).size(), 1u);  // the decoder's call log only
    expectUsable();
}

// Run by full-disk.sh with VARNOK_FULL_DISK naming a small file system of its own.
TEST_F(Reliability, SavedCopyThatDoesNotFitLeavesNoFile)
{
    const std::wstring disk = setting(L"VARNOK_FULL_DISK");
    if (disk.empty())
        GTEST_SKIP() << "no small file system given";
    const std::wstring big = L"xml:<Dane><Error>0</Error><Error_name></Error_name><A>WA 9</A><X>" +
                             std::wstring(200 * 1024, L'x') + L"</X></Dane>";
    const std::wstring status = reader->readCodetData(scripted(folder.file(L"calls.txt"), big), disk).text;
    EXPECT_TRUE(startsWith(status, L"Błąd ") && (endsWith(status, L"L:290") || endsWith(status, L"L:300")))
        << utf8(status);
    EXPECT_TRUE(filesIn(disk).empty()) << "a partial or temporary file was left behind";

    // The space is free again: a small copy fits.
    EXPECT_EQ(reader->readCodetData(scripted(folder.file(L"calls.txt"), goodAnswer), disk).text, L"OK");
    EXPECT_EQ(filesIn(disk).size(), 1u);
    for (const auto& name : filesIn(disk))
        DeleteFileW((disk + L"\\" + name).c_str());
}

// The path is a file name, never a URL: "%41" is not "A", "#" starts no fragment.
TEST_F(Reliability, DataFilePathIsTakenLiterally)
{
    folder.write(L"pctA.xml", dataDocument({{L"A", L"WA A"}}));
    for (const wchar_t* name : {L"pct%41.xml", L"x#y.xml", L"spacja %20.xml"}) {
        SCOPED_TRACE(utf8(name));
        const std::wstring path = folder.write(name, dataDocument({{L"A", name}}));
        EXPECT_EQ(reader->readData(path).text, L"OK");
        EXPECT_EQ(reader->get(L"NrRejestracyjny").text, name);
    }
    // A file that exists but cannot be opened reads as unreadable.
    const std::wstring locked = folder.write(L"zablokowany.xml", dataDocument({{L"A", L"WL 1"}}));
    HANDLE exclusive = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(reader->readData(locked).text, parseError);
    CloseHandle(exclusive);
    expectUsable();
}

// One second, three failed payloads: three logs, none replaced; the same for saved copies of one vehicle.
TEST_F(Reliability, ResultFilesOfOneSecondAreAllKept)
{
    const std::wstring output = folder.file(L"wyniki");
    ASSERT_TRUE(CreateDirectoryW(output.c_str(), nullptr));
    const std::wstring log = folder.file(L"calls.txt");
    const std::wstring answers[] = {L"xml:zły 1", L"xml:zły 2", L"xml:zły 3"};
    for (const auto& answer : answers)
        EXPECT_EQ(reader->readCodetData(scripted(log, answer), output).text, L"Błąd ReadCodetData: Błąd parsowania Xml");
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(reader->readCodetData(scripted(log, goodAnswer), output).text, L"OK");

    const std::wregex logName(LR"(Blad_[0-9._]+?(_[23])?\.txt)"), copyName(LR"(WA_123_[0-9._]+?(_2)?\.xml)");
    int logs = 0, copies = 0;
    std::set<std::string> logTexts;
    for (const auto& name : filesIn(output)) {
        logs += std::regex_match(name, logName);
        copies += std::regex_match(name, copyName);
        if (std::regex_match(name, logName)) {
            const std::vector<char> bytes = readBytes(output + L"\\" + name);
            logTexts.insert(std::string(bytes.begin(), bytes.end()));
        }
    }
    EXPECT_EQ(logs, 3);
    EXPECT_EQ(copies, 2);
    EXPECT_EQ(logTexts.size(), 3u);  // each log holds its own payload
    EXPECT_EQ(filesIn(output).size(), 5u);
}

// An empty or relative folder would put personal data wherever the server runs: it fails like a missing folder.
TEST_F(Reliability, ResultFolderMustBeAbsolute)
{
    const std::wstring log = folder.file(L"calls.txt");
    const std::wstring missing = folder.file(L"brak");
    const std::wstring failed = L"xml:zły";
    const std::wstring okStatus = reader->readCodetData(scripted(log, goodAnswer), missing).text;
    const std::wstring failStatus = reader->readCodetData(scripted(log, failed), missing).text;
    EXPECT_TRUE(startsWith(okStatus, L"Błąd -2147024893 (") && endsWith(okStatus, L"L:280")) << utf8(okStatus);
    EXPECT_TRUE(startsWith(failStatus, L"Błąd -2147024893 (") && endsWith(failStatus, L"L:500")) << utf8(failStatus);
    for (const wchar_t* where : {L"", L"\\", L"wyniki", L".\\wyniki", L"\\wyniki", L"C:wyniki"}) {
        SCOPED_TRACE(utf8(where));
        EXPECT_EQ(reader->readCodetData(scripted(log, goodAnswer), where).text, okStatus);
        EXPECT_EQ(reader->readCodetData(scripted(log, failed), where).text, failStatus);
    }
    EXPECT_EQ(filesIn(folder.path()).size(), 1u);  // the decoder's call log only
    expectUsable();
}

// Linear in the text's length: a 160,000-character element once took seconds per property.
TEST_F(Reliability, LongNumberTextsAreCutQuickly)
{
    const std::wstring digitsThenText = std::wstring(80000, L'7') + std::wstring(80000, L'x');
    const std::wstring textOnly(160000, L'x');
    const std::wstring path = folder.write(L"dlugie.xml", dataDocument({{L"dopuszczalna_ladownosc", digitsThenText},
                                                                        {L"G", textOnly},
                                                                        {L"L", L"12 " + textOnly}}));
    ASSERT_EQ(reader->readData(path).text, L"OK");
    EXPECT_EQ(reader->get(L"DopuszczalnaLadownosc").text, std::wstring(80000, L'7'));
    EXPECT_EQ(reader->get(L"MasaWlasna").text, L"0");
    EXPECT_EQ(reader->get(L"LiczbaOsi").text, L"12 ");
}

// Hostile data files end at once with one of ReadData's own statuses, and nothing of them can be read.
TEST_F(Reliability, HostileDataFilesAreRefused)
{
    // One 50,000-character entity used 2,000 times: 57 KB that once read back as 100 million characters.
    std::string expansion = "<?xml version=\"1.0\"?><!DOCTYPE dane [<!ENTITY e \"" + std::string(50000, 'e') + "\">]><dane><A>";
    for (int i = 0; i < 2000; ++i)
        expansion += "&e;";
    expansion += "</A></dane>";
    std::string overLimit = dataDocument({{L"A", std::wstring(256 * 1024 + 1, L'x')}});
    // A DOM that takes ProhibitDTD refuses these while parsing; one that does not (Wine's) parsed them first.
    const struct {
        const char* what;
        std::string document;
        std::wstring status;
    } cases[] = {
        {"entity used 2,000 times", expansion, parseError},
        {"a DOCTYPE alone", "<!DOCTYPE dane><dane><A>WD 1</A></dane>", parseError},
        {"a DOCTYPE with an entity never used", "<!DOCTYPE dane [<!ENTITY e \"x\">]><dane><A>WD 1</A></dane>", parseError},
        {"a field of 262,145 characters", overLimit, invalidDocument},
    };
    for (const auto& c : cases) {
        const std::wstring path = folder.write(L"wrogi.xml", c.document);
        EXPECT_EQ(reader->readData(path).text, c.status) << c.what;
        EXPECT_EQ(reader->get(L"NrRejestracyjny").hr, objectNotSet) << c.what;
    }
    const std::wstring atLimit(256 * 1024, L'x');
    ASSERT_EQ(reader->readData(folder.write(L"na-granicy.xml", dataDocument({{L"A", atLimit}}))).text, L"OK");
    EXPECT_EQ(reader->get(L"NrRejestracyjny").text, atLimit);
    expectUsable();
}

// The same for a decoder library's answer: a DOCTYPE in it is a parse failure on every system.
TEST_F(Reliability, DecoderAnswerWithADoctypeIsAParseFailure)
{
    const std::wstring output = folder.file(L"wyniki");
    ASSERT_TRUE(CreateDirectoryW(output.c_str(), nullptr));
    const std::wstring answer = L"xml:<!DOCTYPE Dane [<!ENTITY e \"" + std::wstring(50000, L'e') +
                                L"\">]><Dane><Error>0</Error><Error_name></Error_name><A>&e;&e;&e;</A></Dane>";
    EXPECT_EQ(reader->readCodetData(scripted(folder.file(L"calls.txt"), answer), output).text,
              L"Błąd ReadCodetData: Błąd parsowania Xml");
    expectUsable();
}

// A data file over 4 MiB is refused from its size, unread: a 200-MB one once took minutes and 1.2 GB.
TEST_F(Reliability, DataFileOverTheSizeLimitIsRefusedUnread)
{
    const std::string head = "<dane><A>WD 2</A>", tail = "</dane>";
    const std::size_t limit = 4 * 1024 * 1024;
    const struct {
        const char* what;
        std::size_t size;
        std::wstring status;
    } cases[] = {
        {"4 MiB", limit, L"OK"},
        {"4 MiB + 1", limit + 1, invalidDocument},
        {"200 MB", 200 * 1024 * 1024, invalidDocument},
    };
    for (const auto& c : cases) {
        const std::wstring path = folder.write(L"duzy.xml", head + tail);
        // The document padded with blanks to the size; a size beyond what is worth writing is made sparse.
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        if (c.size <= limit + 1) {
            const std::string bytes = head + std::string(c.size - head.size() - tail.size(), ' ') + tail;
            DWORD written = 0;
            EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        } else {
            LARGE_INTEGER size;
            size.QuadPart = static_cast<LONGLONG>(c.size);
            EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file)) << c.what;
        }
        CloseHandle(file);
        EXPECT_EQ(reader->readData(path).text, c.status) << c.what;
        const Answer a = reader->get(L"NrRejestracyjny");
        if (c.status == L"OK")
            EXPECT_EQ(a.text, L"WD 2") << c.what;
        else
            EXPECT_EQ(a.hr, objectNotSet) << c.what;
    }
    expectUsable();
}

std::vector<DWORD> serverProcesses()
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, L"VarnokSrv.exe") == 0)
            ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

// The date-time part the server puts into names `offset` seconds from now, in this user's locale as the server's.
std::u16string dateTimeText(int offset)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    now.wMilliseconds = 0;
    DATE date = 0;
    SystemTimeToVariantTime(&now, &date);
    BSTR text = nullptr;
    VarBstrFromDate(date + offset / 86400.0, LOCALE_USER_DEFAULT, 0, &text);
    std::u16string result(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
    SysFreeString(text);
    return result;
}

std::wstring wideOf(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

// Links planted at every name a result file may get in the next seconds, and at the temporary names the server
// once used (name + process id): none may make the server write, move or delete anything but its own file.
TEST_F(Reliability, PlantedLinksNeverLeadTheServerOutOfTheFolder)
{
    const std::wstring elsewhere = folder.file(L"gdzie-indziej");
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
    const std::string victimBytes = "NIE RUSZAĆ";
    enum class Link { Symbolic, Hard };
    // Windows 10 in developer mode lets a user without the privilege make symbolic links.
    constexpr DWORD allowUnprivileged = 0x2;
    const struct {
        const char* what;
        Link link;
        std::wstring answer, status;
    } cases[] = {
        {"symbolic links, saved copy", Link::Symbolic, goodAnswer, L"OK"},
        {"symbolic links, error log", Link::Symbolic, L"xml:zły", L"Błąd ReadCodetData: Błąd parsowania Xml"},
        {"hard links, saved copy", Link::Hard, goodAnswer, L"OK"},
        {"hard links, error log", Link::Hard, L"xml:zły", L"Błąd ReadCodetData: Błąd parsowania Xml"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring output = folder.file(L"wyniki" + std::to_wstring(++n));
        ASSERT_TRUE(CreateDirectoryW(output.c_str(), nullptr));
        const std::wstring victim = folder.write(L"gdzie-indziej\\ofiara" + std::to_wstring(n) + L".txt", victimBytes);
        const std::wstring log = folder.file(L"calls.txt");
        // The server's first call creates it: its process id is then known.
        reader->readData(L"");
        std::set<std::wstring> planted;
        for (int second = -1; second <= 5; ++second) {
            const std::u16string when = dateTimeText(second);
            const std::u16string out16(output.begin(), output.end());
            for (const std::u16string& name : {savedCopyPath(out16, u"WA 123", when), errorLogPath(out16, when)}) {
                std::vector<std::wstring> names{wideOf(name)};
                for (DWORD id : serverProcesses())
                    names.push_back(wideOf(name) + L"." + std::to_wstring(id) + L".tmp");
                for (const std::wstring& at : names) {
                    const BOOL made = c.link == Link::Hard
                                          ? CreateHardLinkW(at.c_str(), victim.c_str(), nullptr)
                                          : CreateSymbolicLinkW(at.c_str(), victim.c_str(),
                                                                allowUnprivileged);
                    ASSERT_TRUE(made) << utf8(at) << ": cannot plant the link (" << GetLastError() << ")";
                    planted.insert(at.substr(output.size() + 1));
                }
            }
        }
        EXPECT_EQ(reader->readCodetData(scripted(log, c.answer), output).text, c.status);

        EXPECT_EQ(readBytes(victim), std::vector<char>(victimBytes.begin(), victimBytes.end()));
        EXPECT_EQ(filesIn(elsewhere).size(), static_cast<std::size_t>(n));
        // The result is a file of its own, named as a collision or (where the system replaced a link by the
        // rename, as Wine does) as planned; no temporary file is left.
        int own = 0;
        for (const auto& name : filesIn(output)) {
            const std::vector<char> bytes = readBytes(output + L"\\" + name);
            if (bytes == std::vector<char>(victimBytes.begin(), victimBytes.end())) {
                EXPECT_TRUE(planted.contains(name)) << utf8(name);
            } else {
                ++own;
                EXPECT_FALSE(endsWith(name, L".tmp")) << utf8(name);
            }
        }
        EXPECT_EQ(own, 1);
    }
    expectUsable();
}

// The payload and the decoder's answer are logged up to 128 Ki characters each: a hostile payload of millions
// of characters does not fill the disk.
TEST_F(Reliability, ErrorLogIsCapped)
{
    const std::wstring output = folder.file(L"wyniki");
    ASSERT_TRUE(CreateDirectoryW(output.c_str(), nullptr));
    const std::wstring payload = scripted(folder.file(L"calls.txt"), L"xml:" + std::wstring(3000000, L'x'));
    EXPECT_EQ(reader->readCodetData(payload, output).text, L"Błąd ReadCodetData: Błąd parsowania Xml");
    const auto names = filesIn(output);
    ASSERT_EQ(names.size(), 1u);
    const std::vector<char> bytes = readBytes(output + L"\\" + names[0]);
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t status = ansiBytes(L"Błąd ReadCodetData: Błąd parsowania Xml").size();
    // Quotation mark, payload, blank, status, CR, answer, quotation mark, CR, LF.
    EXPECT_EQ(text.size(), 1 + 128 * 1024 + 1 + status + 1 + 128 * 1024 + 3);
    EXPECT_EQ(text.rfind("\"VARNOK-TEST\x1E", 0), 0u);
    EXPECT_TRUE(text.ends_with(std::string(100, 'x') + "\"\r\n"));
    expectUsable();
}

// A payload with a NUL never reaches the decoder: it would decode the text before the NUL and drop the rest.
TEST_F(Reliability, PayloadWithANulNeverReachesTheDecoder)
{
    const std::wstring log = folder.file(L"calls.txt");
    const std::wstring output = folder.file(L"wyniki");
    ASSERT_TRUE(CreateDirectoryW(output.c_str(), nullptr));
    for (const std::wstring& payload : {scripted(log, goodAnswer) + std::wstring(1, L'\0') + L"śmieci",
                                        std::wstring(1, L'\0'), L"A" + std::wstring(1, L'\0')}) {
        EXPECT_EQ(reader->readCodetData(payload, output).text, L"Błąd rozkodowania niedozwolone znaki w tekście");
        EXPECT_TRUE(readBytes(log).empty()) << "the decoder was called";
    }
    EXPECT_EQ(filesIn(output).size(), 3u);  // one error log each
    expectUsable();
}

}  // namespace
}  // namespace varnok::test
