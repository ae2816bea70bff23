// VarnokScan.exe [/fields [/csv|/json] | /xlsx FILE] [/watch] FILE|FOLDER...: the Windows console reader, with the
// system's own image decoders and the server's loading code. The same lines as varnok-scan: FILE<TAB>TEXT or
// FILE<TAB>!<TAB>reason. Exit codes: 0 when every file was read (none to read included), 1 when some were not, 2
// when nothing could be done (usage, a missing folder, an output that cannot be written). A folder stands for every
// file under it, subfolders included, except hidden and system files and our own outputs. On a console the
// lines are shown as text (the symbol's bytes in ISO 8859-1); into a pipe, in the console's code page; into a file,
// file names and reasons as UTF-8 and the symbol's bytes unchanged. /fields decodes each payload through the
// decoder library beside the EXE, as ReadCodetData does, into one row of the 31 properties per file. Files are read
// on every core; rows come out in file-name order. A summary closes every run on stderr.

#include <windows.h>
#include <objbase.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/FloatingPoint.h"
#include "loading/ImageCodet.h"
#include "loading/StatusTexts.h"
#include "platform/Ansi.h"
#include "platform/DllSearch.h"
#include "scan/ScanTool.h"

// The workbook library opens files with fopen: given UTF-8, as its Windows builds expect, they open by wide name.
extern "C" FILE* __real_fopen(const char* name, const char* mode);
extern "C" FILE* __wrap_fopen(const char* name, const char* mode)
{
    const auto widen = [](const char* text) {
        const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
        if (size > 0)
            ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide.data(), size);
        return wide;
    };
    const std::wstring wideName = widen(name), wideMode = widen(mode);
    if (wideName.empty() || wideMode.empty())
        return __real_fopen(name, mode);
    return ::_wfopen(wideName.c_str(), wideMode.c_str());
}

// The workbook library's own log lines are in English and for developers: its errors reach the clerk as our Polish
// message instead. Anything else goes where it was meant to.
extern "C" int __real___mingw_vfprintf(FILE* stream, const char* format, va_list arguments);
extern "C" int __wrap___mingw_vfprintf(FILE* stream, const char* format, va_list arguments)
{
    if (stream == stderr)
        return 0;
    return __real___mingw_vfprintf(stream, format, arguments);
}

namespace {

using namespace varnok::scantool;
using varnok::ConsoleOutput;
using varnok::aztec::ReadFailure;

// "12/200 skan012.pdf" on one console line, rewritten in place; nothing when stderr is redirected.
class Progress {
public:
    explicit Progress(const ConsoleOutput& err) : err_(err) {}

    void show(std::size_t done, std::size_t total, const std::wstring& name)
    {
        if (!err_.console())
            return;
        std::wstring line = std::to_wstring(done) + L"/" + std::to_wstring(total) + L" " + name;
        const std::size_t width = line.size();
        if (line.size() < shown_)
            line.append(shown_ - line.size(), L' ');
        err_.text(L"\r" + line);
        shown_ = width;
    }

    // Before anything else is written to the console.
    void clear()
    {
        if (!err_.console() || shown_ == 0)
            return;
        err_.text(L"\r" + std::wstring(shown_, L' ') + L"\r");
        shown_ = 0;
    }

private:
    const ConsoleOutput& err_;
    std::size_t shown_ = 0;
};

int readAll(const Options& options, const ConsoleOutput& out, const ConsoleOutput& err)
{
    Output output(options, out, err);
    if (!output.open())
        return 2;
    int skipped = 0;
    const std::vector<Item> items = itemsOf(options.arguments, output.file(), skipped);
    if (!output.start())
        return 2;
    Progress progress(err);
    int failures = 0;
    {
        Readers readers(items, options.mode != Mode::Lines);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Item& item = items[i];
            progress.show(i + 1, items.size(), fileNameOf(item.path));
            Outcome outcome = readers.take(i);
            progress.clear();
            for (const std::string& note : varnok::scan::symbolNotes(utf8(item.path), outcome.read))
                err.text(fromUtf8(note) + L"\r\n");
            failures += options.mode == Mode::Lines ? outcome.read.failure != ReadFailure::None
                                                    : outcome.row.status != varnok::toUtf8(varnok::status::ok);
            // A row that cannot be written ends the run: reading on would only lose more.
            if (!output.add(item, outcome))
                return 2;
        }
    }
    progress.clear();
    if (!output.finish())
        return 2;
    failures += output.refusedRows();
    const int total = static_cast<int>(items.size());
    err.text(fromUtf8(varnok::scan::summaryLine(total - failures, failures, skipped)) + L"\r\n");
    return varnok::scan::scanExitCode(total, failures);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Before anything loads a library: a clerk runs this from the folder of the scans, which anyone may fill.
    varnok::restrictProcessDllSearch();
    const ConsoleOutput out(STD_OUTPUT_HANDLE), err(STD_ERROR_HANDLE);
    Options options;
    if (const std::optional<int> done = parseArguments(argc, argv, out, err, options))
        return *done;
    if (!argumentsExist(options, err))
        return 2;
    if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 2;
    const int exitCode = options.watch ? watchFolder(options, out, err) : readAll(options, out, err);
    ::CoUninitialize();
    return exitCode;
}
