// The Windows test kit's helper for run-tests.cmd, where cmd alone cannot tell reliably. One row per command in
// `commands` below; `KitTool` alone lists them.

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <regex>
#include <span>
#include <string>

#include "TestSupport.h"
#include "platform/ComPtr.h"
#include "server/Instance.h"

namespace {

using varnok::test::processRunning;

bool elevated()
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
        return false;
    BOOL member = FALSE;
    const BOOL checked = CheckTokenMembership(nullptr, administrators, &member);
    FreeSid(administrators);
    return checked && member;
}

bool waitForNoServer(int seconds)
{
    for (int i = 0; i < seconds * 10; ++i) {
        if (!processRunning(L"VarnokSrv.exe"))
            return true;
        Sleep(100);
    }
    return !processRunning(L"VarnokSrv.exe");
}

bool registryClean()
{
    const wchar_t* keys[] = {
        L"VarnokSrv.FileReader", L"VarnokSrv.ImageReader",
        L"CLSID\\{7C882FC3-4DBD-488F-9843-FA7021797487}", L"CLSID\\{128CB66A-E9FD-4CE0-8455-F504A1312A42}",
        L"Interface\\{828403FC-4836-4F34-B09D-33ED4C913C0B}", L"Interface\\{EC045F1D-EFBB-4025-AE0D-FE31A26921D5}",
        L"TypeLib\\{C730E276-A23A-432F-9F61-A844887D60BC}", L"TypeLib\\{F7C600C2-0153-4826-B857-1643D6D44F38}",
    };
    bool clean = true;
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
            for (const wchar_t* key : keys) {
                HKEY opened = nullptr;
                const std::wstring path = std::wstring(L"Software\\Classes\\") + key;
                if (RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ | view, &opened) == ERROR_SUCCESS) {
                    RegCloseKey(opened);
                    std::printf("left: %s\\%ls (%s view)\n", hive == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU",
                                path.c_str(), view == KEY_WOW64_32KEY ? "32-bit" : "64-bit");
                    clean = false;
                }
            }
    return clean;
}

// A file's text without carriage returns; empty when it cannot be read.
std::string text(const wchar_t* path)
{
    std::ifstream file(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::string lines;
    for (char c : bytes)
        if (c != '\r')
            lines += c;
    return lines;
}

struct Count {
    long run = 0;
    long failed = 0;
};

long lastNumber(const std::string& log, const std::regex& pattern)
{
    long number = -1;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), pattern); it != std::sregex_iterator(); ++it)
        number = std::atol((*it)[1].str().c_str());
    return number;
}

long occurrences(const std::string& log, const std::string& what)
{
    long count = 0;
    for (std::size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + what.size()))
        ++count;
    return count;
}

long lines(const std::string& log)
{
    long count = 0;
    for (std::size_t start = 0; start < log.size();) {
        const std::size_t end = std::min(log.find('\n', start), log.size());
        count += end > start;
        start = end + 1;
    }
    return count;
}

// How many tests a suite's log shows as run, and how many of them failed, by the kind of program it ran.
bool countTests(const std::wstring& kind, const std::string& log, const wchar_t* expected, Count& count)
{
    if (kind == L"gtest") {
        // GoogleTest's summary; its help text (a filter cmd split apart) has none. A skipped test proves nothing.
        count.run = std::max(0L, lastNumber(log, std::regex(R"(\[==========\] (\d+) tests? from .* ran\.)")) -
                                     std::max(0L, lastNumber(log, std::regex(R"(\[  SKIPPED \] (\d+) tests?, listed below)"))));
        count.failed = std::max(0L, lastNumber(log, std::regex(R"(\[  FAILED  \] (\d+) tests?, listed below)")));
    } else if (kind == L"script") {
        count.run = std::max(0L, lastNumber(log, std::regex(R"(RESULT pass=(\d+) )")));
        count.failed = lastNumber(log, std::regex(R"(RESULT pass=\d+ fail=(\d+))"));
        if (count.failed < 0)
            count.failed = 1;
    } else if (kind == L"diagnose") {
        count.run = occurrences(log, "[ OK ]") + occurrences(log, "[BŁĄD]");
        count.failed = occurrences(log, "[BŁĄD]");
    } else if (kind == L"lines") {
        count.run = lines(log);
    } else if (kind == L"same" && expected) {
        const std::string wanted = text(expected);
        count.run = lines(wanted);
        count.failed = wanted == log ? 0 : 1;
    } else if (kind == L"exit") {
        count.run = 1;
    } else {
        return false;
    }
    return true;
}

// The suite's line: PASS only with at least one test run, none failed and exit code 0.
int verdict(std::span<wchar_t*> args)
{
    if (args.size() < 4)
        return 2;
    const std::wstring name = args[0], kind = args[1];
    const std::string log = text(args[2]);
    const int exitCode = _wtoi(args[3]);
    Count count;
    if (!countTests(kind, log, args.size() > 4 ? args[4] : nullptr, count))
        return 2;
    const bool passed = exitCode == 0 && count.run > 0 && count.failed == 0;
    const bool tests = kind == L"gtest" || kind == L"script";
    const char* unit = count.run == 1 ? (tests ? "test" : "check") : (tests ? "tests" : "checks");
    if (passed)
        std::printf("PASS %ls (%ld %s)\n", name.c_str(), count.run, unit);
    else
        std::printf("FAIL %ls (%ld %s run, %ld failed, exit code %d; see logs\\%ls.txt)\n", name.c_str(), count.run,
                    unit, count.failed, exitCode, name.c_str());
    return passed ? 0 : 1;
}

