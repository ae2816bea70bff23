// /watch FOLDER: an office's "scan to folder" turned into rows as the scans arrive. A file is read once it has
// stopped changing and no program holds it open for writing; a reading that fails while the file is young is taken
// for a file still being written and tried again when it changes. Files the output already lists are not read again.

#include <map>
#include <set>
#include <thread>

#include "loading/StatusTexts.h"
#include "platform/Ansi.h"
#include "scan/ScanTool.h"

namespace varnok::scantool {

namespace {

constexpr ULONGLONG settle = 1500;     // ms a file stays unchanged before it is read
constexpr ULONGLONG stillYoung = 8000; // ms after its last change during which a failed reading is tried again
constexpr DWORD poll = 500;            // ms between looks at the folder

// What ends a watch from outside: Ctrl+C or Ctrl+Break, the console window closed, the user logging off, Windows
// shutting down. Each ends it as Ctrl+C does: the current row finished, the output written, the summary printed.
// Windows ends the process as soon as the console handler returns from a close (or after about 5 s), and as soon as
// WM_ENDSESSION returns at logoff and shutdown, which a process using user32 gets in place of the console's
// events: both hold until the watch has finished.
class StopRequests {
public:
    StopRequests()
    {
        ::ResetEvent(events().stop);
        ::ResetEvent(events().finished);
        ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
        HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        windowThread_ = std::thread([this, ready] { runWindow(ready); });
        ::WaitForSingleObject(ready, 5000);
        ::CloseHandle(ready);
    }

    ~StopRequests()
    {
        finished();
        ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
        if (window_)
            ::PostMessageW(window_, WM_CLOSE, 0, 0);
        windowThread_.join();
    }

    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    HANDLE event() const { return events().stop; }
    bool requested() const { return ::WaitForSingleObject(events().stop, 0) == WAIT_OBJECT_0; }
    // Everything written: a held close, logoff or shutdown may end the process now.
    void finished() { ::SetEvent(events().finished); }

private:
    // The handler runs on a thread of the system's own, and may still be running, or only starting, when the
    // watch ends: what it touches lives as long as the process.
    struct Events {
        HANDLE stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    };
    static const Events& events()
    {
        static const Events shared;
        return shared;
    }

    static BOOL WINAPI onConsoleEvent(DWORD event) noexcept
    {
        ::SetEvent(events().stop);
        if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
            ::WaitForSingleObject(events().finished, INFINITE);
        return TRUE;
    }

    static LRESULT CALLBACK onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
    {
        switch (message) {
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) {
                ::SetEvent(events().stop);
                ::WaitForSingleObject(events().finished, INFINITE);
            }
            return 0;
        case WM_CLOSE:
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
    }

    // A hidden top-level window of its own thread: the end of the session reaches top-level windows only.
    void runWindow(HANDLE ready)
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = onMessage;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VarnokScanWatch";
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowExW(0, windowClass.lpszClassName, L"VarnokScan /watch", WS_OVERLAPPED, 0, 0, 0, 0,
                                    nullptr, nullptr, windowClass.hInstance, nullptr);
        ::SetEvent(ready);
        if (!window_)
            return;
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0)
            ::DispatchMessageW(&message);
    }

    HWND window_ = nullptr;
    std::thread windowThread_;
};

std::wstring keyOf(std::wstring name)
{
    ::CharLowerBuffW(name.data(), static_cast<DWORD>(name.size()));
    return name;
}

struct State {
    LONGLONG size = -1;
    FILETIME written{};
    ULONGLONG changed = 0;     // tick of the last change seen
    bool failedAsIs = false;   // read and failed in this very state
};

bool sameState(const State& a, LONGLONG size, const FILETIME& written)
{
    return a.size == size && ::CompareFileTime(&a.written, &written) == 0;
}

