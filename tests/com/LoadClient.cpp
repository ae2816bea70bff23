// A client process for the load and soak runs: a given number of mixed calls on one object — ReadData of the
// sample, ReadData of a missing file, ReadCodetData with the scripted decoder, property reads, CloseData — each
// checked. With --measure it also reports the server's memory and handle count after the first tenth of the calls
// and at the end. Exit code 0 only when every call gave the expected answer.
// Usage: LoadClient <calls> vtable|dispatch <sample.xml> <scratch folder> [--measure]

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ReaderClient.h"
#include "TestSupport.h"

using namespace varnok::test;

namespace {

struct Usage {
    long memoryKiB = 0;  // private bytes on Windows; resident set under Wine, which reports no private bytes
    long handles = 0;
};

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

// Under Wine: the resident set of the Unix process whose command line names the server.
long wineResidentKiB()
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
    long kib = -1;
    if (search == INVALID_HANDLE_VALUE)
        return kib;
    do {
        const std::wstring dir = std::wstring(L"Z:\\proc\\") + found.cFileName;
        const std::vector<char> command = readBytes(dir + L"\\cmdline");
        if (std::string(command.begin(), command.end()).find("VarnokSrv.exe") == std::string::npos)
            continue;
        const std::vector<char> status = readBytes(dir + L"\\status");
        const std::string text(status.begin(), status.end());
        const auto at = text.find("VmRSS:");
        if (at != std::string::npos)
            kib = std::stol(text.substr(at + 6));
    } while (kib < 0 && FindNextFileW(search, &found));
    FindClose(search);
    return kib;
}

// The one running server process, found by its name.
Usage serverUsage()
{
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    Usage usage;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"VarnokSrv.exe") != 0)
            continue;
        usage.handles = handleCount(entry.th32ProcessID);
        if (wine) {
            usage.memoryKiB = wineResidentKiB();
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

void print(const char* when, const Usage& usage)
{
    std::printf("%s: memory %ld KiB, handles %ld\n", when, usage.memoryKiB, usage.handles);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: LoadClient <calls> vtable|dispatch <sample.xml> <scratch folder> [--measure]\n");
        return 2;
    }
    const long calls = std::stol(argv[1]);
    const Binding binding = std::wstring(argv[2]) == L"dispatch" ? Binding::Dispatch : Binding::Vtable;
    const std::wstring sample = argv[3];
    const std::wstring folder = argv[4];
    const bool measure = argc > 5 && std::wstring(argv[5]) == L"--measure";

    ComApartment apartment;
    std::unique_ptr<ReaderClient> reader;
    try {
        reader = createReader(binding);
    } catch (const std::exception& e) {
        std::printf("RESULT calls=0 failures=1 (%s)\n", e.what());
        return 1;
    }
    const std::wstring payload = L"VARNOK-TEST\x1E" + folder + L"\\calls.txt\x1E" +
                                 L"xml:<Dane><Error>0</Error><Error_name></Error_name><A>WK 7</A></Dane>";
    const std::wstring missing = folder + L"\\brak.xml";

    long done = 0, failures = 0;
    std::map<std::wstring, std::wstring> sampleValues;
    Usage early;
    const auto expect = [&](bool ok, const char* what) {
        ++done;
        if (!ok && ++failures <= 10)
            std::printf("call %ld: %s\n", done, what);
        if (measure && done == calls / 10)
            early = serverUsage();
    };

    while (done < calls) {
        const Answer loaded = reader->readData(sample);
        expect(loaded.hr == S_OK && loaded.text == L"OK", "ReadData of the sample");
        for (const auto& property : propertyNames()) {
            const Answer value = reader->get(property);
            // The first pass records the sample's values; every later one must give the same.
            auto [known, first] = sampleValues.emplace(property, value.text);
            expect(value.hr == S_OK && (first || known->second == value.text), "a property of the sample");
        }
        expect(reader->readData(missing).text == L"Brak pliku " + missing, "ReadData of a missing file");
        expect(reader->get(L"NrRejestracyjny").text == L"WA 12345", "the sample kept after a missing file");
        expect(reader->readCodetData(payload, folder).text == L"OK", "ReadCodetData");
        expect(reader->get(L"NrRejestracyjny").text == L"WK 7", "the decoded registration number");
        expect(reader->closeData().hr == S_OK, "CloseData");
        // Saved copies share one name within a second: keep the folder small.
        for (const auto& name : filesIn(folder))
            if (name != L"calls.txt")
                DeleteFileW((folder + L"\\" + name).c_str());
    }
    if (measure) {
        const Usage late = serverUsage();
        print("server after a tenth of the calls", early);
        print("server at the end", late);
        if (early.memoryKiB <= 0 || late.memoryKiB <= 0 || early.handles <= 0 || late.handles <= 0) {
            std::printf("the server's memory or handles could not be measured\n");
            ++failures;
        }
        std::printf("GROWTH memory=%ld KiB handles=%ld\n", late.memoryKiB - early.memoryKiB,
                    late.handles - early.handles);
    }
    DeleteFileW((folder + L"\\calls.txt").c_str());
    std::printf("RESULT calls=%ld failures=%ld\n", done, failures);
    return failures ? 1 : 0;
}
