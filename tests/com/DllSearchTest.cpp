// Where our programs take libraries from: a library planted in the current folder or on PATH is never loaded, by
// the process as a whole or by the decoder's imports on systems without the safe search flags.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "platform/DllSearch.h"

namespace varnok::test {
namespace {

std::wstring systemFolder()
{
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

class DllSearch : public testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryW(MAX_PATH, oldFolder);
        oldPath = setting(L"PATH");
        ASSERT_TRUE(CopyFileW(decoder.c_str(), decoderCopy.c_str(), FALSE));
    }
    void TearDown() override
    {
        SetCurrentDirectoryW(oldFolder);
        SetEnvironmentVariableW(L"PATH", oldPath.c_str());
    }
    void plant(const ScratchFolder& where, const wchar_t* name = L"VarnokAbsent.dll")
    {
        ASSERT_TRUE(CopyFileW(absent.c_str(), where.file(name).c_str(), FALSE));
    }

    wchar_t oldFolder[MAX_PATH] = {};
    std::wstring oldPath;
    const std::wstring decoder = setting(L"VARNOK_DECODERS") + L"\\decoder-missing-dependency\\azteccodeQELM.dll";
    const std::wstring absent = setting(L"VARNOK_DECODERS") + L"\\VarnokAbsent.dll";
    ScratchFolder decoderFolder{L"varnok-dll-decoder"}, current{L"varnok-dll-current"}, onPath{L"varnok-dll-path"};
    const std::wstring decoderCopy = decoderFolder.file(L"azteccodeQELM.dll");
};

// The import looked for in the system's order would be found in each planted place; ours finds it only beside
// the decoder (or in System32).
TEST_F(DllSearch, DecoderImportsComeOnlyFromItsFolderOrSystem32)
{
    struct Case {
        const char* where;
        bool inCurrent, onPath, beside;
        DWORD error;
    };
    const Case cases[] = {
        {"nowhere", false, false, false, ERROR_MOD_NOT_FOUND},
        {"in the current folder", true, false, false, ERROR_MOD_NOT_FOUND},
        {"in a folder on PATH", false, true, false, ERROR_MOD_NOT_FOUND},
        {"beside the decoder", false, false, true, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        DeleteFileW(current.file(L"VarnokAbsent.dll").c_str());
        DeleteFileW(onPath.file(L"VarnokAbsent.dll").c_str());
        DeleteFileW(decoderFolder.file(L"VarnokAbsent.dll").c_str());
        if (c.inCurrent)
            plant(current);
        if (c.onPath)
            plant(onPath);
        if (c.beside)
            plant(decoderFolder);
        SetCurrentDirectoryW(current.path().c_str());
        SetEnvironmentVariableW(L"PATH", (onPath.path() + L";" + oldPath).c_str());

        // What the plain altered search order would have done: the planted import is within its reach.
        HMODULE plain = LoadLibraryExW(decoderCopy.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        EXPECT_EQ(plain != nullptr, c.inCurrent || c.onPath || c.beside) << c.where;
        if (plain) {
            FreeLibrary(plain);
            FreeLibrary(GetModuleHandleW(L"VarnokAbsent.dll"));
        }

        DWORD error = 0;
        HMODULE module = loadWithImportsFrom(decoderCopy, {decoderFolder.path(), systemFolder()}, error);
        EXPECT_EQ(error, c.error) << c.where;
        EXPECT_EQ(module != nullptr, c.error == ERROR_SUCCESS) << c.where;
        if (module) {
            EXPECT_NE(GetProcAddress(module, "AZTECDeCode"), nullptr) << c.where;
            FreeLibrary(module);
            FreeLibrary(GetModuleHandleW(L"VarnokAbsent.dll"));
        }
        EXPECT_EQ(GetModuleHandleW(L"VarnokAbsent.dll"), nullptr) << c.where << ": an import was left loaded";
    }
}

// A bare name reaches the current folder until the process's search is restricted, and never after.
TEST_F(DllSearch, ProcessNoLongerSearchesTheCurrentFolder)
{
    plant(current, L"VarnokPlantedBefore.dll");
    plant(current, L"VarnokPlantedAfter.dll");
    SetCurrentDirectoryW(current.path().c_str());

    HMODULE before = LoadLibraryW(L"VarnokPlantedBefore.dll");
    ASSERT_NE(before, nullptr) << "the system's own search does not look in the current folder here";
    FreeLibrary(before);

    ASSERT_TRUE(restrictProcessDllSearch());
    EXPECT_EQ(LoadLibraryW(L"VarnokPlantedAfter.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
}  // namespace varnok::test
