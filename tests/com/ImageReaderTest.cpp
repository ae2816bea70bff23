// VarnokSrv.ImageReader as clients use it: an image file in every format the system decodes, read through the
// vtable and by name, its text handed to FileReader.ReadCodetData; and every error a client can meet.

#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ReaderClient.h"
#include "TestSupport.h"
#include "VarnokSrvImage.h"
#include "platform/ComPtr.h"

namespace varnok::test {
namespace {

ComPtr<_ImageReader> createImageReader(HRESULT& hr)
{
    ComPtr<_ImageReader> reader;
    hr = CoCreateInstance(CLSID_ImageReader, nullptr, CLSCTX_LOCAL_SERVER, IID__ImageReader, reader.putVoid());
    return reader;
}

Reply readWith(_ImageReader* reader, const std::wstring& path)
{
    Reply reply;
    Bstr text;
    reply.hr = reader->ReadCodet(Bstr(u16View(path)).get(), text.put());
    reply.text = std::wstring(wideView(text.view()));
    return reply;
}

Reply readThroughVtable(const std::wstring& path)
{
    Reply reply;
    const ComPtr<_ImageReader> reader = createImageReader(reply.hr);
    return FAILED(reply.hr) ? reply : readWith(reader.get(), path);
}

std::wstring images() { return setting(L"VARNOK_IMAGES"); }

bool underWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::wstring expectedText(const std::wstring& image)
{
    const std::vector<char> bytes = readBytes(image + L".txt");
    return std::wstring(bytes.begin(), bytes.end());
}

class ImageReaderTest : public testing::Test {
protected:
    ComApartment apartment;
};

TEST_F(ImageReaderTest, EveryFormatReadsToTheSymbolsText)
{
    int formats = 0;
    for (const auto& entry : std::filesystem::directory_iterator(images())) {
        const std::wstring path = entry.path().wstring();
        if (entry.path().extension() != L".txt")
            continue;
        const std::wstring image = path.substr(0, path.size() - 4);
        SCOPED_TRACE(utf8(image));
        // Printed before the calls, so that a run stopped by its time limit names the file it was reading.
        std::printf("reading %s\n", utf8(image).c_str());
        std::fflush(stdout);
        const std::wstring expected = expectedText(image);
        ASSERT_FALSE(expected.empty());
        for (const Reply& reply : {readThroughVtable(image), readByName(image)}) {
            EXPECT_EQ(reply.hr, S_OK);
            EXPECT_EQ(reply.text, expected);
        }
        ++formats;
    }
    // PNG (8-bit, 1-bit and 16-bit gray, 16-bit colour, palette, alpha, palette transparency), JPEG (gray, CMYK,
    // "%PDF-" in its comment, a fax's density), BMP (also one of 19 MB), GIF (plain, transparent colour), TIFF; PDF
    // (JPEG, Flate, Group 4, two pages, object streams, linearised, rewritten by Ghostscript)
    EXPECT_EQ(formats, 23);
}

// The two-line use: the image's text is what a hand scanner would have typed, so the fields are the same.
TEST_F(ImageReaderTest, TheTextGivesTheCertificatesFields)
{
    const Reply image = readByName(images() + L"\\two-pages.tif");
    ASSERT_EQ(image.hr, S_OK);
    const std::vector<char> typed = readBytes(setting(L"VARNOK_IMAGE_PAYLOAD"));
    ScratchFolder folder{L"varnok-image"};
    const auto fromImage = createReader(Binding::Vtable);
    const auto fromScanner = createReader(Binding::Dispatch);
    ASSERT_EQ(fromImage->readCodetData(image.text, folder.path()).text, L"OK");
    ASSERT_EQ(fromScanner->readCodetData(std::wstring(typed.begin(), typed.end()), folder.path()).text, L"OK");
    for (const std::wstring& name : propertyNames()) {
        const Answer a = fromImage->get(name), b = fromScanner->get(name);
        EXPECT_EQ(a.hr, b.hr) << utf8(name);
        EXPECT_EQ(a.text, b.text) << utf8(name);
    }
}

struct Failing {
    std::wstring path;
    int number;
    const wchar_t* description;  // the start of the Polish description, after which the path or size follows
};

TEST_F(ImageReaderTest, EveryFailureIsAnAutomationErrorWithItsNumber)
{
    const std::wstring dir = images();
    const Failing cases[] = {
        {dir + L"\\nie-ma-takiego.png", 53, L"Nie znaleziono pliku obrazu: \""},
        {L"", 53, L"Nie znaleziono pliku obrazu: \"\""},
        {dir, 53, L"Nie znaleziono pliku obrazu: \""},
        {dir + L"\\text.png", 321, L"Nie można odczytać obrazu \""},
        {dir + L"\\truncated.png", 321, L"Nie można odczytać obrazu \""},
        {dir + L"\\huge.png", 1001, L"Obraz \""},
        {dir + L"\\huge.bmp", 1001, L"Obraz \""},
        {dir + L"\\huge.jpg", 1001, L"Obraz \""},
        {dir + L"\\no-symbol.png", 1002, L"Na obrazie \""},
        {dir + L"\\damaged.png", 1003, L"Kod Aztec na obrazie \""},
        {dir + L"\\no-symbol.pdf", 1002, L"Na obrazie \""},
        {dir + L"\\damaged.pdf", 1003, L"Kod Aztec na obrazie \""},  // a damaged symbol says more than none
        {dir + L"\\broken.pdf", 321, L"Nie można odczytać pliku PDF \""},
        {dir + L"\\encrypted.pdf", 1004, L"Plik PDF \""},
        {dir + L"\\jbig2.pdf", 1004, L"Plik PDF \""},
        {dir + L"\\vector.pdf", 1004, L"Plik PDF \""},
    };
    for (const Failing& c : cases) {
        SCOPED_TRACE(utf8(c.path));
        const HRESULT expected = static_cast<HRESULT>(0x800A0000u + c.number);
        EXPECT_EQ(readThroughVtable(c.path).hr, expected);
        const Reply byName = readByName(c.path);
        EXPECT_EQ(byName.hr, expected);
        EXPECT_EQ(byName.description.rfind(c.description, 0), 0u) << utf8(byName.description);
        EXPECT_TRUE(byName.text.empty());
    }
    // Refused from the declared size, before a decoder that decodes everything at once could try.
    EXPECT_NE(readByName(dir + L"\\huge.png").description.find(L"30000 x 30000 pikseli"), std::wstring::npos);
    EXPECT_NE(readByName(dir + L"\\huge.jpg").description.find(L"60000 x 60000 pikseli"), std::wstring::npos);
    // Each refused PDF says what to do about it.
    const std::pair<const wchar_t*, const wchar_t*> advice[] = {
        {L"encrypted.pdf", L" jest zaszyfrowany: zapisz skan ponownie bez hasła i bez szyfrowania"},
        {L"jbig2.pdf", L" zawiera obraz skompresowany w formacie JBIG2 (strona 1, obiekt 5), którego nie odczytujemy: "
                       L"skanuj w skali szarości lub do JPEG"},
        {L"vector.pdf", L" nie zawiera żadnego obrazu (kod jest w nim zapewne narysowany jako grafika wektorowa): "
                        L"wydrukuj go i zeskanuj albo wyeksportuj stronę jako obraz"},
    };
    for (const auto& [file, text] : advice) {
        const std::wstring path = dir + L"\\" + file;
        EXPECT_EQ(readByName(path).description, L"Plik PDF \"" + path + L"\"" + text);
    }
}

TEST_F(ImageReaderTest, APdfOverTheSizeLimitIsRefusedUnread)
{
    ScratchFolder folder{L"varnok-pdf"};
    const std::wstring path = folder.file(L"duży skan.pdf");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "%PDF-1.4\n", 9, &written, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 300ll << 20;
    const bool sized = SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    ASSERT_TRUE(sized);
    EXPECT_EQ(readThroughVtable(path).hr, static_cast<HRESULT>(0x800A03EC));
    const Reply reply = readByName(path);
    EXPECT_EQ(reply.hr, static_cast<HRESULT>(0x800A03EC));
    EXPECT_EQ(reply.description, L"Plik PDF \"" + path + L"\" jest za duży (najwyżej 256 MB)");
}

// Held by another program: opened without sharing, or shared but with its bytes locked (the open succeeds, the
// first read fails).
TEST_F(ImageReaderTest, AFileLockedByAnotherProgramIsError75)
{
    const std::wstring path = images() + L"\\gray8.png";
    const struct {
        const char* how;
        DWORD sharing;
        bool lockBytes;
    } holds[] = {{"without sharing", 0, false}, {"bytes locked", FILE_SHARE_READ | FILE_SHARE_WRITE, true}};
    for (const auto& hold : holds) {
        SCOPED_TRACE(hold.how);
        if (hold.lockBytes && underWine())
            continue;  // Wine does not enforce byte-range locks on reads
        HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, hold.sharing, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        OVERLAPPED whole{};
        if (hold.lockBytes) {
            ASSERT_TRUE(LockFileEx(held, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                                   &whole));
        }
        const Reply reply = readByName(path);
        CloseHandle(held);
        EXPECT_EQ(reply.hr, static_cast<HRESULT>(0x800A004B));
        EXPECT_EQ(reply.description.rfind(L"Nie można otworzyć pliku obrazu \"", 0), 0u) << utf8(reply.description);
        EXPECT_EQ(readByName(path).hr, S_OK);  // and readable again once let go
    }
}

// 16,777,217 x 7 pixels with alpha: one row of colour is 67 MB, more than a band of a fixed number of rows can hold
// on a 32-bit system. Read (no symbol), or refused for memory where the system has none to spare, and the server
// is still there.
TEST_F(ImageReaderTest, AVeryWideImageWithAlphaIsCopiedInBandsItFits)
{
    const Reply reply = readByName(images() + L"\\wide-alpha.tif");
    EXPECT_TRUE(reply.hr == static_cast<HRESULT>(0x800A0000u + 1002) || reply.hr == static_cast<HRESULT>(0x800A0000u + 1001))
        << std::hex << reply.hr << " " << utf8(reply.description);
    EXPECT_EQ(readByName(images() + L"\\gray8.png").hr, S_OK);
}

TEST_F(ImageReaderTest, PolishFileNamesAreTakenLiterally)
{
    ScratchFolder folder{L"varnok-obrazy"};
    const std::wstring copy = folder.file(L"zdjęcie dowodu ŻÓŁW #1%41.png");
    ASSERT_TRUE(CopyFileW((images() + L"\\gray8.png").c_str(), copy.c_str(), FALSE));
    const Reply reply = readThroughVtable(copy);
    EXPECT_EQ(reply.hr, S_OK);
    EXPECT_EQ(reply.text, expectedText(images() + L"\\gray8.png"));
}

// Files built to hold a decoder for long: each ends with a clear answer, or reads where it holds the symbol. The
// benchmark prints how long each takes (bench-com.sh).
TEST_F(ImageReaderTest, HostileFilesEndWithAClearAnswer)
{
    const std::wstring dir = images() + L"\\hostile\\";
    const struct {
        const wchar_t* file;
        int number;  // 0: reads to the symbol's text
    } cases[] = {
        {L"repeated-scans.jpg", 321},  // a scan repeated 500 times
        {L"frames.gif", 0},            // 10,000 frames: the first is read
        {L"blank-rle8.bmp", 1002},     // 120 megapixels of runs: decoded, nothing on it
        {L"overrun-rle8.bmp", 321},    // runs past the end of their row
        {L"strips.tif", 321},          // 10,000,000 strips of 12 pixels
        {L"gray16-photo.png", 0},      // 16-bit gray, converted by our own code
        {L"cmyk16.tif", 0},            // 16-bit CMYK
    };
    for (const auto& c : cases) {
        const std::wstring path = dir + c.file;
        SCOPED_TRACE(utf8(path));
        const auto start = std::chrono::steady_clock::now();
        const Reply reply = readByName(path);
        std::printf("%s: %.0f ms\n", utf8(c.file).c_str(),
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (c.number == 0) {
            EXPECT_EQ(reply.hr, S_OK) << utf8(reply.description);
            EXPECT_EQ(reply.text, expectedText(path));
        } else {
            EXPECT_EQ(reply.hr, static_cast<HRESULT>(0x800A0000u + c.number)) << utf8(reply.description);
        }
    }
}

// Windows 10 and 11 decode WebP; Wine has no decoder for it, and the refusal names the format.
TEST_F(ImageReaderTest, AFormatNoDecoderAcceptsIsRefusedByName)
{
    const std::wstring path = images() + L"\\hostile\\symbol.webp";
    const Reply reply = readByName(path);
    if (!underWine()) {
        EXPECT_EQ(reply.hr, S_OK) << utf8(reply.description);
        EXPECT_EQ(reply.text, expectedText(path));
        return;
    }
    EXPECT_EQ(reply.hr, static_cast<HRESULT>(0x800A0000u + 321));
    EXPECT_EQ(reply.description, L"Nie można odczytać obrazu \"" + path +
                                     L"\": system nie ma dekodera formatu WebP (zapisz obraz jako PNG albo JPEG)");
    // A file of no known format keeps the general text.
    EXPECT_EQ(readByName(images() + L"\\text.png").description,
              L"Nie można odczytać obrazu \"" + images() + L"\\text.png\": nieobsługiwany format albo uszkodzony plik");
}

// The server's image workers: those of VarnokScan runs beside this test are not ours to count or end.
std::vector<DWORD> imageWorkers()
{
    std::vector<PROCESSENTRY32W> processes;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        processes.push_back(entry);
    CloseHandle(snapshot);
    std::vector<DWORD> servers, found;
    for (const PROCESSENTRY32W& process : processes)
        if (_wcsicmp(process.szExeFile, L"VarnokSrv.exe") == 0)
            servers.push_back(process.th32ProcessID);
    for (const PROCESSENTRY32W& process : processes)
        if (_wcsicmp(process.szExeFile, L"VarnokImageWorker.exe") == 0 &&
            std::find(servers.begin(), servers.end(), process.th32ParentProcessID) != servers.end())
            found.push_back(process.th32ProcessID);
    return found;
}

// Workers of this prefix that are not in `before`, waiting up to 5 s for those that are ending to go.
std::vector<DWORD> workersBesides(const std::vector<DWORD>& before, std::size_t expected)
{
    std::vector<DWORD> found;
    for (int i = 0; i < 50; ++i) {
        found.clear();
        for (const DWORD id : imageWorkers())
            if (std::find(before.begin(), before.end(), id) == before.end())
                found.push_back(id);
        if (found.size() == expected)
            break;
        Sleep(100);
    }
    return found;
}

bool contains(const std::vector<DWORD>& ids, DWORD id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

// A worker that a hostile file took over could read, and answer for, the next files it is handed: every
// ImageReader object has workers of its own, which no other object's reads reach and which end with it.
TEST_F(ImageReaderTest, AWorkerServesOneReaderObjectAndEndsWithIt)
{
    const std::wstring image = images() + L"\\gray8.png";
    const std::vector<DWORD> before = imageWorkers();
    HRESULT hr = E_FAIL;
    ComPtr<_ImageReader> first = createImageReader(hr);
    ASSERT_EQ(hr, S_OK);
    ComPtr<_ImageReader> second = createImageReader(hr);
    ASSERT_EQ(hr, S_OK);

    ASSERT_EQ(readWith(first.get(), image).hr, S_OK);
    const std::vector<DWORD> firsts = workersBesides(before, 1);
    ASSERT_EQ(firsts.size(), 1u);
    ASSERT_EQ(readWith(second.get(), image).hr, S_OK);
    const std::vector<DWORD> both = workersBesides(before, 2);
    ASSERT_EQ(both.size(), 2u) << "the second object's read went to the first object's worker";
    ASSERT_TRUE(contains(both, firsts[0]));
    const DWORD seconds = both[0] == firsts[0] ? both[1] : both[0];

    // Each object's next reads go to its own worker, which stays for them.
    EXPECT_EQ(readWith(first.get(), image).hr, S_OK);
    EXPECT_EQ(readWith(second.get(), image).hr, S_OK);
    EXPECT_EQ(workersBesides(before, 2), both);

    first.reset();
    const std::vector<DWORD> left = workersBesides(before, 1);
    EXPECT_EQ(left, std::vector<DWORD>{seconds}) << "the released object's worker did not end, or took the other's";
    second.reset();
    EXPECT_TRUE(workersBesides(before, 0).empty());
}

// Short-lived clients, each arriving when the server, idle since the last one left, revokes its class objects or
// has just done so (its grace after the last release is 2 s, then 0.5 s more for activations under way): every
// activation and every call must succeed. Under Wine an activation that reaches a class object just revoked is
// refused with E_FAIL where Windows starts a new server: that one is tried again, and counted. VARNOK_IDLE_RACES
// sets how many clients (default 30, about a minute).
TEST_F(ImageReaderTest, ClientsRacingIdleShutdownAreAllServed)
{
    const std::wstring image = images() + L"\\gray8.png";
    const std::wstring expected = expectedText(image);
    const std::wstring set = setting(L"VARNOK_IDLE_RACES");
    const int clients = set.empty() ? 30 : std::stoi(set);
    int refused = 0;
    for (int client = 0; client < clients; ++client) {
        SCOPED_TRACE("client " + std::to_string(client));
        HRESULT hr = E_FAIL;
        ComPtr<_ImageReader> reader;
        for (int attempt = 0; attempt < 20; ++attempt) {
            reader = createImageReader(hr);
            if (hr != E_FAIL || !underWine())
                break;
            ++refused;
            Sleep(100);
        }
        ASSERT_EQ(hr, S_OK);
        const Reply reply = readWith(reader.get(), image);
        ASSERT_EQ(reply.hr, S_OK);
        ASSERT_EQ(reply.text, expected);
        reader.reset();
        // Spread over the revocation and the half second after it, 23 ms apart.
        Sleep(1850 + (client * 23) % 800);
    }
    std::printf("%d clients served around the idle shutdown; %d activations refused by Wine and tried again\n",
                clients, refused);
    // The last client's server leaves before the next test's first activation, which would otherwise race it too.
    for (int i = 0; i < 100 && processRunning(L"VarnokSrv.exe"); ++i)
        Sleep(100);
}

// A worker that dies (a codec's crash, ended from outside) is replaced on its object's next read, and readers on
// several threads at once each get their answer.
TEST_F(ImageReaderTest, WorkersAreReplacedWhenTheyDieAndServeSeveralReadersAtOnce)
{
    const std::wstring image = images() + L"\\gray8.png";
    const std::vector<DWORD> before = imageWorkers();
    HRESULT hr = E_FAIL;
    const ComPtr<_ImageReader> reader = createImageReader(hr);
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(readWith(reader.get(), image).hr, S_OK);
    const std::vector<DWORD> workers = workersBesides(before, 1);
    ASSERT_EQ(workers.size(), 1u);
    for (const DWORD id : workers) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        ASSERT_NE(process, nullptr);
        TerminateProcess(process, 9);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
    const Reply again = readWith(reader.get(), image);
    EXPECT_EQ(again.hr, S_OK) << utf8(again.description);
    EXPECT_EQ(again.text, expectedText(image));

    std::vector<HRESULT> results(4, E_FAIL);
    std::vector<std::thread> readers;
    for (std::size_t i = 0; i < results.size(); ++i)
        readers.emplace_back([&, i] {
            ComApartment threadApartment;
            for (int round = 0; round < 3 && (results[i] = readThroughVtable(image).hr) == S_OK; ++round) {
            }
        });
    for (auto& reader : readers)
        reader.join();
    for (const HRESULT hr : results)
        EXPECT_EQ(hr, S_OK);
}

}  // namespace
}  // namespace varnok::test
