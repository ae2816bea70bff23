#include "ScanFiles.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "loading/StatusTexts.h"

namespace varnok::scan {

using aztec::ReadFailure;
using aztec::ReadResult;

bool isImageFileName(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // Beside ours, the formats for which Windows may have a decoder (WebP, and HEIC from phones, come with Windows
    // 10 and 11): they go to the system's decoders, which read them or say which format they lack.
    for (const char* known : {".png", ".jpg", ".jpeg", ".jfif", ".bmp", ".gif", ".tif", ".tiff", ".pdf", ".webp",
                              ".heic", ".heif", ".avif", ".jxr", ".wdp", ".jp2"})
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

int scanExitCode(int, int failures) { return failures == 0 ? 0 : 1; }

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
    names.emplace_back("Wskazówka");
    return names;
}

std::vector<std::optional<std::string>> columnsOf(const FieldsRow& row)
{
    std::vector<std::optional<std::string>> columns(row.values.begin(), row.values.end());
    columns.emplace_back(row.file);
    columns.emplace_back(row.status);
    columns.emplace_back(row.advice);
    return columns;
}

std::string csvLine(const std::vector<std::optional<std::string>>& columns, std::string_view separator)
{
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i)
            line += separator;
        line += csvField(neutralised(columns[i].value_or("")), separator);
    }
    return line + "\r\n";
}

bool onlyDashes(std::string_view text) { return text.find_first_not_of('-') == std::string_view::npos; }

bool plainNegativeNumber(std::string_view text)
{
    return text.size() > 1 && text.find_first_not_of("0123456789.,", 1) == std::string_view::npos &&
           std::isdigit(static_cast<unsigned char>(text[1]));
}

bool isDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::string neutralised(std::string text)
{
    if (text.empty())
        return text;
    switch (text[0]) {
    case '=': case '+': case '@': case '\t': case '\r': break;
    case '-':
        if (onlyDashes(text) || plainNegativeNumber(text))
            return text;
        break;
    default: return text;
    }
    return "'" + text;
}

Problem problemOfError(int number, std::u16string_view text)
{
    // The numbers of loading/ImageCodet.h, kept here so that this file builds without the loader.
    switch (number) {
    case 53: return Problem::NotFound;
    case 75: return Problem::NoAccess;
    case 321: return Problem::Unreadable;
    case 1001: return text.starts_with(u"Za mało pamięci") ? Problem::NoMemory : Problem::TooLarge;
    case 1002: return Problem::NoSymbol;
    case 1003: return Problem::Damaged;
    case 1004:
        if (text.find(u" jest zaszyfrowany") != std::u16string_view::npos)
            return Problem::PdfEncrypted;
        if (text.find(u" zawiera obraz skompresowany") != std::u16string_view::npos)
            return Problem::PdfCompression;
        if (text.find(u" nie zawiera żadnego obrazu") != std::u16string_view::npos)
            return Problem::PdfNoImage;
        return Problem::TooLarge;
    case 1005: return Problem::TimedOut;
    case 1006: return Problem::WorkerMissing;
    default: return Problem::Unreadable;
    }
}

Problem problemOfStatus(std::u16string_view text)
{
    if (text == status::ok)
        return Problem::None;
    if (text == status::codetEmptyPayload || text.starts_with(status::codetDecoderFailed))
        return Problem::NotCertificate;
    return Problem::DecoderFailure;
}

