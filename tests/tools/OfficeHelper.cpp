// What other programs in an office do to the files VarnokScan.exe writes, for tests/images/office-table.sh:
//   OfficeHelper hold FILE SECONDS       keeps FILE open as a spreadsheet program does (others may only read it)
//   OfficeHelper append FILE PROGRAM...  runs PROGRAM with its output appended to FILE as Windows' cmd does for
//                                        ">>" (the file shared for reading and writing), and returns its exit code;
//                                        Wine's cmd refuses a second ">>" into an open file, Windows' does not.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

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
    std::fputs("OfficeHelper hold FILE SECONDS | append FILE PROGRAM [ARGUMENTS...]\n", stderr);
    return 2;
}
