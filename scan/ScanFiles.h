#pragma once
// What the scanning tools share: which files an argument names, and the line printed for each.

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "aztec/Reader.h"
#include "fields/FieldTable.h"

namespace varnok::scan {

// File name extensions of the formats the tools read (images and PDF), in any case.
bool isImageFileName(const std::filesystem::path& path);

// The argument itself, or for a folder its image files (not its subfolders) in name order; empty for a folder
// without images.
std::vector<std::filesystem::path> imageFilesOf(const std::filesystem::path& argument);

// "FILE<TAB>TEXT" for a symbol read, "FILE<TAB>!<TAB>reason" otherwise; no line end.
std::string scanLine(const std::string& file, const aztec::ReadResult& result);

// "FILE: part I of N, id ID" for a symbol of a structured-append sequence (without ", id ID" when it carries no
// identifier), for stderr; empty otherwise. No line end.
std::string sequenceNote(const std::string& file, const aztec::ReadResult& result);

// "FILE: GS1 data" for a symbol whose data opened with FNC1, for stderr; empty otherwise. No line end.
std::string gs1Note(const std::string& file, const aztec::ReadResult& result);

// What a symbol says about itself that its text does not show (its place in a structured-append sequence, a
// reader-programming symbol, GS1 data), one note per line in Polish, UTF-8, no line ends.
std::vector<std::string> symbolNotes(const std::string& file, const aztec::ReadResult& result);

// The exit code: 0 when every file was read (none to read included), 1 otherwise; 2 (nothing could be done: usage,
// a missing folder, an output that cannot be written) is the caller's.
int scanExitCode(int files, int failures);

inline constexpr char noImagesReason[] = "no image files in the folder";

// Why a file gave no certificate, as far as the clerk can do something about it.
enum class Problem {
    None,
    NotFound,           // gone while the folder was read
    NoAccess,           // locked by another program, no permission
    Unreadable,         // not an image the system decodes, or damaged
    UnsupportedFormat,  // a file name of a format the tools do not read
    TooLarge,           // image or PDF above the limits
    NoMemory,
    NoSymbol,
    Damaged,
    PdfEncrypted,
    PdfCompression,  // JBIG2, JPEG 2000
    PdfNoImage,
    NotCertificate,  // a code read, but not a certificate's
    DecoderFailure,  // a certificate's code the installation could not decode
    FolderUnreadable,
    TimedOut,       // a reading ended by the wall clock
    WorkerMissing,  // the image worker is not installed beside the program
    BadName,        // a name in a folder listing that is not a single name (a separator, "..")
};

// An image reading's error number and description (loading/ImageCodet.h) as a problem.
Problem problemOfError(int number, std::u16string_view description);

// ReadCodetData's status as a problem: None for "OK".
Problem problemOfStatus(std::u16string_view status);

// What to do about it in plain Polish, UTF-8; empty for None.
std::string advice(Problem problem);

// One line of the batch tool's table, all texts in UTF-8.
struct FieldsRow {
    std::array<std::optional<std::string>, fields::fieldCount> values;  // nullopt: not read
    std::string file;
    std::string status;
    std::string advice;  // empty when read
};

// RFC 4180 with the given separator: the 31 property names, "Plik", "Status", "Wskazówka"; each record ends in
// CR LF. A field is quoted, its quotation marks doubled, when it holds the separator, a quotation mark, CR or LF.
// A cell a spreadsheet would take for a formula gets a leading apostrophe. A value not read is an empty field.
std::string csvHeader(std::string_view separator);
std::string csvRecord(const FieldsRow& row, std::string_view separator);

// The cell as a spreadsheet opening the CSV shows it, never evaluates it: "'" before a leading "=", "+", "@", TAB,
// CR, or "-" unless the text is only dashes or a plain negative number.
std::string neutralised(std::string text);

// One JSON object on one line (no line end), members in the order of the CSV columns; a value not read is null.
std::string jsonLine(const FieldsRow& row);

// What the tool wrote, read back (ReadBack.cpp): a line of jsonLine as its row (nullopt for anything else); the Plik
// column of a CSV of csvHeader and csvRecord, with whichever separator, as the rows held it; the first field of each
// line of the line mode.
std::optional<FieldsRow> rowOfJsonLine(std::string_view line);
// The rows of a text of such lines, a last one written whole but for its line end too; other lines are skipped.
std::vector<FieldsRow> rowsOfJsonLines(std::string_view text);
std::vector<std::string> filesOfCsv(std::string_view csv);
std::vector<std::string> filesOfLines(std::string_view text);

// The closing line on stderr, UTF-8, no line end: "Pliki: 44 z 50 odczytano, 6 nie odczytano, 2 pominięto (...)";
// with no file at all, that there was nothing to read.
std::string summaryLine(int read, int notRead, int skipped);

// The workbook's headings, in its column order: file, status, advice, then the columns a clerk looks at first
// (registration number, make, VIN, owner), then the other properties in the CSV's order. Plain Polish, UTF-8.
struct WorkbookColumn {
    std::string heading;
    int field = -1;  // the property (fields::Field), or -1 for file, status, advice
};
const std::vector<WorkbookColumn>& workbookColumns();

// A status as the workbook shows it: `path` (as given) replaced by `shown` (relative to the folder), so that no
// folder part repeats in the sheet.
std::string withoutFolder(std::string status, const std::string& path, const std::string& shown);

// Text cut to at most `limit` characters (code points) with a visible mark at its end; unchanged when it fits.
std::string cutToLimit(const std::string& text, std::size_t limit);

// How a spreadsheet cell holds a property's value.
struct TypedCell {
    enum class Kind { Text, Number, Date } kind = Kind::Text;
    double number = 0;                // Number
    int year = 0, month = 0, day = 0;  // Date
    std::string text;                 // Text: line breaks as LF
};
TypedCell typedCell(fields::Field field, const std::string& value);

// What the walk of a folder found in one folder: names as the system lists them.
struct FolderEntry {
    std::filesystem::path name;
    bool folder = false;
    bool skipped = false;  // hidden or system, or the output itself
};
struct FolderListing {
    std::vector<FolderEntry> entries;
    std::string error;  // UTF-8: why the folder could not be listed; empty when it was
};

struct WalkedFile {
    std::filesystem::path relative;  // to the folder given
    enum class Kind { File, Unsupported, UnreadableFolder, BadName } kind = Kind::File;
    std::string error;  // UnreadableFolder: why
};
struct Walk {
    std::vector<WalkedFile> files;  // in path order, depth first
    int skipped = 0;                // hidden or system files and folders, the output itself
};

// Every file under a folder, subfolders included; a folder that cannot be listed is an entry of its own so that it
// is reported, never taken for an empty one. `list` is given paths relative to the root ("" for the root). A listed
// name that is not one plain name (a separator, ".", "..", a drive) gets a row of its own and is never joined as a
// path: the walk stays inside the folder given.
Walk walkFolder(const std::function<FolderListing(const std::filesystem::path&)>& list);

}  // namespace varnok::scan
