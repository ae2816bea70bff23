// PDF files built to hold the server (tests/pdf/HostileFiles.cpp), read through VarnokSrv.ImageReader by name: each
// ends with its own error, and other clients are served while one is read. The time each took is printed for the
// record, never asserted (scripts/pdf-bench.sh measures them natively, scripts/bench-com.sh through COM).

#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <functional>
#include <memory>
#include <thread>

#include "ReaderClient.h"
#include "TestSupport.h"
#include "platform/ComPtr.h"
#include "tests/pdf/HostileFiles.h"

namespace varnok::test {
namespace {

struct Expected {
    const char* outcome;
    int number;
    const wchar_t* after;  // the description after "Plik PDF "<path>"" or "Nie można odczytać pliku PDF "<path>""
};

const Expected expectations[] = {
    {"no image", 1004,
     L" nie zawiera żadnego obrazu (kod jest w nim zapewne narysowany jako grafika wektorowa): wydrukuj go i "
     L"zeskanuj albo wyeksportuj stronę jako obraz"},
    {"work limit", 1004,
     L" jest zbyt złożony: odczyt przerwano po limicie pracy na jeden plik; zeskanuj ponownie tylko stronę z kodem"},
    {"fault pages", 321, nullptr},
    {"fault objects", 321, nullptr},
    {"fault xref", 321, nullptr},
};

class HostilePdfTest : public testing::Test {
protected:
    ComApartment apartment;
};

TEST_F(HostilePdfTest, EachEndsWithItsErrorAndASecondClientIsServedAfterIt)
{
    ScratchFolder folder{L"varnok-hostile"};
    const std::wstring sound = setting(L"VARNOK_IMAGES") + L"\\gray8.png";
    const std::vector<char> soundText = readBytes(sound + L".txt");
    ASSERT_FALSE(soundText.empty());
    // Held for the whole test: writing the larger files takes seconds, and an activation that meets the server
    // revoking its classes after its idle grace fails under Wine (a platform race, not what this test is about).
    const auto keepsServer = createReader(Binding::Vtable);
    ASSERT_TRUE(keepsServer);
    ASSERT_EQ(readByName(sound).hr, S_OK);  // the server runs before the clocks start
    int files = 0;
    for (const HostileFile& file : hostileFiles()) {
        SCOPED_TRACE(file.name);
        const std::wstring path = folder.write(wide(file.name) + L".pdf", file.make());
        std::printf("reading %s\n", file.name);
        std::fflush(stdout);
        Reply hostile, second;
        double hostileSeconds = 0, secondSeconds = 0;
        const auto start = std::chrono::steady_clock::now();
        const auto seconds = [&] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
        std::thread first([&] {
            ComApartment own;
            hostile = readByName(path);
            hostileSeconds = seconds();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::thread other([&] {
            ComApartment own;
            second = readByName(sound);
            secondSeconds = seconds();
        });
        first.join();
        other.join();
        std::printf("  %s: %.2f s; the second client's answer after %.2f s\n", file.name, hostileSeconds,
                    secondSeconds);
        EXPECT_EQ(second.hr, S_OK);
        EXPECT_EQ(second.text, std::wstring(soundText.begin(), soundText.end()));
        const Expected* expected = nullptr;
        for (const Expected& e : expectations)
            if (std::string(e.outcome) == file.outcome)
                expected = &e;
        ASSERT_NE(expected, nullptr) << file.outcome;
        EXPECT_EQ(hostile.hr, static_cast<HRESULT>(0x800A0000u + expected->number)) << std::hex << hostile.hr;
        if (expected->after)
            EXPECT_EQ(hostile.description, L"Plik PDF \"" + path + L"\"" + expected->after);
        else
            EXPECT_EQ(hostile.description.rfind(L"Nie można odczytać pliku PDF \"" + path + L"\"", 0), 0u)
                << utf8(hostile.description);
        ++files;
    }
    EXPECT_EQ(files, 14);
}

// The slowest of the files keeps one client's read going; a FileReader client meanwhile gets every answer, each
// before that read ends.
TEST_F(HostilePdfTest, AFileReaderClientIsAnsweredWhileAFileIsRead)
{
    ScratchFolder folder{L"varnok-hostile-other"};
    const HostileFile* slowest = nullptr;
    for (const HostileFile& file : hostileFiles())
        if (!slowest || std::string(file.name) == "noise-images")
            slowest = &file;
    const std::wstring path = folder.write(wide(slowest->name) + L".pdf", slowest->make());
    auto reader = createReader(Binding::Vtable);  // the server runs before the clocks start
    std::atomic<bool> readEnded{false};
    Reply hostile;
    std::thread first([&] {
        ComApartment own;
        hostile = readByName(path);
        readEnded = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    struct Call {
        const char* name;
        std::function<HRESULT()> run;
    };
    std::unique_ptr<ReaderClient> other;
    const Call calls[] = {
        {"create", [&] { other = createReader(Binding::Dispatch); return other ? S_OK : E_FAIL; }},
        {"ReadData", [&] { return other->readData(setting(L"VARNOK_SAMPLE")).hr; }},
        {"NrRejestracyjny", [&] { return other->get(L"NrRejestracyjny").hr; }},
        {"CloseData", [&] { return other->closeData().hr; }},
    };
    int answered = 0;
    for (const Call& call : calls) {
        SCOPED_TRACE(call.name);
        const auto start = std::chrono::steady_clock::now();
        const HRESULT hr = call.run();
        const bool before = !readEnded;
        std::printf("  %s: %.0f ms while the %s read went on\n", call.name,
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
                    slowest->name);
        EXPECT_EQ(hr, S_OK);
        EXPECT_TRUE(before) << "answered only after the read ended";
        answered += before && hr == S_OK;
    }
    first.join();
    EXPECT_EQ(answered, 4);
    EXPECT_EQ(hostile.hr, static_cast<HRESULT>(0x800A0000u + 1004)) << std::hex << hostile.hr;
}

}  // namespace
}  // namespace varnok::test
