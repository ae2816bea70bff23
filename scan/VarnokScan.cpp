// VarnokScan.exe [/fields [/csv|/json] | /xlsx FILE] FILE|FOLDER...: the Windows console reader, with the system's
// own image decoders and the server's loading code. The same lines and exit codes as varnok-scan: FILE<TAB>TEXT or
// FILE<TAB>!<TAB>reason; 0 when every file was read, 1 otherwise, 2 for a usage error. A folder stands for every
// file under it, subfolders included, except hidden and system files and the output itself. On a console the
// lines are shown as text (the symbol's bytes in ISO 8859-1); into a pipe, in the console's code page; into a file,
// file names and reasons as UTF-8 and the symbol's bytes unchanged. /fields decodes each payload through the
// decoder library beside the EXE, as ReadCodetData does, into one row of the 31 properties per file. Files are read
// on every core; rows come out in file-name order. A summary closes every run on stderr.

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "aztec/Reader.h"
#include "loading/CodetFields.h"
#include "loading/ImageCodet.h"
#include "loading/StatusTexts.h"
#include "platform/Ansi.h"
#include "platform/ComError.h"
#include "platform/ConsoleOutput.h"
#include "platform/DllSearch.h"
#include "base/Failure.h"
#include "platform/UserLocale.h"
#include "scan/ScanFiles.h"
#include "scan/Workbook.h"

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