// The installed server, if any, so that the kit can give it its registration back: the kit's programs have the
// server's word size, so its classes are in their own registry view.
bool printRegisteredServer()
{
#ifdef _WIN64
    constexpr DWORD ownView = RRF_SUBKEY_WOW6464KEY;
#else
    constexpr DWORD ownView = RRF_SUBKEY_WOW6432KEY;
#endif
    wchar_t path[MAX_PATH + 3] = {};
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_LOCAL_MACHINE,
                     L"Software\\Classes\\CLSID\\{7C882FC3-4DBD-488F-9843-FA7021797487}\\LocalServer32", nullptr,
                     RRF_RT_REG_SZ | ownView, nullptr, path, &size) != ERROR_SUCCESS)
        return false;
    std::wstring exe = path;
    if (exe.size() >= 2 && exe.front() == L'"' && exe.back() == L'"')
        exe = exe.substr(1, exe.size() - 2);
    std::printf("%ls\n", exe.c_str());
    return true;
}

DWORD runAndWait(const std::wstring& exe, const wchar_t* argument)
{
    std::wstring commandLine = L"\"" + exe + L"\" " + argument;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return GetLastError();
    CloseHandle(process.hThread);
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.hProcess, &code))
        code = WAIT_TIMEOUT;
    CloseHandle(process.hProcess);
    return code;
}

// An idle server (in its grace period after a client) leaves when its EXE is unregistered, as an uninstall does;
// registered again after.
bool leavesOnUnregister(const std::wstring& exe)
{
    {
        varnok::test::ComApartment apartment;
        CLSID clsid{};
        varnok::ComPtr<IUnknown> object;
        const HRESULT hr = CLSIDFromProgID(L"VarnokSrv.FileReader", &clsid);
        if (FAILED(hr) || FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.putVoid()))) {
            std::printf("no server could be activated\n");
            return false;
        }
    }
    const DWORD unregistered = runAndWait(exe, L"/UnregServer");
    const bool left = !processRunning(L"VarnokSrv.exe");
    std::printf("/UnregServer: exit code %lu; the idle server %s\n", unregistered, left ? "left" : "is STILL RUNNING");
    const DWORD registered = runAndWait(exe, L"/RegServer");
    std::printf("/RegServer: exit code %lu\n", registered);
    return unregistered == 0 && left && registered == 0;
}

// The EXE's embedded manifest keeps UAC from virtualising its files: asInvoker, and Windows 7 to 11 supported.
bool manifestChecked(const wchar_t* exe)
{
    HMODULE module = LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC resource = module ? FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) : nullptr;
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    const std::string manifest = bytes ? std::string(bytes, SizeofResource(module, resource)) : std::string();
    if (module)
        FreeLibrary(module);
    bool ok = true;
    for (const char* wanted : {"level=\"asInvoker\"", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                               "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
        const bool found = manifest.find(wanted) != std::string::npos;
        std::printf("%s: %s\n", wanted, found ? "present" : "MISSING");
        ok = ok && found;
    }
    return ok;
}

struct Command {
    const wchar_t* name;
    std::size_t arguments;
    const char* usage;
    int (*run)(std::span<wchar_t*> args);
};

int exitCode(bool ok) { return ok ? 0 : 1; }

const Command commands[] = {
    {L"elevated", 0, "elevated: exit 0 in an administrator's (elevated) process",
     [](std::span<wchar_t*>) { return exitCode(elevated()); }},
    {L"wait-no-server", 1, "wait-no-server SECONDS: exit 0 once no VarnokSrv.exe runs",
     [](std::span<wchar_t*> a) { return exitCode(waitForNoServer(_wtoi(a[0]))); }},
    {L"registry-clean", 0, "registry-clean: exit 0 when no key of either class is left in any hive or view",
     [](std::span<wchar_t*>) { return exitCode(registryClean()); }},
    {L"registered-server", 0, "registered-server: prints the EXE FileReader is registered to for all users",
     [](std::span<wchar_t*>) { return exitCode(printRegisteredServer()); }},
    {L"verdict", 4,
     "verdict NAME gtest|script|diagnose|lines|exit|same LOG EXITCODE [EXPECTED]: the suite's PASS/FAIL line",
     verdict},
    {L"leaves-on-unregister", 1, "leaves-on-unregister EXE: an idle server leaves when the EXE is unregistered",
     [](std::span<wchar_t*> a) { return exitCode(leavesOnUnregister(a[0])); }},
    {L"ask-to-leave", 1, "ask-to-leave EXE: asks the servers running from EXE to leave; prints how many stay",
     [](std::span<wchar_t*> a) {
         std::printf("%d\n", varnok::instance::askServersToLeave(a[0], 5000));
         return 0;
     }},
    {L"manifest", 1, "manifest EXE: the embedded manifest asks for asInvoker and names Windows 7 to 11",
     [](std::span<wchar_t*> a) { return exitCode(manifestChecked(a[0])); }},
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::span<wchar_t*> args(argv, static_cast<std::size_t>(argc));
    for (const Command& command : commands)
        if (argc > 1 && command.name == std::wstring(argv[1]) && args.size() - 2 >= command.arguments)
            return command.run(args.subspan(2));
    std::fprintf(stderr, "usage: KitTool COMMAND ...\n");
    for (const Command& command : commands)
        std::fprintf(stderr, "  %s\n", command.usage);
    return 2;
}
