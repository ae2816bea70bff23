#include "ProcessUsage.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace varnok::test {

namespace {

struct HandleEntry {
    USHORT process;
    USHORT creatorBackTrace;
    UCHAR type;
    UCHAR attributes;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

// Handles of the process, from the system's handle table (what GetProcessHandleCount gives on Windows; Wine
// answers that with 0 for another process but keeps the table).
long handleCount(DWORD processId)
{
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<char> buffer(1 << 20);
    ULONG length = 0;
    constexpr ULONG systemHandleInformation = 16;
    constexpr LONG infoLengthMismatch = static_cast<LONG>(0xC0000004);
    LONG status;
    while ((status = query(systemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &length)) ==
           infoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return -1;
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
    long handles = 0;
    for (ULONG i = 0; i < count; ++i)
        handles += entries[i].process == static_cast<USHORT>(processId);
    return handles;
}

// Under Wine: the resident set of the Unix process whose command line names the server, in this client's own Wine
// prefix: the machine may run other prefixes' servers at the same time (the test command's other build does).
long wineResidentKiB(const wchar_t* executable)
{
    wchar_t prefix[4096];
    const DWORD length = GetEnvironmentVariableW(L"WINEPREFIX", prefix, 4096);
    const std::string ownPrefix =
        length > 0 && length < 4096 ? "WINEPREFIX=" + utf8(std::wstring(prefix, length)) + '\0' : std::string();
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
    long kib = -1;
    if (search == INVALID_HANDLE_VALUE)
        return kib;
    do {
        const std::wstring dir = std::wstring(L"Z:\\proc\\") + found.cFileName;
        const std::vector<char> command = readBytes(dir + L"\\cmdline");
        if (std::string(command.begin(), command.end()).find(utf8(executable)) == std::string::npos)
            continue;
        if (!ownPrefix.empty()) {
            const std::vector<char> environment = readBytes(dir + L"\\environ");
            if (std::string(environment.begin(), environment.end()).find(ownPrefix) == std::string::npos)
                continue;
        }
        const std::vector<char> status = readBytes(dir + L"\\status");
        const std::string text(status.begin(), status.end());
        const auto at = text.find("VmRSS:");
        if (at != std::string::npos)
            kib = std::stol(text.substr(at + 6));
    } while (kib < 0 && FindNextFileW(search, &found));
    FindClose(search);
    return kib;
}

}  // namespace

Usage serverUsage(const wchar_t* executable)
{
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    Usage usage;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, executable) != 0)
            continue;
        usage.handles = handleCount(entry.th32ProcessID);
        if (wine) {
            usage.memoryKiB = wineResidentKiB(executable);
        } else if (HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID)) {
            PROCESS_MEMORY_COUNTERS_EX counters{};
            counters.cb = sizeof counters;
            if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
                usage.memoryKiB = static_cast<long>(counters.PrivateUsage / 1024);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
    return usage;
}

}  // namespace varnok::test