std::string advice(Problem problem)
{
    switch (problem) {
    case Problem::None: return {};
    case Problem::NotFound: return "Plik zniknął z folderu w trakcie odczytu: sprawdź folder i uruchom zestawienie ponownie.";
    case Problem::NoAccess:
        return "Zamknij program, w którym plik jest otwarty (albo poproś o prawo do jego odczytu), i uruchom zestawienie "
               "ponownie.";
    case Problem::Unreadable:
        return "Plik jest uszkodzony albo nie jest obrazem: zeskanuj dowód ponownie i zapisz skan jako PDF, JPEG lub PNG.";
    case Problem::UnsupportedFormat:
        return "To nie jest skan: zapisz skan jako PDF, JPEG, PNG, TIFF, BMP lub GIF albo przenieś ten plik z folderu.";
    case Problem::TooLarge:
        return "Plik jest za duży: zeskanuj sam dowód rejestracyjny w rozdzielczości 300 dpi.";
    case Problem::NoMemory: return "Zamknij inne programy i uruchom zestawienie ponownie.";
    case Problem::NoSymbol:
        return "Nie widać kodu: zeskanuj stronę dowodu z kodem Aztec (kwadratowy kod) w rozdzielczości 300 dpi, cały "
               "kod na skanie.";
    case Problem::Damaged:
        return "Kod jest nieczytelny: zeskanuj dowód ponownie w rozdzielczości 300 dpi, bez zagięć, odblasków i "
               "zabrudzeń na kodzie.";
    case Problem::PdfEncrypted: return "Zapisz skan ponownie bez hasła i bez szyfrowania.";
    case Problem::PdfCompression: return "Zeskanuj dowód ponownie w skali szarości albo do formatu JPEG.";
    case Problem::PdfNoImage:
        return "Ten PDF nie jest skanem: wydrukuj dokument i zeskanuj go albo zapisz stronę jako obraz (PNG lub JPEG).";
    case Problem::NotCertificate:
        return "Odczytany kod nie jest kodem dowodu rejestracyjnego: zeskanuj kod Aztec z dowodu rejestracyjnego.";
    case Problem::DecoderFailure:
        return "Nie udało się rozkodować danych dowodu: uruchom VarnokSrv.exe /Diagnose i przekaż wynik "
               "administratorowi.";
    case Problem::FolderUnreadable:
        return "Sprawdź, czy folder istnieje i czy masz prawo do jego odczytu, i uruchom zestawienie ponownie.";
    case Problem::TimedOut:
        return "Plik jest zbyt złożony, by go odczytać w 15 sekund: zeskanuj ponownie samą stronę dowodu z kodem Aztec, "
               "jako jeden obraz PDF, JPEG lub PNG w rozdzielczości 300 dpi.";
    case Problem::WorkerMissing:
        return "Brakuje części programu (VarnokImageWorker.exe): zainstaluj VarnokSrv ponownie albo poproś o to "
               "administratora.";
    case Problem::BadName:
        return "Ta nazwa zawiera znak, którego Windows nie dopuszcza w nazwach (na przykład \\ albo ..): zmień nazwę "
               "pliku lub folderu na udziale sieciowym.";
    }
    return {};
}

std::string summaryLine(int read, int notRead, int skipped)
{
    if (read + notRead == 0)
        return "Pliki: nie było nic do odczytania (0 plików), " + std::to_string(skipped) +
               " pominięto (ukryte, systemowe i sam plik wyników)";
    return "Pliki: " + std::to_string(read) + " z " + std::to_string(read + notRead) + " odczytano, " +
           std::to_string(notRead) + " nie odczytano, " + std::to_string(skipped) +
           " pominięto (ukryte, systemowe i sam plik wyników)";
}

TypedCell typedCell(fields::Field field, const std::string& value)
{
    using fields::Field;
    TypedCell cell;
    cell.text = value;
    // Line breaks as a spreadsheet cell holds them.
    for (std::size_t at = 0; (at = cell.text.find('\r', at)) != std::string::npos;) {
        if (at + 1 < cell.text.size() && cell.text[at + 1] == '\n')
            cell.text.erase(at, 1);
        else
            cell.text[at] = '\n';
    }
    const bool numeric = fields::rowOf(field).treatment == fields::Treatment::Number;
    if (numeric || field == Field::RokProdukcji || field == Field::LiczbaMiejscSiedz ||
        field == Field::LiczbaMiejscStoj) {
        // A whole number without leading zeros, or the properties' decimal point form: nothing else is a number.
        const std::size_t dot = value.find('.');
        const std::string whole = value.substr(0, dot);
        const bool decimals = dot == std::string::npos || (numeric && isDigits(value.substr(dot + 1)));
        if (isDigits(whole) && (whole.size() == 1 || whole[0] != '0') && decimals && whole.size() <= 15) {
            cell.kind = TypedCell::Kind::Number;
            cell.number = std::strtod(value.c_str(), nullptr);
        }
        return cell;
    }
    if (field == Field::DataIRejestracji || field == Field::DataWydaniaDR) {
        // YYYY-MM-DD, a day that exists.
        if (value.size() != 10 || value[4] != '-' || value[7] != '-' || !isDigits(value.substr(0, 4)) ||
            !isDigits(value.substr(5, 2)) || !isDigits(value.substr(8, 2)))
            return cell;
        const int y = std::stoi(value.substr(0, 4)), m = std::stoi(value.substr(5, 2)), d = std::stoi(value.substr(8, 2));
        static constexpr int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        if (y < 1900 || m < 1 || m > 12 || d < 1 || d > days[m - 1] || (m == 2 && d == 29 && !leap))
            return cell;
        cell.kind = TypedCell::Kind::Date;
        cell.year = y;
        cell.month = m;
        cell.day = d;
    }
    return cell;
}