namespace {

using varnok::ConsoleOutput;
using varnok::aztec::ReadFailure;
using varnok::aztec::ReadResult;
using varnok::scan::Problem;

constexpr wchar_t usage[] =
    L"Użycie: VarnokScan.exe [/fields [/csv | /json] | /xlsx PLIK.xlsx] PLIK|FOLDER...\r\n"
    L"Odczytuje kod Aztec dowodu rejestracyjnego ze skanów i zdjęć (PNG, JPEG, BMP, GIF, TIFF, PDF); folder to\r\n"
    L"każdy plik w nim i w jego podfolderach (bez plików ukrytych i systemowych oraz bez pliku wyników).\r\n"
    L"  bez przełączników  wiersz na plik: PLIK<TAB>TEKST kodu albo PLIK<TAB>!<TAB>przyczyna\r\n"
    L"  /fields, /csv      31 pól dowodu rozkodowanych biblioteką azteccodeQELM.dll z folderu programu, jak robi\r\n"
    L"                     to ReadCodetData: CSV (UTF-8, separator listy z ustawień regionalnych), kolumny Plik,\r\n"
    L"                     Status i Wskazówka na końcu\r\n"
    L"  /json              to samo, jeden obiekt JSON w wierszu\r\n"
    L"  /xlsx PLIK.xlsx    to samo jako skoroszyt Excel: Plik, Status i Wskazówka w pierwszych kolumnach, liczby\r\n"
    L"                     i daty jako liczby i daty\r\n"
    L"  /?, --help         ten opis\r\n"
    L"Na koniec na stderr: ile plików odczytano, ilu nie, ile pominięto.\r\n"
    L"Kod wyjścia: 0 gdy odczytano każdy plik, 1 gdy któregoś nie, 2 przy błędnym wywołaniu.\r\n";

enum class Mode { Lines, Csv, Json, Xlsx };

std::wstring inQuotes(const std::wstring& path) { return L"\"" + path + L"\""; }

std::u16string u16(const std::wstring& text) { return {text.begin(), text.end()}; }
std::wstring wide(std::u16string_view text) { return {text.begin(), text.end()}; }
std::string utf8(const std::wstring& text) { return varnok::toUtf8(u16(text)); }

std::wstring fromUtf8(std::string_view bytes)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    if (size > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

std::wstring joined(const std::wstring& folder, const std::wstring& name)
{
    if (name.empty())
        return folder;
    return folder + (folder.ends_with(L'\\') || folder.ends_with(L'/') ? L"" : L"\\") + name;
}

std::wstring fullPath(const std::wstring& path)
{
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    full.resize(::GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

// Past MAX_PATH the system reads a path only in its \\?\ form, which must be absolute and use backslashes.
std::wstring accessPath(const std::wstring& path)
{
    if (path.size() < 240 || path.starts_with(L"\\\\?\\"))
        return path;
    std::wstring full = fullPath(path);
    std::replace(full.begin(), full.end(), L'/', L'\\');
    if (full.starts_with(L"\\\\?\\"))
        return full;
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring systemReason(DWORD error) { return wide(varnok::describeCode(HRESULT_FROM_WIN32(error))); }

// A file by identity, so that the output is known whatever name or link leads to it.
struct FileIdentity {
    DWORD volume = 0, high = 0, low = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info))
        return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

std::optional<FileIdentity> identityOf(const std::wstring& path)
{
    HANDLE file = ::CreateFileW(accessPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const auto identity = identityOf(file);
    ::CloseHandle(file);
    return identity;
}

// The file the results go to: a redirected stdout, or the workbook (which may not exist yet).
struct OutputFile {
    std::optional<FileIdentity> identity;
    std::wstring name;  // its last component, to compare before opening anything
    std::wstring full;  // the workbook's full path
};

bool isOutput(const OutputFile& output, const std::wstring& path, const std::wstring& name)
{
    if (output.name.empty() || ::CompareStringOrdinal(name.c_str(), -1, output.name.c_str(), -1, TRUE) != CSTR_EQUAL)
        return false;
    if (!output.full.empty() &&
        ::CompareStringOrdinal(fullPath(path).c_str(), -1, output.full.c_str(), -1, TRUE) == CSTR_EQUAL)
        return true;
    return output.identity && identityOf(path) == output.identity;
}

// One folder's entries; hidden and system ones, and the output, are counted, not listed.
varnok::scan::FolderListing listFolder(const std::wstring& folder, const OutputFile& output)
{
    varnok::scan::FolderListing listing;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW(joined(accessPath(folder), L"*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
            listing.error = utf8(systemReason(error));
        return listing;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        varnok::scan::FolderEntry entry;
        entry.name = name;
        entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // Links to folders are not followed: a walk never loops or leaves the folder given.
        entry.skipped = (found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0 ||
                        (entry.folder && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) ||
                        (!entry.folder && isOutput(output, joined(folder, name), name));
        listing.entries.push_back(std::move(entry));
    } while (::FindNextFileW(search, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(search);
    if (error != ERROR_NO_MORE_FILES)
        listing.error = utf8(systemReason(error));
    return listing;
}

// One row to be: a file to read, or a file or folder that gets its row without reading.
struct Item {
    std::wstring shown;  // Plik: relative to the folder given
    std::wstring path;   // as the user's argument leads to it; in the line mode and in reasons
    enum class Kind { File, Unsupported, UnreadableFolder, EmptyFolder } kind = Kind::File;
    std::wstring error;
};

// A read symbol, or the reason in Polish, worded as ImageReader's errors are.
struct Outcome {
    ReadResult read;
    std::wstring reason;
    Problem problem = Problem::None;
    varnok::scan::FieldsRow row;  // in the field modes
};

Outcome failed(std::wstring reason, Problem problem)
{
    return {{ReadFailure::BadImage, "", ""}, std::move(reason), problem, {}};
}

Problem problemOf(const varnok::Failure& failure)
{
    namespace e = varnok::imageError;
    const std::u16string& text = failure.description();
    switch (failure.errorNumber()) {
    case e::fileNotFound: return Problem::NotFound;
    case e::fileNoAccess: return Problem::NoAccess;
    case e::unreadableImage: return Problem::Unreadable;
    case e::imageTooLarge: return text.starts_with(u"Za mało pamięci") ? Problem::NoMemory : Problem::TooLarge;
    case e::noSymbol: return Problem::NoSymbol;
    case e::symbolDamaged: return Problem::Damaged;
    case e::pdfRefused:
        if (text.find(u" jest zaszyfrowany") != std::u16string::npos)
            return Problem::PdfEncrypted;
        if (text.find(u" zawiera obraz skompresowany") != std::u16string::npos)
            return Problem::PdfCompression;
        if (text.find(u" nie zawiera żadnego obrazu") != std::u16string::npos)
            return Problem::PdfNoImage;
        return Problem::TooLarge;
    default: return Problem::Unreadable;
    }
}

Outcome scan(const Item& item)
{
    switch (item.kind) {
    case Item::Kind::UnreadableFolder:
        return failed(L"Nie można odczytać folderu " + inQuotes(item.path) + L": " + item.error,
                      Problem::FolderUnreadable);
    case Item::Kind::EmptyFolder:
        return failed(L"W folderze " + inQuotes(item.path) + L" nie ma plików", Problem::UnsupportedFormat);
    case Item::Kind::Unsupported:
        return failed(L"Nie można odczytać pliku " + inQuotes(item.path) +
                          L": nieobsługiwany format (odczytywane są pliki PNG, JPEG, BMP, GIF, TIFF i PDF)",
                      Problem::UnsupportedFormat);
    case Item::Kind::File: break;
    }
    try {
        return {varnok::readImageSymbol(u16(accessPath(item.path))), L"", Problem::None, {}};
    } catch (const varnok::Failure& failure) {
        return failed(wide(failure.description()), problemOf(failure));
    } catch (const std::bad_alloc&) {
        return failed(L"Za mało pamięci, by wczytać obraz " + inQuotes(item.path), Problem::NoMemory);
    } catch (const std::exception&) {
        // Whatever else a decoder throws ends this file's row on its reader thread, never the run.
        return failed(L"Nie można odczytać obrazu " + inQuotes(item.path) + L": nieobsługiwany format albo uszkodzony plik",
                      Problem::Unreadable);
    }
}

varnok::scan::FieldsRow fieldsRow(const Item& item, const Outcome& outcome)
{
    varnok::scan::FieldsRow row;
    row.file = utf8(item.shown);
    if (outcome.read.failure != ReadFailure::None) {
        row.status = utf8(outcome.reason);
        row.advice = varnok::scan::advice(outcome.problem);
        return row;
    }
    try {
        const varnok::CodetFields decoded = varnok::decodeCodetFields(varnok::scannerText(outcome.read.bytes));
        row.status = varnok::toUtf8(decoded.status);
        row.advice = varnok::scan::advice(varnok::scan::problemOfStatus(decoded.status));
        for (std::size_t i = 0; i < decoded.values.size(); ++i)
            if (decoded.values[i])
                row.values[i] = varnok::toUtf8(*decoded.values[i]);
    } catch (const std::bad_alloc&) {
        // One symbol too large for the memory left ends its own row, not the whole run.
        row = {};
        row.file = utf8(item.shown);
        row.status = utf8(L"Za mało pamięci, by odczytać pola symbolu z pliku " + inQuotes(item.path));
        row.advice = varnok::scan::advice(Problem::NoMemory);
    }
    return row;
}

// On a reader thread, where nothing may escape: whatever the row's decoding throws ends that row only.
varnok::scan::FieldsRow rowOf(const Item& item, const Outcome& outcome)
{
    try {
        return fieldsRow(item, outcome);
    } catch (const std::exception&) {
        varnok::scan::FieldsRow row;
        row.file = utf8(item.shown);
        row.status = utf8(L"Nie można odczytać pól symbolu z pliku " + inQuotes(item.path));
        row.advice = varnok::scan::advice(Problem::Unreadable);
        return row;
    }
}

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

// Files read on several threads, handed out in order; at most `window` outcomes wait to be written, so memory
// stays bounded however many files there are.
class Readers {
public:
    // With `fields`, each file's fields are decoded on its reader thread too.
    Readers(const std::vector<Item>& items, unsigned threads, bool fields)
        : items_(items), outcomes_(items.size()), fields_(fields)
    {
        window_ = threads * 2 + 2;
        for (unsigned t = 0; t < threads; ++t)
            threads_.emplace_back([this] { work(); });
    }

    ~Readers()
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
    }

    Outcome take(std::size_t index)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return outcomes_[index].has_value(); });
        Outcome outcome = std::move(*outcomes_[index]);
        outcomes_[index].reset();
        taken_ = index + 1;
        lock.unlock();
        changed_.notify_all();
        return outcome;
    }

private:
    void work()
    {
        const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (;;) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || next_ >= items_.size() || next_ < taken_ + window_; });
            if (stop_ || next_ >= items_.size())
                break;
            const std::size_t index = next_++;
            lock.unlock();
            Outcome outcome = scan(items_[index]);
            if (fields_)
                outcome.row = rowOf(items_[index], outcome);
            lock.lock();
            outcomes_[index] = std::move(outcome);
            lock.unlock();
            changed_.notify_all();
        }
        if (SUCCEEDED(com))
            ::CoUninitialize();
    }

    const std::vector<Item>& items_;
    std::vector<std::optional<Outcome>> outcomes_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t next_ = 0, taken_ = 0, window_ = 0;
    const bool fields_;
    bool stop_ = false;
};

// One more than the cores, because each reader waits while its image worker decodes and the hand-overs leave a
// core idle; at most four, what a 32-bit process can hold of large images at once. VARNOK_SCAN_THREADS for
// measuring.
unsigned readerThreads()
{
    if (const char* set = std::getenv("VARNOK_SCAN_THREADS"); set && std::atoi(set) > 0)
        return static_cast<unsigned>(std::min(std::atoi(set), 16));
    return std::clamp(std::thread::hardware_concurrency() + 1, 2u, 4u);
}

bool isSwitch(const std::wstring& argument, std::initializer_list<const wchar_t*> names)
{
    for (const wchar_t* name : names)
        if (::CompareStringOrdinal(argument.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL)
            return true;
    return false;
}

// Every file named or found, each with its row, and how many were passed over.
std::vector<Item> itemsOf(const std::vector<std::wstring>& arguments, const OutputFile& output, int& skipped)
{
    std::vector<Item> items;
    for (const std::wstring& argument : arguments) {
        const DWORD attributes = ::GetFileAttributesW(accessPath(argument).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            items.push_back({argument, argument, Item::Kind::File, {}});
            continue;
        }
        const varnok::scan::Walk walk = varnok::scan::walkFolder(
            [&](const std::filesystem::path& relative) { return listFolder(joined(argument, relative.wstring()), output); });
        skipped += walk.skipped;
        if (walk.files.empty())
            items.push_back({argument, argument, Item::Kind::EmptyFolder, {}});
        for (const varnok::scan::WalkedFile& file : walk.files) {
            using K = varnok::scan::WalkedFile::Kind;
            const std::wstring relative = file.relative.wstring(), path = joined(argument, relative);
            // Rows of several folders keep the folder as given, so that they cannot look alike.
            const std::wstring shown = arguments.size() == 1 && !relative.empty() ? relative : path;
            items.push_back({shown, path,
                             file.kind == K::File          ? Item::Kind::File
                             : file.kind == K::Unsupported ? Item::Kind::Unsupported
                                                           : Item::Kind::UnreadableFolder,
                             fromUtf8(file.error)});
        }
    }
    return items;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Before anything loads a library: a clerk runs this from the folder of the scans, which anyone may fill.
    varnok::restrictProcessDllSearch();
    const ConsoleOutput out(STD_OUTPUT_HANDLE), err(STD_ERROR_HANDLE);
    Mode mode = Mode::Lines;
    std::wstring workbookPath;
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (isSwitch(argument, {L"/?", L"-?", L"/h", L"-h", L"/help", L"--help"})) {
            out.text(usage);
            return 0;
        }
        if (isSwitch(argument, {L"/fields", L"-fields", L"/csv", L"-csv"}))
            mode = mode == Mode::Lines ? Mode::Csv : mode;
        else if (isSwitch(argument, {L"/json", L"-json"}))
            mode = mode == Mode::Xlsx ? mode : Mode::Json;
        else if (isSwitch(argument, {L"/xlsx", L"-xlsx"})) {
            if (i + 1 >= argc) {
                err.text(L"Po /xlsx podaj nazwę pliku skoroszytu\r\n" + std::wstring(usage));
                return 2;
            }
            mode = Mode::Xlsx;
            workbookPath = argv[++i];
        } else if (argument.starts_with(L"/") || argument.starts_with(L"-")) {
            err.text(L"Nieznany przełącznik " + argument + L"\r\n" + usage);
            return 2;
        } else
            arguments.push_back(argument);
    }
    if (arguments.empty()) {
        err.text(usage);
        return 2;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;

    OutputFile output;
    if (mode == Mode::Xlsx) {
        output.full = fullPath(workbookPath);
        // Said before the files are read, not after.
        const std::wstring folder = std::filesystem::path(output.full).parent_path().wstring();
        const DWORD attributes = ::GetFileAttributesW(accessPath(folder).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            err.text(L"Nie można zapisać skoroszytu " + inQuotes(workbookPath) + L": folder " + inQuotes(folder) +
                     L" nie istnieje\r\n");
            ::CoUninitialize();
            return 2;
        }
        output.name = std::filesystem::path(output.full).filename().wstring();
        output.identity = identityOf(output.full);
    } else if (out.kind() == ConsoleOutput::Kind::File) {
        output.identity = identityOf(out.handle());
        std::wstring name(::GetFinalPathNameByHandleW(out.handle(), nullptr, 0, FILE_NAME_NORMALIZED), L'\0');
        if (!name.empty()) {
            name.resize(::GetFinalPathNameByHandleW(out.handle(), name.data(), static_cast<DWORD>(name.size()),
                                                    FILE_NAME_NORMALIZED));
            output.name = std::filesystem::path(name).filename().wstring();
        }
    }
    int skipped = 0;
    const std::vector<Item> items = itemsOf(arguments, output, skipped);

    const std::string separator = varnok::toUtf8(std::u16string(1, varnok::listSeparator()));
    // Text for a reader of UTF-8 (a file, a program's pipe) carries a byte-order mark, at the start only: a file
    // appended to with ">>" that has rows already gets neither the mark nor the header again.
    const bool utf8Out = !out.console() && out.codePage() == CP_UTF8;
    if (mode == Mode::Csv && (out.kind() != ConsoleOutput::Kind::File || out.atStart())) {
        if (utf8Out)
            out.bytes("\xEF\xBB\xBF");
        out.text(fromUtf8(varnok::scan::csvHeader(separator)));
    }
    std::unique_ptr<varnok::scan::Workbook> workbook;
    if (mode == Mode::Xlsx)
        workbook = std::make_unique<varnok::scan::Workbook>(utf8(output.full));

    Progress progress(err);
    int failures = 0;
    {
        Readers readers(items, readerThreads(), mode != Mode::Lines);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Item& item = items[i];
            progress.show(i + 1, items.size(), std::filesystem::path(item.path).filename().wstring());
            Outcome outcome = readers.take(i);
            progress.clear();
            for (const std::string& note : varnok::scan::symbolNotes(utf8(item.path), outcome.read))
                err.text(fromUtf8(note) + L"\r\n");

            if (mode == Mode::Lines) {
                failures += outcome.read.failure != ReadFailure::None;
                if (!utf8Out) {
                    std::wstring text = item.path + L'\t';
                    if (outcome.read.failure == ReadFailure::None)
                        text += wide(varnok::scannerText(outcome.read.bytes));
                    else
                        text += L"!\t" + outcome.reason;
                    out.text(text + L"\r\n");
                } else {
                    outcome.read.reason = utf8(outcome.reason);
                    out.bytes(varnok::scan::scanLine(utf8(item.path), outcome.read) + '\n');
                }
                continue;
            }
            const varnok::scan::FieldsRow& row = outcome.row;
            failures += row.status != varnok::toUtf8(varnok::status::ok);
            if (workbook) {
                workbook->add(row);
                continue;
            }
            const std::string line =
                mode == Mode::Csv ? varnok::scan::csvRecord(row, separator) : varnok::scan::jsonLine(row) + "\n";
            out.text(fromUtf8(line));
        }
    }
    progress.clear();
    int exitCode = varnok::scan::scanExitCode(static_cast<int>(items.size()), failures);
    if (workbook) {
        std::string reason;
        if (!workbook->close(reason)) {
            err.text(L"Nie można zapisać skoroszytu " + inQuotes(workbookPath) +
                     L" (jest otwarty w innym programie albo brak prawa zapisu): " + fromUtf8(reason) + L"\r\n");
            exitCode = 1;
        }
    }
    const int total = static_cast<int>(items.size());
    err.text(fromUtf8(varnok::scan::summaryLine(total - failures, failures, skipped)) + L"\r\n");
    ::CoUninitialize();
    return exitCode;
}