// No other program writes it: a scanner that still holds the file open for writing shares it for reading only.
bool writtenToTheEnd(const std::wstring& path)
{
    HANDLE file = ::CreateFileW(accessPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

bool mayBeIncomplete(scan::Problem problem)
{
    using P = scan::Problem;
    return problem == P::Unreadable || problem == P::Damaged || problem == P::NoSymbol || problem == P::PdfNoImage ||
           problem == P::NotFound || problem == P::NoAccess;
}

// "14:02:11 2026-12-08\skan.png: OK" for whoever watches the window.
std::wstring consoleLine(const Item& item, const Outcome& outcome, Mode mode)
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t clock[16];
    std::swprintf(clock, 16, L"%02u:%02u:%02u ", now.wHour, now.wMinute, now.wSecond);
    std::wstring line = clock + item.shown + L": ";
    if (mode == Mode::Lines)
        return line + (outcome.read.failure == aztec::ReadFailure::None ? L"odczytano" : outcome.reason);
    line += fromUtf8(outcome.row.status);
    for (const fields::Field field : {fields::Field::NrRejestracyjny, fields::Field::Marka})
        if (const auto& value = outcome.row.values[static_cast<std::size_t>(field)])
            line += L", " + fromUtf8(*value);
    if (!outcome.row.advice.empty())
        line += L" — " + fromUtf8(outcome.row.advice);
    return line;
}

}  // namespace

int watchFolder(const Options& options, const ConsoleOutput& out, const ConsoleOutput& err)
{
    Output output(options, out, err);
    if (!output.open())
        return 2;
    std::set<std::wstring> done;
    for (const std::wstring& file : output.filesAlreadyListed())
        done.insert(keyOf(file));
    if (!output.start())
        return 2;
    StopRequests stop;
    err.text(L"Czekam na nowe skany w folderze " + inQuotes(options.arguments.front()) + L" (" +
             std::to_wstring(done.size()) + L" plików jest już w wynikach); Ctrl+C kończy\r\n");

    std::map<std::wstring, State> seen;
    int read = 0, failures = 0, skipped = 0, exitCode = -1;
    for (unsigned round = 1; exitCode < 0 && ::WaitForSingleObject(stop.event(), poll) == WAIT_TIMEOUT; ++round) {
        if (round % 20 == 0)
            output.retryWorkbook();
        skipped = 0;
        for (const Item& item : itemsOf(options.arguments, output.file(), skipped)) {
            if (stop.requested())
                break;
            const std::wstring key = keyOf(options.mode == Mode::Lines ? item.path : item.shown);
            if (done.contains(key))
                continue;
            const ULONGLONG now = ::GetTickCount64();
            State& state = seen[key];
            if (item.kind == Item::Kind::File) {
                WIN32_FILE_ATTRIBUTE_DATA data{};
                if (!::GetFileAttributesExW(accessPath(item.path).c_str(), GetFileExInfoStandard, &data))
                    continue;
                const LONGLONG size = (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
                if (!sameState(state, size, data.ftLastWriteTime)) {
                    state = {size, data.ftLastWriteTime, now, false};
                    continue;
                }
                if (now - state.changed < settle || state.failedAsIs || !writtenToTheEnd(item.path))
                    continue;
            }
            Outcome outcome = scan(item);
            if (options.mode != Mode::Lines)
                outcome.row = rowOf(item, outcome);
            if (outcome.read.failure != aztec::ReadFailure::None && mayBeIncomplete(outcome.problem) &&
                now - state.changed < stillYoung) {
                state.failedAsIs = true;  // tried again once the file changes, or reported when it has not
                continue;
            }
            const bool ok = options.mode == Mode::Lines ? outcome.read.failure == aztec::ReadFailure::None
                                                        : outcome.row.status == toUtf8(status::ok);
            if (!output.add(item, outcome)) {
                exitCode = 2;
                break;
            }
            ++(ok ? read : failures);
            done.insert(key);
            seen.erase(key);
            if (!out.console() || options.mode == Mode::Xlsx)
                err.text(consoleLine(item, outcome, options.mode) + L"\r\n");
        }
        // A failed reading of a file that did not change since is reported once the file is no longer young.
        for (auto& [key, state] : seen)
            if (state.failedAsIs && ::GetTickCount64() - state.changed >= stillYoung)
                state.failedAsIs = false;
    }
    output.retryWorkbook();
    if (exitCode >= 0)
        return exitCode;
    err.text(fromUtf8(scan::summaryLine(read, failures, skipped)) + L"\r\n");
    if (output.workbookBehind()) {
        err.text(L"Skoroszytu " + inQuotes(options.workbookPath) +
                 L" nie zapisano z ostatnimi wierszami: zapisze go następne uruchomienie /watch\r\n");
        return 2;
    }
    return scan::scanExitCode(read + failures, failures);
}

}  // namespace varnok::scantool