namespace {

bool plainName(const std::filesystem::path& name)
{
    return std::distance(name.begin(), name.end()) == 1 && !name.has_root_path() && name != "." && name != ".." &&
           !name.empty();
}

}  // namespace

Walk walkFolder(const std::function<FolderListing(const std::filesystem::path&)>& list)
{
    Walk walk;
    std::vector<std::filesystem::path> pending{std::filesystem::path()};
    while (!pending.empty()) {
        const std::filesystem::path folder = pending.back();
        pending.pop_back();
        const FolderListing listing = list(folder);
        if (!listing.error.empty()) {
            walk.files.push_back({folder, WalkedFile::Kind::UnreadableFolder, listing.error});
            continue;
        }
        for (const FolderEntry& entry : listing.entries) {
            const std::filesystem::path relative = folder / entry.name;
            if (!plainName(entry.name))
                walk.files.push_back({relative, WalkedFile::Kind::BadName, {}});
            else if (entry.skipped)
                ++walk.skipped;
            else if (entry.folder)
                pending.push_back(relative);
            else
                walk.files.push_back(
                    {relative, isImageFileName(entry.name) ? WalkedFile::Kind::File : WalkedFile::Kind::Unsupported, {}});
        }
    }
    std::sort(walk.files.begin(), walk.files.end(),
              [](const WalkedFile& a, const WalkedFile& b) { return a.relative < b.relative; });
    return walk;
}

const std::vector<WorkbookColumn>& workbookColumns()
{
    using fields::Field;
    static const std::vector<WorkbookColumn> columns = [] {
        // Headings as the certificate names its boxes, in the CSV's order of the properties.
        static constexpr const char* headings[fields::fieldCount] = {
            "Seria i numer dowodu", "Rodzaj pojazdu", "Właściciel (C.2.1)", "Adres właściciela (C.2.3)",
            "Przeznaczenie", "Rok produkcji", "Dopuszczalna ładowność", "Dopuszczalny nacisk osi", "Numer karty pojazdu",
            "Nr rejestracyjny", "Data pierwszej rejestracji (B)", "Marka", "Typ, wariant, wersja (D.2)", "Model (D.3)",
            "VIN", "Maksymalna masa całkowita (F.1)", "Dopuszczalna masa całkowita (F.2)",
            "Dopuszczalna masa zespołu (F.3)", "Masa własna (G)", "Data wydania dowodu (I)", "Kategoria pojazdu (J)",
            "Kod podrodzaju", "Liczba osi (L)", "Masa przyczepy z hamulcem (O.1)", "Masa przyczepy bez hamulca (O.2)",
            "Pojemność silnika (P.1)", "Moc netto silnika (P.2)", "Rodzaj paliwa (P.3)", "Miejsca siedzące (S.1)",
            "Miejsca stojące (S.2)", "Organ wydający"};
        std::vector<WorkbookColumn> all{{"Plik", -1}, {"Status", -1}, {"Wskazówka", -1}};
        const Field first[] = {Field::NrRejestracyjny, Field::Marka, Field::VIN, Field::NazwiskoNazwa};
        for (const Field field : first)
            all.push_back({headings[static_cast<std::size_t>(field)], static_cast<int>(field)});
        for (std::size_t i = 0; i < fields::fieldCount; ++i)
            if (std::find(std::begin(first), std::end(first), static_cast<Field>(i)) == std::end(first))
                all.push_back({headings[i], static_cast<int>(i)});
        return all;
    }();
    return columns;
}

std::string withoutFolder(std::string status, const std::string& path, const std::string& shown)
{
    if (path.empty() || path == shown)
        return status;
    for (std::size_t at = 0; (at = status.find(path, at)) != std::string::npos; at += shown.size())
        status.replace(at, path.size(), shown);
    return status;
}

std::string cutToLimit(const std::string& text, std::size_t limit)
{
    static constexpr char mark[] = "… [obcięto]";
    static constexpr std::size_t markLength = 11;  // code points
    std::size_t points = 0, keep = std::string::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (points == limit - markLength)
            keep = i;
        if (++points > limit)
            return text.substr(0, keep) + mark;
    }
    return text;
}

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
