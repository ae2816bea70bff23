// What a /watch started again finds done: the rows its output holds already. The workbook is rewritten whole for
// each row, so its rows are kept beside it as JSON lines (a hidden file, known as our output like any other) from
// which it is rebuilt after a restart.

#include "scan/ScanTool.h"

namespace varnok::scantool {

namespace {

std::string contentsOf(HANDLE file)
{
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

std::string contentsOf(const std::wstring& path)
{
    HANDLE file = ::CreateFileW(accessPath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes = contentsOf(file);
    ::CloseHandle(file);
    return bytes;
}

}  // namespace

std::wstring Output::journalName() const { return file_.full + L".wiersze"; }

bool Output::openJournal()
{
    const std::wstring name = journalName();
    const bool existed = ::GetFileAttributesW(accessPath(name).c_str()) != INVALID_FILE_ATTRIBUTES;
    // A workbook made by a batch run has no rows to rebuild it from: rewriting it would lose them.
    if (file_.identity && !existed) {
        err_.text(L"Skoroszyt " + inQuotes(options_.workbookPath) +
                  L" nie powstał z /watch, więc /watch by go zastąpił: podaj nową nazwę skoroszytu\r\n");
        return false;
    }
    journal_ = ::CreateFileW(accessPath(name).c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (journal_ == INVALID_HANDLE_VALUE) {
        journal_ = nullptr;
        err_.text(L"Nie można zapisać pliku " + inQuotes(name) + L": " + systemReason(::GetLastError()) + L"\r\n");
        return false;
    }
    const std::string lines = contentsOf(journal_);
    // A row cut short by a crash or a forced end was never in the workbook, and its line reads as no row.
    rows_ = scan::rowsOfJsonLines(lines);
    // The next row starts on a line of its own, never glued to the cut one, where it would be lost at the next start.
    if (!lines.empty() && lines.back() != '\n') {
        DWORD written = 0;
        if (!::WriteFile(journal_, "\n", 1, &written, nullptr) || written != 1 || !::FlushFileBuffers(journal_)) {
            err_.text(L"Nie można zapisać pliku " + inQuotes(name) + L": " + systemReason(::GetLastError()) + L"\r\n");
            return false;
        }
    }
    return true;
}

bool Output::appendJournal(const scan::FieldsRow& row)
{
    const std::string line = scan::jsonLine(row) + "\n";
    DWORD written = 0;
    if (::WriteFile(journal_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
        written == line.size() && ::FlushFileBuffers(journal_))
        return true;
    err_.text(L"Nie można zapisać pliku " + inQuotes(journalName()) + L": " + systemReason(::GetLastError()) + L"\r\n");
    return false;
}

std::vector<std::wstring> Output::filesAlreadyListed() const
{
    std::vector<std::string> files;
    if (options_.mode == Mode::Xlsx) {
        for (const scan::FieldsRow& row : rows_)
            files.push_back(row.file);
    } else if (out_.kind() == ConsoleOutput::Kind::File) {
        const std::wstring name = finalPathOf(out_.handle());
        if (name.empty())
            return {};
        const std::string text = contentsOf(name);
        if (options_.mode == Mode::Csv)
            files = scan::filesOfCsv(text);
        else if (options_.mode == Mode::Lines)
            files = scan::filesOfLines(text);
        else
            for (const scan::FieldsRow& row : scan::rowsOfJsonLines(text))
                files.push_back(row.file);
    }
    std::vector<std::wstring> wideFiles;
    for (const std::string& file : files)
        wideFiles.push_back(fromUtf8(file));
    return wideFiles;
}

}  // namespace varnok::scantool
