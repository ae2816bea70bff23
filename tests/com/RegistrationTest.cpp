// Self-registration, machine-wide and per user: what it writes, and that unregistering leaves the registry as it
// was. Wine does not activate from per-user classes (Wine bug 14771), so per-user registration is tested by its
// registry contents only.

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "TestSupport.h"

namespace varnok::test {
namespace {

const std::wstring clsid = L"{7C882FC3-4DBD-488F-9843-FA7021797487}";
const std::wstring iid = L"{828403FC-4836-4F34-B09D-33ED4C913C0B}";
const std::wstring libid = L"{C730E276-A23A-432F-9F61-A844887D60BC}";
const std::wstring marshaler = L"{00020424-0000-0000-C000-000000000046}";
const std::wstring imageClsid = L"{128CB66A-E9FD-4CE0-8455-F504A1312A42}";
const std::wstring imageIid = L"{EC045F1D-EFBB-4025-AE0D-FE31A26921D5}";
const std::wstring imageLibid = L"{F7C600C2-0153-4826-B857-1643D6D44F38}";

struct Hive {
    HKEY root;
    REGSAM view;
    const char* name;
};

const Hive machine32{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "HKLM32"};
const Hive machine64{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "HKLM64"};
const Hive user32{HKEY_CURRENT_USER, KEY_WOW64_32KEY, "HKCU32"};
const Hive user64{HKEY_CURRENT_USER, KEY_WOW64_64KEY, "HKCU64"};
// The server's own registry view and the other one: the tests are built with the server's word size.
#ifdef _WIN64
const Hive& machineOwn = machine64;
const Hive& machineOther = machine32;
const Hive& userOwn = user64;
const Hive& userOther = user32;
const std::wstring platform = L"win64";
#else
const Hive& machineOwn = machine32;
const Hive& machineOther = machine64;
const Hive& userOwn = user32;
const Hive& userOther = user64;
const std::wstring platform = L"win32";
#endif

// Names of the subkeys of a key.
void collectNames(HKEY key, const std::wstring& path, std::set<std::wstring>& out)
{
    wchar_t name[512];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 512;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        out.insert(path + L"\\" + std::wstring(name, nameLength));
    }
}

// Every key and value below a key, as "path|name=data" lines.
void collectTree(HKEY key, const std::wstring& path, std::set<std::wstring>& out)
{
    out.insert(path);
    wchar_t name[512];
    BYTE data[4096];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 512, dataLength = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS)
            break;
        std::wstring text = type == REG_SZ ? std::wstring(reinterpret_cast<wchar_t*>(data), dataLength / 2)
                                           : std::to_wstring(dataLength) + L" bytes";
        out.insert(path + L"|" + std::wstring(name, nameLength) + L"=" + text);
    }
    std::set<std::wstring> children;
    collectNames(key, L"", children);
    for (const auto& child : children) {
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, child.c_str() + 1, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            collectTree(sub, path + child, out);
            RegCloseKey(sub);
        }
    }
}

// What registration could touch under Software\Classes of every hive and view: the names of the keys at the top
// and in the shared folders, and everything below the keys that belong to this server.
std::set<std::wstring> snapshot()
{
    std::set<std::wstring> all;
    for (const Hive* hive : {&machine32, &machine64, &user32, &user64}) {
        const std::wstring prefix = wide(hive->name);
        HKEY classes = nullptr;
        if (RegOpenKeyExW(hive->root, L"Software\\Classes", 0, KEY_READ | hive->view, &classes) != ERROR_SUCCESS)
            continue;
        all.insert(prefix);
        collectNames(classes, prefix, all);
        for (const wchar_t* folder : {L"CLSID", L"Interface", L"TypeLib"}) {
            HKEY shared = nullptr;
            if (RegOpenKeyExW(classes, folder, 0, KEY_READ, &shared) == ERROR_SUCCESS) {
                collectNames(shared, prefix + L"\\" + folder, all);
                RegCloseKey(shared);
            }
        }
        for (const std::wstring& own :
             {L"CLSID\\" + clsid, L"Interface\\" + iid, L"TypeLib\\" + libid, std::wstring(L"VarnokSrv.FileReader"),
              L"CLSID\\" + imageClsid, L"Interface\\" + imageIid, L"TypeLib\\" + imageLibid,
              std::wstring(L"VarnokSrv.ImageReader")}) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(classes, own.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
                collectTree(key, prefix + L"\\" + own, all);
                RegCloseKey(key);
            }
        }
        RegCloseKey(classes);
    }
    return all;
}

