// What the tool wrote, read back: a restarted /watch learns from it which files are done.

#include <cstdlib>

#include "ScanFiles.h"

namespace varnok::scan {

namespace {

// A JSON string at `at` (its opening quote), decoded to UTF-8; `at` moves past it. nullopt when it is not one.
std::optional<std::string> jsonString(std::string_view text, std::size_t& at)
{
    if (at >= text.size() || text[at] != '"')
        return std::nullopt;
    std::string value;
    for (++at; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '"') {
            ++at;
            return value;
        }
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++at >= text.size())
            return std::nullopt;
        switch (text[at]) {
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        case 't': value += '\t'; break;
        case 'u': {
            // jsonLine escapes only control characters this way.
            if (at + 4 >= text.size())
                return std::nullopt;
            value += static_cast<char>(std::strtol(std::string(text.substr(at + 1, 4)).c_str(), nullptr, 16));
            at += 4;
            break;
        }
        default: value += text[at];
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<FieldsRow> rowsOfJsonLines(std::string_view text)
{
    std::vector<FieldsRow> rows;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        if (auto row = rowOfJsonLine(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at)))
            rows.push_back(std::move(*row));
        if (end == std::string_view::npos)
            break;
        at = end + 1;
    }
    return rows;
}

std::optional<FieldsRow> rowOfJsonLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.size() < 2 || line.front() != '{' || line.back() != '}')
        return std::nullopt;
    FieldsRow row;
    std::size_t at = 1, column = 0;
    for (; at < line.size() - 1; ++column) {
        if (column > 0 && line[at++] != ',')
            return std::nullopt;
        const auto name = jsonString(line, at);
        if (!name || at >= line.size() || line[at++] != ':')
            return std::nullopt;
        std::optional<std::string> value;
        if (line.substr(at, 4) == "null")
            at += 4;
        else if (!(value = jsonString(line, at)))
            return std::nullopt;
        if (column < fields::fieldCount)
            row.values[column] = value;
        else if (column == fields::fieldCount)
            row.file = value.value_or("");
        else if (column == fields::fieldCount + 1)
            row.status = value.value_or("");
        else if (column == fields::fieldCount + 2)
            row.advice = value.value_or("");
    }
    if (column != fields::fieldCount + 3)
        return std::nullopt;
    return row;
}

std::vector<std::string> filesOfCsv(std::string_view csv)
{
    if (csv.starts_with("\xEF\xBB\xBF"))
        csv.remove_prefix(3);
    constexpr std::string_view first = "NumerDR";
    if (!csv.starts_with(first) || csv.size() <= first.size())
        return {};
    const char separator = csv[first.size()];
    std::vector<std::string> files;
    std::vector<std::string> record{""};
    bool quoted = false;
    for (std::size_t i = 0; i < csv.size(); ++i) {
        const char c = csv[i];
        if (quoted) {
            if (c == '"' && i + 1 < csv.size() && csv[i + 1] == '"')
                record.back() += csv[++i];
            else if (c == '"')
                quoted = false;
            else
                record.back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == separator) {
            record.emplace_back();
        } else if (c == '\n') {
            if (record.size() > fields::fieldCount && record.front() != first) {
                std::string file = record[fields::fieldCount];
                // The apostrophe that kept a spreadsheet from evaluating the name is not part of it.
                if (file.starts_with('\'') && neutralised(file.substr(1)) == file)
                    file.erase(0, 1);
                files.push_back(file);
            }
            record.assign(1, "");
        } else if (c != '\r') {
            record.back() += c;
        }
    }
    return files;
}

std::vector<std::string> filesOfLines(std::string_view text)
{
    std::vector<std::string> files;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (const std::size_t tab = line.find('\t'); tab != std::string_view::npos)
            files.emplace_back(line.substr(0, tab));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return files;
}

}  // namespace varnok::scan
