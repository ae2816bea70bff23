// The command line: switches, the workbook's name, and the folders and files to read.

#include <filesystem>

#include "scan/ScanTool.h"

namespace varnok::scantool {

namespace {

constexpr wchar_t usage[] =
    L"Użycie: VarnokScan.exe [/fields [/csv | /json] | /xlsx PLIK.xlsx] [/watch] PLIK|FOLDER...\r\n"
    L"Odczytuje kod Aztec dowodu rejestracyjnego ze skanów i zdjęć (PNG, JPEG, BMP, GIF, TIFF, PDF); folder to\r\n"
    L"każdy plik w nim i w jego podfolderach (bez plików ukrytych i systemowych oraz bez plików wyników).\r\n"
    L"  bez przełączników  wiersz na plik: PLIK<TAB>TEKST kodu albo PLIK<TAB>!<TAB>przyczyna\r\n"
    L"  /fields, /csv      31 pól dowodu rozkodowanych biblioteką azteccodeQELM.dll z folderu programu, jak robi\r\n"
    L"                     to ReadCodetData: CSV (UTF-8, separator listy z ustawień regionalnych), kolumny Plik,\r\n"
    L"                     Status i Wskazówka na końcu\r\n"
    L"  /json              to samo, jeden obiekt JSON w wierszu\r\n"
    L"  /xlsx PLIK.xlsx    to samo jako skoroszyt Excel: Plik, Status, Wskazówka, Nr rejestracyjny, Marka, VIN i\r\n"
    L"                     Właściciel w pierwszych kolumnach, liczby i daty jako liczby i daty\r\n"
    L"  /watch FOLDER      czeka na nowe skany w folderze i dopisuje wiersz każdego, gdy plik jest już zapisany;\r\n"
    L"                     pliki z wyników już zapisanych pomija; kończy się klawiszami Ctrl+C\r\n"
    L"  /?, --help         ten opis\r\n"
    L"Na koniec na stderr: ile plików odczytano, ilu nie, ile pominięto.\r\n"
    L"Kod wyjścia: 0 gdy odczytano każdy plik (także gdy nie było żadnego), 1 gdy któregoś nie odczytano,\r\n"
    L"2 gdy nie można było nic zrobić: błędne wywołanie, brak folderu, nie można zapisać wyników.\r\n";

bool isSwitch(const std::wstring& argument, std::initializer_list<const wchar_t*> names)
{
    for (const wchar_t* name : names)
        if (::CompareStringOrdinal(argument.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL)
            return true;
    return false;
}

bool hasExtension(const std::wstring& path, const wchar_t* extension)
{
    const std::wstring actual = std::filesystem::path(path).extension().wstring();
    return ::CompareStringOrdinal(actual.c_str(), -1, extension, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::optional<int> parseArguments(int argc, wchar_t** argv, const ConsoleOutput& out, const ConsoleOutput& err,
                                  Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (isSwitch(argument, {L"/?", L"-?", L"/h", L"-h", L"/help", L"--help"})) {
            out.text(usage);
            return 0;
        }
        if (isSwitch(argument, {L"/fields", L"-fields", L"/csv", L"-csv"}))
            options.mode = options.mode == Mode::Lines ? Mode::Csv : options.mode;
        else if (isSwitch(argument, {L"/json", L"-json"}))
            options.mode = options.mode == Mode::Xlsx ? options.mode : Mode::Json;
        else if (isSwitch(argument, {L"/watch", L"-watch"}))
            options.watch = true;
        else if (isSwitch(argument, {L"/xlsx", L"-xlsx"})) {
            if (i + 1 >= argc) {
                err.text(L"Po /xlsx podaj nazwę pliku skoroszytu\r\n" + std::wstring(usage));
                return 2;
            }
            options.mode = Mode::Xlsx;
            options.workbookPath = argv[++i];
            // Another extension would give Excel a workbook it refuses to open under that name.
            if (!hasExtension(options.workbookPath, L".xlsx")) {
                err.text(L"Skoroszyt musi mieć rozszerzenie .xlsx: " + inQuotes(options.workbookPath) +
                         L" (dla pliku CSV użyj /csv i przekierowania > PLIK.csv)\r\n");
                return 2;
            }
        } else if (argument.starts_with(L"/") || argument.starts_with(L"-")) {
            err.text(L"Nieznany przełącznik " + argument + L"\r\n" + usage);
            return 2;
        } else
            options.arguments.push_back(argument);
    }
    if (options.arguments.empty()) {
        err.text(usage);
        return 2;
    }
    if (options.watch && options.arguments.size() != 1) {
        err.text(L"Po /watch podaj jeden folder\r\n" + std::wstring(usage));
        return 2;
    }
    return std::nullopt;
}

bool argumentsExist(const Options& options, const ConsoleOutput& err)
{
    bool all = true;
    for (const std::wstring& argument : options.arguments) {
        const DWORD attributes = ::GetFileAttributesW(accessPath(argument).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        // A missing name of an image file is that file's row; anything else missing was meant as a folder.
        const bool folderMeant = options.watch || argument.ends_with(L'\\') || argument.ends_with(L'/') ||
                                 (attributes == INVALID_FILE_ATTRIBUTES && !scan::isImageFileName(argument));
        if (!folderMeant)
            continue;
        err.text(attributes == INVALID_FILE_ATTRIBUTES
                     ? L"Folder " + inQuotes(argument) + L" nie istnieje: sprawdź jego nazwę w poleceniu\r\n"
                     : inQuotes(argument) + L" nie jest folderem\r\n");
        all = false;
    }
    return all;
}

}  // namespace varnok::scantool
