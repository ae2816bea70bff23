// The Windows test kit's helper for run-tests.cmd, where cmd alone cannot tell reliably:
//   KitTool elevated                 exit 0 in an administrator's (elevated) process
//   KitTool wait-no-server SECONDS   exit 0 once no VarnokSrv.exe runs (a loaded decoder stays until it leaves)
//   KitTool registry-clean           exit 0 when no key of either class is left in any hive or registry view
//   KitTool script-passed LOG        exit 0 when a script client's log ends its run with "RESULT pass=N fail=0"
//   KitTool same EXPECTED ACTUAL     exit 0 when the two files hold the same text (line ends aside)
//   KitTool registered-server        prints the EXE FileReader is registered to for all users (exit 1: none)

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "TestSupport.h"

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

bool scriptPassed(const wchar_t* log)
{
    const std::string lines = text(log);
    const std::size_t at = lines.rfind("RESULT pass=");
    if (at == std::string::npos)
        return false;
    const std::string result = lines.substr(at, lines.find('\n', at) - at);
    return result.find(" fail=0") != std::string::npos && result.find("pass=0 ") == std::string::npos;
}

// The installed server, if any, so that the kit can give it its registration back.
bool printRegisteredServer()
{
    wchar_t path[MAX_PATH + 3] = {};
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_LOCAL_MACHINE,
                     L"Software\\Classes\\CLSID\\{7C882FC3-4DBD-488F-9843-FA7021797487}\\LocalServer32", nullptr,
                     RRF_RT_REG_SZ | RRF_SUBKEY_WOW6432KEY, nullptr, path, &size) != ERROR_SUCCESS)
        return false;
    std::wstring exe = path;
    if (exe.size() >= 2 && exe.front() == L'"' && exe.back() == L'"')
        exe = exe.substr(1, exe.size() - 2);
    std::printf("%ls\n", exe.c_str());
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"elevated")
        return elevated() ? 0 : 1;
    if (command == L"wait-no-server" && argc > 2)
        return waitForNoServer(_wtoi(argv[2])) ? 0 : 1;
    if (command == L"registry-clean")
        return registryClean() ? 0 : 1;
    if (command == L"script-passed" && argc > 2)
        return scriptPassed(argv[2]) ? 0 : 1;
    if (command == L"registered-server")
        return printRegisteredServer() ? 0 : 1;
    if (command == L"same" && argc > 3)
        return text(argv[2]) == text(argv[3]) && !text(argv[2]).empty() ? 0 : 1;
    std::fprintf(stderr, "usage: KitTool elevated | wait-no-server SECONDS | registry-clean | script-passed LOG |"
                         " same EXPECTED ACTUAL | registered-server\n");
    return 2;
}
