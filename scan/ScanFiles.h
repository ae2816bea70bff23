#pragma once
// What the scanning tools share: which files an argument names, and the line printed for each.

#include <array>
#include <filesystem>
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

struct FoundFile {
    std::filesystem::path path;
    bool readable;  // false for a file in a folder whose name is not of a format the tools read
};

// Every file an argument stands for, so that each gets its line: the argument itself (readable whatever its name:
// the decoders decide), or for a folder every file in it (not its subfolders) in name order; empty for a folder
// without files.
std::vector<FoundFile> filesOf(const std::filesystem::path& argument);

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

// The exit code: 0 when every file was read, 1 otherwise; 2 (usage) is the caller's.
int scanExitCode(int files, int failures);

inline constexpr char noImagesReason[] = "no image files in the folder";

// One line of the batch tool's table, all texts in UTF-8.
struct FieldsRow {
    std::array<std::optional<std::string>, fields::fieldCount> values;  // nullopt: not read
    std::string file;
    std::string status;
};

// RFC 4180 with the given separator: the 31 property names, "Plik", "Status"; each record ends in CR LF. A field
// is quoted, its quotation marks doubled, when it holds the separator, a quotation mark, CR or LF. A value not
// read is an empty field.
std::string csvHeader(std::string_view separator);
std::string csvRecord(const FieldsRow& row, std::string_view separator);

// One JSON object on one line (no line end), members in the order of the CSV columns; a value not read is null.
std::string jsonLine(const FieldsRow& row);

}  // namespace varnok::scan
