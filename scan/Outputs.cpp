// Where the rows go: stdout (lines, CSV, JSON) or the workbook. Both are opened and checked before anything is
// read, held against a second run into the same file, and every write is checked.

#include <filesystem>

#include "loading/ImageCodet.h"
#include "loading/StatusTexts.h"
#include "platform/Ansi.h"
#include "platform/UserLocale.h"
#include "scan/ScanTool.h"
#include "scan/Workbook.h"

namespace varnok::scantool {

namespace {

// Beyond any size a results file reaches: locking it never stops a write, only a second run's lock.
constexpr DWORD lockOffsetHigh = 0x40000000;

// The workbook as this run alone writes it, beside the old one, so that the old one is replaced only when complete.
std::wstring temporaryName(const std::wstring& full)
{
    return full + L".~" + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
}

std::wstring mutexName(const std::wstring& full)
{
    std::wstring lower = full;
    ::CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
    std::uint64_t hash = 14695981039346656037ull;
    for (const wchar_t c : lower)
        hash = (hash ^ c) * 1099511628211ull;
    wchar_t hex[17];
    std::swprintf(hex, 17, L"%016llx", static_cast<unsigned long long>(hash));
    return L"Local\\VarnokScan-" + std::wstring(hex);
}

// The zip comment that says the workbook is ours, written into its end record.
bool markWorkbook(const std::wstring& path)
{
    HANDLE file = ::CreateFileW(accessPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER end{}, at{};
    char record[22]{};
    DWORD done = 0;
    bool marked = ::GetFileSizeEx(file, &end) && end.QuadPart >= 22;
    if (marked) {
        at.QuadPart = end.QuadPart - 22;
        marked = ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::ReadFile(file, record, 22, &done, nullptr) &&
                 done == 22 && std::string_view(record, 4) == "PK\x05\x06" && record[20] == 0 && record[21] == 0;
    }
    if (marked) {
        const char length[2] = {static_cast<char>(workbookMark.size() & 0xFF), static_cast<char>(workbookMark.size() >> 8)};
        at.QuadPart = end.QuadPart - 2;
        marked = ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::WriteFile(file, length, 2, &done, nullptr) &&
                 done == 2 &&
                 ::WriteFile(file, workbookMark.data(), static_cast<DWORD>(workbookMark.size()), &done, nullptr) &&
                 done == workbookMark.size() && ::FlushFileBuffers(file);
    }
    ::CloseHandle(file);
    return marked;
}

}  // namespace

Output::Output(const Options& options, const ConsoleOutput& out, const ConsoleOutput& err)
    : options_(options), out_(out), err_(err)
{
    separator_ = toUtf8(std::u16string(1, listSeparator()));
    // Text for a reader of UTF-8 (a file, a program's pipe) carries a byte-order mark, at the start only.
    utf8Out_ = !out.console() && out.codePage() == CP_UTF8;
}

Output::~Output()
{
    if (journal_)
        ::CloseHandle(journal_);
    if (mutex_) {
        ::ReleaseMutex(mutex_);
        ::CloseHandle(mutex_);
    }
}

bool Output::open()
{
    if (options_.mode != Mode::Xlsx) {
        if (out_.kind() != ConsoleOutput::Kind::File)
            return true;
        file_.identity = identityOf(out_.handle());
        if (const std::wstring name = finalPathOf(out_.handle()); !name.empty())
            file_.name = fileNameOf(name);
        OVERLAPPED beyond{};
        beyond.OffsetHigh = lockOffsetHigh;
        if (!::LockFileEx(out_.handle(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &beyond) &&
            ::GetLastError() == ERROR_LOCK_VIOLATION) {
            err_.text(L"Do pliku wyników " + inQuotes(file_.name) +
                      L" pisze już inne uruchomienie VarnokScan.exe: nic nie odczytano ani nie zapisano\r\n");
            return false;
        }
        return true;
    }
    const std::wstring& given = options_.workbookPath;
    file_.full = fullPath(given);
    const std::wstring folder = std::filesystem::path(file_.full).parent_path().wstring();
    const DWORD attributes = ::GetFileAttributesW(accessPath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        err_.text(L"Nie można zapisać skoroszytu " + inQuotes(given) + L": folder " + inQuotes(folder) +
                  L" nie istnieje\r\n");
        return false;
    }
    file_.name = fileNameOf(file_.full);
    file_.identity = identityOf(file_.full);
    mutex_ = ::CreateMutexW(nullptr, FALSE, mutexName(file_.full).c_str());
    if (mutex_ && ::WaitForSingleObject(mutex_, 0) == WAIT_TIMEOUT) {
        ::CloseHandle(mutex_);
        mutex_ = nullptr;
        err_.text(L"Skoroszyt " + inQuotes(given) +
                  L" zapisuje już inne uruchomienie VarnokScan.exe: nic nie odczytano ani nie zapisano\r\n");
        return false;
    }
    // The old workbook must be replaceable (not open in Excel, not read-only), and the folder must take a new file.
    HANDLE probe = INVALID_HANDLE_VALUE;
    if (file_.identity)
        probe = ::CreateFileW(accessPath(file_.full).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    else
        probe = ::CreateFileW(accessPath(temporaryName(file_.full)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        err_.text(L"Nie można zapisać skoroszytu " + inQuotes(given) +
                  L" (jest otwarty w innym programie albo brak prawa zapisu): " + systemReason(::GetLastError()) + L"\r\n");
        return false;
    }
    ::CloseHandle(probe);
    return !options_.watch || openJournal();
}

bool Output::failedWrite()
{
    if (!out_.failed())
        return false;
    err_.text(L"Nie można zapisać wyników" + (file_.name.empty() ? L"" : L" do " + inQuotes(file_.name)) + L": " +
              systemReason(out_.error()) + L"\r\n");
    return true;
}

bool Output::start()
{
    // A file appended to with ">>" that has rows already gets neither the mark nor the header again.
    if (options_.mode == Mode::Csv && (out_.kind() != ConsoleOutput::Kind::File || out_.atStart())) {
        if (utf8Out_)
            out_.bytes("\xEF\xBB\xBF");
        out_.text(fromUtf8(scan::csvHeader(separator_)));
    }
    return !failedWrite();
}

bool Output::add(const Item& item, Outcome& outcome)
{
    switch (options_.mode) {
    case Mode::Lines:
        if (!utf8Out_) {
            std::wstring text = item.path + L'\t';
            if (outcome.read.failure == aztec::ReadFailure::None)
                text += wide(scannerText(outcome.read.bytes));
            else
                text += L"!\t" + outcome.reason;
            out_.text(text + L"\r\n");
        } else {
            outcome.read.reason = utf8(outcome.reason);
            out_.bytes(scan::scanLine(utf8(item.path), outcome.read) + '\n');
        }
        break;
    case Mode::Csv: out_.text(fromUtf8(scan::csvRecord(outcome.row, separator_))); break;
    case Mode::Json: out_.text(fromUtf8(scan::jsonLine(outcome.row) + "\n")); break;
    case Mode::Xlsx: {
        scan::FieldsRow row = outcome.row;
        // The sheet says which file in its first column; its statuses need no folder.
        row.status = scan::withoutFolder(row.status, utf8(accessPath(item.path)), row.file);
        row.status = scan::withoutFolder(row.status, utf8(item.path), row.file);
        if (options_.watch && !appendJournal(row))
            return false;
        rows_.push_back(std::move(row));
        if (options_.watch)
            workbookBehind_ = !writeWorkbook(workbookBehind_);
        return true;
    }
    }
    return !failedWrite();
}

bool Output::finish() { return options_.mode != Mode::Xlsx || options_.watch || writeWorkbook(); }

void Output::retryWorkbook()
{
    if (workbookBehind_)
        workbookBehind_ = !writeWorkbook(true);
}

bool Output::writeWorkbook(bool quiet)
{
    const std::wstring temporary = temporaryName(file_.full);
    std::string reason;
    bool written = false;
    refusedRows_ = 0;
    {
        scan::Workbook workbook(utf8(temporary));
        // A row already counted as not read is not counted again.
        for (const scan::FieldsRow& row : rows_)
            refusedRows_ += !workbook.add(row) && row.status == toUtf8(status::ok);
        written = workbook.close(reason);
    }
    DWORD error = ERROR_SUCCESS;
    if (written && !markWorkbook(temporary)) {
        error = ::GetLastError();
        written = false;
    }
    if (written && !::MoveFileExW(accessPath(temporary).c_str(), accessPath(file_.full).c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ::GetLastError();
        written = false;
    }
    if (written)
        return true;
    ::DeleteFileW(accessPath(temporary).c_str());
    if (reason.empty())
        reason = utf8(systemReason(error));
    if (quiet)
        return false;
    if (options_.watch)
        reason += "; zapiszę go ponownie, gdy to będzie możliwe (wiersze są bezpieczne w pliku .wiersze)";
    err_.text(L"Nie można zapisać skoroszytu " + inQuotes(options_.workbookPath) + L": " + fromUtf8(reason) +
              L"; poprzedni skoroszyt (jeśli był) pozostał bez zmian\r\n");
    return false;
}

}  // namespace varnok::scantool