// The default (or named) string value of a key under Software\Classes, or nothing.
std::optional<std::wstring> value(const Hive& hive, const std::wstring& key, const wchar_t* name = nullptr)
{
    wchar_t data[1024];
    DWORD size = sizeof data;
    const std::wstring path = L"Software\\Classes\\" + key;
    if (RegGetValueW(hive.root, path.c_str(), name, RRF_RT_REG_SZ | (hive.view == KEY_WOW64_64KEY ? RRF_SUBKEY_WOW6464KEY
                                                                                                : RRF_SUBKEY_WOW6432KEY),
                     nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

class RegistrationTest : public testing::Test {
protected:
    DWORD runServer(const wchar_t* arguments) { return run(server, arguments); }

    DWORD run(const std::wstring& exe, const wchar_t* arguments)
    {
        std::wstring command = L"\"" + exe + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return GetLastError() | 0x10000000;
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }

    void expectRegistered(const Hive& classes, const Hive& other)
    {
        EXPECT_EQ(value(classes, L"CLSID\\" + clsid + L"\\LocalServer32"), L"\"" + server + L"\"");
        EXPECT_EQ(value(classes, L"CLSID\\" + clsid + L"\\ProgID"), L"VarnokSrv.FileReader");
        EXPECT_EQ(value(classes, L"CLSID\\" + clsid + L"\\TypeLib"), libid);
        EXPECT_EQ(value(classes, L"VarnokSrv.FileReader\\CLSID"), clsid);
        EXPECT_EQ(value(classes, L"TypeLib\\" + libid + L"\\1.0\\0\\" + platform), server);
        // The second class: its type library is the EXE's TYPELIB resource 2.
        EXPECT_EQ(value(classes, L"CLSID\\" + imageClsid + L"\\LocalServer32"), L"\"" + server + L"\"");
        EXPECT_EQ(value(classes, L"CLSID\\" + imageClsid + L"\\ProgID"), L"VarnokSrv.ImageReader");
        EXPECT_EQ(value(classes, L"CLSID\\" + imageClsid + L"\\TypeLib"), imageLibid);
        EXPECT_EQ(value(classes, L"VarnokSrv.ImageReader\\CLSID"), imageClsid);
        EXPECT_EQ(value(classes, L"TypeLib\\" + imageLibid + L"\\1.0\\0\\" + platform), server + L"\\2");
#ifdef _WIN64
        // 32-bit clients find the libraries under win32 only.
        EXPECT_EQ(value(classes, L"TypeLib\\" + libid + L"\\1.0\\0\\win32"), server);
        EXPECT_EQ(value(classes, L"TypeLib\\" + imageLibid + L"\\1.0\\0\\win32"), server + L"\\2");
#endif
        for (const Hive* view : {&classes, &other}) {
            SCOPED_TRACE(view->name);
            EXPECT_EQ(value(*view, L"Interface\\" + iid + L"\\ProxyStubClsid32"), marshaler);
            EXPECT_EQ(value(*view, L"Interface\\" + iid + L"\\TypeLib"), libid);
            EXPECT_EQ(value(*view, L"Interface\\" + imageIid + L"\\ProxyStubClsid32"), marshaler);
            EXPECT_EQ(value(*view, L"Interface\\" + imageIid + L"\\TypeLib"), imageLibid);
        }
    }

    ComApartment apartment;
    std::wstring server = setting(L"VARNOK_SERVER_EXE");
};

TEST_F(RegistrationTest, MachineWideRegistrationIsUndoneCompletely)
{
    ASSERT_EQ(runServer(L"/UnregServer"), 0u);
    const std::set<std::wstring> before = snapshot();
    EXPECT_FALSE(value(machineOwn, L"CLSID\\" + clsid + L"\\LocalServer32"));
    EXPECT_FALSE(value(machineOwn, L"VarnokSrv.FileReader\\CLSID"));
    EXPECT_FALSE(value(machineOwn, L"VarnokSrv.ImageReader\\CLSID"));

    ASSERT_EQ(runServer(L"/RegServer"), 0u);
    expectRegistered(machineOwn, machineOther);
    ASSERT_EQ(runServer(L"-regserver"), 0u);  // again, as an installer repair would

    ASSERT_EQ(runServer(L"/UnregServer"), 0u);
    EXPECT_EQ(snapshot(), before);
    ASSERT_EQ(runServer(L"/UnregServer"), 0u);  // unregistering what is not registered succeeds

    ASSERT_EQ(runServer(L"/RegServer"), 0u);  // leave the prefix as the other tests need it
}

// An uninstaller that runs after the registered EXE was deleted (or an upgrade that moved it) must still leave
// nothing behind, although the type library can no longer be read.
TEST_F(RegistrationTest, UnregisteringWhenTheRegisteredExeIsGone)
{
    ASSERT_EQ(runServer(L"/UnregServer"), 0u);
    const std::set<std::wstring> before = snapshot();
    {
        ScratchFolder gone{L"varnok-gone"};
        const std::wstring copy = gone.file(L"VarnokSrv.exe");
        ASSERT_TRUE(CopyFileW(server.c_str(), copy.c_str(), FALSE));
        ASSERT_EQ(run(copy, L"/RegServer"), 0u);
        ASSERT_TRUE(DeleteFileW(copy.c_str()));
    }
    EXPECT_EQ(runServer(L"/UnregServer"), 0u);
    EXPECT_EQ(snapshot(), before);
    ASSERT_EQ(runServer(L"/RegServer"), 0u);
}

TEST_F(RegistrationTest, PerUserRegistrationWritesOnlyTheUsersClasses)
{
    const std::set<std::wstring> before = snapshot();
    ASSERT_EQ(runServer(L"/RegServerPerUser"), 0u);
    expectRegistered(userOwn, userOther);

    std::set<std::wstring> machineAfter, machineBefore;
    for (const auto& line : snapshot())
        if (line.rfind(L"HKLM", 0) == 0)
            machineAfter.insert(line);
    for (const auto& line : before)
        if (line.rfind(L"HKLM", 0) == 0)
            machineBefore.insert(line);
    EXPECT_EQ(machineAfter, machineBefore);

    ASSERT_EQ(runServer(L"/UnregServerPerUser"), 0u);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(RegistrationTest, UnknownSwitchIsRefused)
{
    EXPECT_EQ(runServer(L"/Frobnicate"), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
}  // namespace varnok::test
