#pragma once
// What the parts of VarnokScan.exe share: paths and texts, the rows to be, the outputs and how they are recognised.

#include <windows.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "aztec/Reader.h"
#include "platform/ConsoleOutput.h"
#include "scan/ScanFiles.h"

namespace varnok::scantool {

std::wstring inQuotes(const std::wstring& path);
std::u16string u16(const std::wstring& text);
std::wstring wide(std::u16string_view text);
std::string utf8(const std::wstring& text);
std::wstring fromUtf8(std::string_view bytes);
std::wstring joined(const std::wstring& folder, const std::wstring& name);
std::wstring fullPath(const std::wstring& path);
// Past MAX_PATH the system reads a path only in its \\?\ form, which must be absolute and use backslashes.
std::wstring accessPath(const std::wstring& path);
std::wstring systemReason(DWORD error);
std::wstring fileNameOf(const std::wstring& path);
// The path an open file has now, whatever name or link opened it; empty when the system cannot tell.
std::wstring finalPathOf(HANDLE file);

// A file by identity, so that the output is known whatever name or link leads to it.
struct FileIdentity {
    DWORD volume = 0, high = 0, low = 0;
    bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> identityOf(HANDLE file);
std::optional<FileIdentity> identityOf(const std::wstring& path);

// The file the results go to: a redirected stdout, or the workbook (which may not exist yet).
struct OutputFile {
    std::optional<FileIdentity> identity;
    std::wstring name;  // its last component, to compare before opening anything
    std::wstring full;  // the workbook's full path
};

// The zip comment that marks a workbook as ours, whatever its name.
inline constexpr std::string_view workbookMark = "VarnokScan: zestawienie dowodów rejestracyjnych";
// A CSV, JSON or workbook this tool wrote, known by its first or last bytes.
bool isOwnOutput(const std::wstring& path);

// One row to be: a file to read, or a file or folder that gets its row without reading.
struct Item {
    std::wstring shown;  // Plik: relative to the folder given
    std::wstring path;   // as the user's argument leads to it; in the line mode and in reasons
    enum class Kind { File, Unsupported, UnreadableFolder, BadName } kind = Kind::File;
    std::wstring error;
};

// Every file named or found under the arguments (folders that exist, or files), and how many were passed over.
std::vector<Item> itemsOf(const std::vector<std::wstring>& arguments, const OutputFile& output, int& skipped);

// A read symbol, or the reason in Polish, worded as ImageReader's errors are.
struct Outcome {
    aztec::ReadResult read;
    std::wstring reason;
    scan::Problem problem = scan::Problem::None;
    scan::FieldsRow row;  // in the field modes
};
Outcome scan(const Item& item);
// On a reader thread, where nothing may escape: whatever the row's decoding throws ends that row only.
scan::FieldsRow rowOf(const Item& item, const Outcome& outcome);

// Files read on several threads, handed out in order; at most a window of outcomes waits to be written, so memory
// stays bounded however many files there are.
class Readers {
public:
    // With `fields`, each file's fields are decoded on its reader thread too.
    Readers(const std::vector<Item>& items, bool fields);
    ~Readers();
    Readers(const Readers&) = delete;
    Readers& operator=(const Readers&) = delete;
    Outcome take(std::size_t index);

private:
    struct Pool;
    std::unique_ptr<Pool> pool_;
};

enum class Mode { Lines, Csv, Json, Xlsx };

struct Options {
    Mode mode = Mode::Lines;
    std::wstring workbookPath;
    std::vector<std::wstring> arguments;
    bool watch = false;
};

// The options, or the exit code when the arguments alone settle the run (help: 0; a usage error: 2, said on err).
std::optional<int> parseArguments(int argc, wchar_t** argv, const ConsoleOutput& out, const ConsoleOutput& err,
                                  Options& options);
// A folder argument that does not exist is said as such: false after saying it on err.
bool argumentsExist(const Options& options, const ConsoleOutput& err);

// Where the rows go, opened and checked before anything is read, and held so that a second run into the same file
// is refused instead of interleaved.
class Output {
public:
    Output(const Options& options, const ConsoleOutput& out, const ConsoleOutput& err);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // False after saying on err why nothing can be written.
    bool open();
    const OutputFile& file() const { return file_; }
    // The rows a file already holds (a CSV appended to, the workbook): their Plik column.
    std::vector<std::wstring> filesAlreadyListed() const;
    // The CSV header (with its byte-order mark) when the file is new; then each row, written at once.
    bool start();
    bool add(const Item& item, Outcome& outcome);
    // The workbook written whole under a temporary name, then put in place of the old one; false after saying why.
    bool finish();
    // Rows read as OK in which the workbook refused a cell, at its last writing: not read after all.
    int refusedRows() const { return refusedRows_; }
    // /watch: a workbook that could not be put in place (open in Excel) is written again; its rows are safe in the
    // rows kept beside it meanwhile.
    void retryWorkbook();
    bool workbookBehind() const { return workbookBehind_; }

private:
    bool failedWrite();
    bool writeWorkbook(bool quiet = false);
    // /watch into a workbook: its rows as JSON lines beside it (Resume.cpp).
    std::wstring journalName() const;
    bool openJournal();
    bool appendJournal(const scan::FieldsRow& row);

    const Options& options_;
    const ConsoleOutput &out_, &err_;
    OutputFile file_;
    std::string separator_;
    bool utf8Out_ = false;
    HANDLE mutex_ = nullptr;
    HANDLE journal_ = nullptr;
    std::vector<scan::FieldsRow> rows_;  // the workbook's
    int refusedRows_ = 0;
    bool workbookBehind_ = false;  // /watch: rows not yet in the workbook
};

// Reads each file that appears in the folder once it is complete, until Ctrl+C; the exit code.
int watchFolder(const Options& options, const ConsoleOutput& out, const ConsoleOutput& err);

}  // namespace varnok::scantool
