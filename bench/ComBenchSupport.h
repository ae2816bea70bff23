#pragma once
// What ComBench's phases share: the two servers, figures and their printing, the watchdog that ends a phase that
// never ends, and small file helpers.

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "VarnokSrv.h"
#include "platform/ComPtr.h"

namespace varnok::bench {

using namespace varnok::test;

struct Server {
    const wchar_t* progId;
    const wchar_t* iid;
    const wchar_t* executable;
};
const Server product{L"VarnokSrv.FileReader", L"{828403FC-4836-4F34-B09D-33ED4C913C0B}", L"VarnokSrv.exe"};
const Server baseline{L"VarnokBaseline.FileReader", L"{AD9E3D46-5C5C-4AE8-8D48-FDEB5182ADE5}", L"VarnokBaseline.exe"};

struct Figures {
    double min, median, max;
};

inline double now()
{
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline Figures figures(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples.front(), samples[samples.size() / 2], samples.back()};
}

// Microseconds per call of `body`, over `rounds` rounds of `calls` calls.
inline Figures measure(int rounds, int calls, const std::function<void()>& body)
{
    std::vector<double> perCall;
    for (int round = 0; round < rounds; ++round) {
        const double start = now();
        for (int i = 0; i < calls; ++i)
            body();
        perCall.push_back((now() - start) * 1e6 / calls);
    }
    return figures(std::move(perCall));
}

inline void print(const char* what, const Figures& f)
{
    std::printf("  %-52s %10.1f %10.1f %10.1f\n", what, f.min, f.median, f.max);
}

inline void verdict(const char* what, double ratio, double target)
{
    std::printf("  %-52s %10.2f   target <= %.2f  %s\n", what, ratio, target, ratio <= target ? "met" : "MISSED");
}

// Every phase has a deadline: a call into a server that never answers (or a COM runtime waiting for one) ends
// the run with a message instead of hanging it. The watchdog thread only reads; phases set what it watches.
inline std::atomic<const char*> phaseName{"start"};
inline std::atomic<double> phaseDeadline{0};

class Phase {
public:
    Phase(const char* name, double seconds)
    {
        phaseName = name;
        phaseDeadline = now() + seconds;
    }
    ~Phase() { phaseDeadline = 0; }
    Phase(const Phase&) = delete;
    Phase& operator=(const Phase&) = delete;
};

inline void watch()
{
    for (;;) {
        Sleep(200);
        const double deadline = phaseDeadline;
        if (deadline == 0 || now() < deadline)
            continue;
        std::fprintf(stderr,
                     "ComBench: \"%s\" did not finish in time (VarnokSrv.exe %s, VarnokBaseline.exe %s); giving up\n",
                     phaseName.load(), processRunning(L"VarnokSrv.exe") ? "running" : "not running",
                     processRunning(L"VarnokBaseline.exe") ? "running" : "not running");
        std::fflush(stderr);
        ExitProcess(3);
    }
}

inline ComPtr<_FileReader> create(const Server& server)
{
    CLSID clsid;
    IID iid;
    CLSIDFromProgID(server.progId, &clsid);
    IIDFromString(server.iid, &iid);
    ComPtr<_FileReader> reader;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, iid, reader.putVoid());
    if (FAILED(hr))
        throw std::runtime_error("cannot create " + utf8(server.progId));
    return reader;
}

// A cold activation needs the previous server gone; one that outlives its 2-s grace by far is stuck.
inline void waitForExit(const wchar_t* executable)
{
    for (int i = 0; i < 200 && processRunning(executable); ++i)
        Sleep(50);
    if (processRunning(executable))
        throw std::runtime_error(utf8(executable) + " still runs 10 s after its last client; no cold activation");
}

inline std::wstring text(BSTR value) { return value ? std::wstring(value, SysStringLen(value)) : std::wstring(); }

// The payloads of the file, one a line, without their line ends.
inline std::vector<std::string> payloadLines(const std::vector<char>& bytes)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : bytes) {
        if (c == '\n' || c == '\r') {
            if (!line.empty())
                lines.push_back(std::move(line));
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}

// Cycles through the items, one per call.
template <typename T>
class Cycle {
public:
    explicit Cycle(const std::vector<T>& items) : items_(items) {}
    const T& next() { return items_[next_++ % items_.size()]; }
    void restart() { next_ = 0; }

private:
    const std::vector<T>& items_;
    std::size_t next_ = 0;
};

inline void writeFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// ComBenchBusy.cpp: another client's calls while one client's image read is held by each hostile file.
void measureWhileBusy(const std::wstring& folder, const Bstr& sample);

}  // namespace varnok::bench
