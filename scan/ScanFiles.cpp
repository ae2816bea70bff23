#include "ScanFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <system_error>

namespace varnok::scan {

using aztec::ReadFailure;
using aztec::ReadResult;

bool isImageFileName(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* known : {".png", ".jpg", ".jpeg", ".bmp", ".gif", ".tif", ".tiff", ".pdf"})
        if (extension == known)
            return true;
    return false;
}

std::vector<std::filesystem::path> imageFilesOf(const std::filesystem::path& argument)
{
    std::error_code error;
    if (!std::filesystem::is_directory(argument, error))
        return {argument};
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argument, error))
        if (entry.is_regular_file(error) && isImageFileName(entry.path()))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<FoundFile> filesOf(const std::filesystem::path& argument)
{
    std::error_code error;
    if (!std::filesystem::is_directory(argument, error))
        return {{argument, true}};
    std::vector<FoundFile> files;
    for (const auto& entry : std::filesystem::directory_iterator(argument, error))
        if (!entry.is_directory(error))
            files.push_back({entry.path(), isImageFileName(entry.path())});
    std::sort(files.begin(), files.end(), [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
    return files;
}

std::string scanLine(const std::string& file, const ReadResult& result)
{
    if (result.failure == ReadFailure::None)
        return file + '\t' + result.bytes;
    return file + "\t!\t" + result.reason;
}

std::string sequenceNote(const std::string& file, const ReadResult& result)
{
    if (result.failure != ReadFailure::None || !result.sequence)
        return {};
    const auto& s = *result.sequence;
    return file + ": part " + std::to_string(s.index) + " of " + std::to_string(s.count) +
           (s.id.empty() ? "" : ", id " + s.id);
}

std::string gs1Note(const std::string& file, const ReadResult& result)
{
    return result.failure == ReadFailure::None && result.gs1 ? file + ": GS1 data" : std::string();
}

std::vector<std::string> symbolNotes(const std::string& file, const ReadResult& result)
{
    std::vector<std::string> notes;
    if (result.sequence) {
        std::string note = file + ": uwaga: kod jest częścią " + std::to_string(result.sequence->index) + " z " +
                           std::to_string(result.sequence->count) + " kodu dzielonego (structured append)";
        if (!result.sequence->id.empty())
            note += ", identyfikator \"" + result.sequence->id + "\"";
        notes.push_back(note + "; tekst obejmuje tylko tę część");
    }
    if (result.readerInitialisation)
        notes.push_back(file + ": uwaga: kod programujący czytnik (reader initialisation)");
    if (result.gs1)
        notes.push_back(file + ": uwaga: dane GS1 (kod zaczyna się od FNC1, którego tekst nie zawiera; "
                               "separatory FNC1 w tekście to znaki GS, 0x1D)");
    return notes;
}

int scanExitCode(int files, int failures) { return files > 0 && failures == 0 ? 0 : 1; }

namespace {

std::string csvField(std::string_view text, std::string_view separator)
{
    if (text.find_first_of("\"\r\n") == std::string_view::npos && text.find(separator) == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + '"';
}

std::string jsonString(std::string_view text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + '"';
}

// The column names, ASCII all.
std::vector<std::string> columnNames()
{
    std::vector<std::string> names;
    for (const fields::FieldRow& row : fields::fieldTable())
        names.emplace_back(row.property.begin(), row.property.end());
    names.emplace_back("Plik");
    names.emplace_back("Status");
    return names;
}

std::vector<std::optional<std::string>> columnsOf(const FieldsRow& row)
{
    std::vector<std::optional<std::string>> columns(row.values.begin(), row.values.end());
    columns.emplace_back(row.file);
    columns.emplace_back(row.status);
    return columns;
}

std::string csvLine(const std::vector<std::optional<std::string>>& columns, std::string_view separator)
{
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i)
            line += separator;
        line += csvField(columns[i].value_or(""), separator);
    }
    return line + "\r\n";
}

}  // namespace

std::string csvHeader(std::string_view separator)
{
    const std::vector<std::string> names = columnNames();
    return csvLine({names.begin(), names.end()}, separator);
}

std::string csvRecord(const FieldsRow& row, std::string_view separator) { return csvLine(columnsOf(row), separator); }

std::string jsonLine(const FieldsRow& row)
{
    const std::vector<std::string> names = columnNames();
    const auto columns = columnsOf(row);
    std::string line = "{";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i)
            line += ',';
        line += jsonString(names[i]) + ':' + (columns[i] ? jsonString(*columns[i]) : std::string("null"));
    }
    return line + '}';
}

}  // namespace varnok::scan
