// What other programs in an office do to the files VarnokScan.exe writes, for tests/images/office-table.sh:
//   OfficeHelper hold FILE SECONDS       keeps FILE open as a spreadsheet program does (others may only read it)
//   OfficeHelper append FILE PROGRAM...  runs PROGRAM with its output appended to FILE as Windows' cmd does for
//                                        ">>" (the file shared for reading and writing), and returns its exit code;
//                                        Wine's cmd refuses a second ">>" into an open file, Windows' does not.
//   OfficeHelper endsession PROGRAM.EXE  does to every running PROGRAM.EXE what Windows does at logoff: each of its
//                                        top-level windows gets WM_QUERYENDSESSION and WM_ENDSESSION, and once those
//                                        returned the process is ended; exit code 0, or 4 when none had a window.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Window {
    HWND handle;
    DWORD process;
};

BOOL CALLBACK collect(HWND window, LPARAM found)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    reinterpret_cast<std::vector<Window>*>(found)->push_back({window, process});
    return TRUE;
}

bool isProgram(DWORD process, const wchar_t* name)
{
    HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
    if (!handle)
        return false;
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    const bool named = QueryFullProcessImageNameW(handle, 0, path, &length);
    CloseHandle(handle);
    if (!named)
        return false;
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    return _wcsicmp(slash ? slash + 1 : path, name) == 0;
}

int endSession(const wchar_t* program)
{
    std::vector<Window> windows;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&windows));
    std::vector<DWORD> ended;
    for (const Window& window : windows) {
        if (!isProgram(window.process, program))
            continue;
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(window.handle, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 30000, &answer);
        SendMessageTimeoutW(window.handle, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 30000, &answer);
        ended.push_back(window.process);
    }
    for (const DWORD process : ended)
        if (HANDLE handle = OpenProcess(PROCESS_TERMINATE, FALSE, process)) {
            TerminateProcess(handle, 0);
            CloseHandle(handle);
        }
    return ended.empty() ? 4 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wcscmp(argv[1], L"hold") == 0) {
        HANDLE file = CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 3;
        Sleep(static_cast<DWORD>(_wtoi(argv[3])) * 1000);
        CloseHandle(file);
        return 0;
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"append") == 0) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE file = CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 3;
        SetFilePointer(file, 0, nullptr, FILE_END);
        std::wstring command;
        for (int i = 3; i < argc; ++i)
            command += (i > 3 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = file;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
            return 3;
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 3;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        CloseHandle(file);
        return static_cast<int>(code);
    }
    if (argc == 3 && std::wcscmp(argv[1], L"endsession") == 0)
        return endSession(argv[2]);
    std::fputs("OfficeHelper hold FILE SECONDS | append FILE PROGRAM [ARGUMENTS...] | endsession PROGRAM.EXE\n",
               stderr);
    return 2;
}
