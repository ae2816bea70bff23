// VarnokScan.exe [/fields [/csv|/json]] FILE|FOLDER...: the Windows console reader, with the system's own image
// decoders and the server's loading code. The same lines and exit codes as varnok-scan: FILE<TAB>TEXT or
// FILE<TAB>!<TAB>reason; 0 when every file was read, 1 otherwise, 2 for a usage error. On a console the lines are
// shown as text (the symbol's bytes in ISO 8859-1); redirected, file names and reasons go out as UTF-8 and the
// symbol's bytes unchanged. /fields decodes each payload through the decoder library beside the EXE, as
// ReadCodetData does, into one row of the 31 properties per file.

#include <windows.h>
#include <objbase.h>

#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "aztec/Reader.h"
#include "loading/CodetFields.h"
#include "loading/ImageCodet.h"
#include "loading/StatusTexts.h"
#include "platform/Ansi.h"
#include "platform/DllSearch.h"
#include "platform/Failure.h"
#include "platform/UserLocale.h"
#include "scan/ScanFiles.h"

namespace {

using varnok::aztec::ReadFailure;
using varnok::aztec::ReadResult;

constexpr wchar_t usage[] =
    L"Użycie: VarnokScan.exe [/fields [/csv | /json]] PLIK|FOLDER...\r\n"
    L"Odczytuje kod Aztec dowodu rejestracyjnego ze skanów i zdjęć (PNG, JPEG, BMP, GIF, TIFF, PDF); folder to\r\n"
    L"każdy plik w nim.\r\n"
    L"  bez przełączników  wiersz na plik: PLIK<TAB>TEKST kodu albo PLIK<TAB>!<TAB>przyczyna\r\n"
    L"  /fields, /csv      31 pól dowodu rozkodowanych biblioteką azteccodeQELM.dll z folderu programu, jak robi\r\n"
    L"                     to ReadCodetData: CSV (UTF-8, separator listy z ustawień regionalnych), kolumny Plik i\r\n"
    L"                     Status na końcu\r\n"
    L"  /json              to samo, jeden obiekt JSON w wierszu\r\n"
    L"  /?, --help         ten opis\r\n"
    L"Kod wyjścia: 0 gdy odczytano każdy plik, 1 gdy któregoś nie, 2 przy błędnym wywołaniu.\r\n";

enum class Mode { Lines, Csv, Json };

std::wstring quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::u16string u16(const std::wstring& text) { return {text.begin(), text.end()}; }
std::wstring wide(std::u16string_view text) { return {text.begin(), text.end()}; }

std::wstring fromUtf8(std::string_view bytes)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    if (size > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

// A standard handle: text for a console, UTF-8 bytes for a file or pipe.
class Stream {
public:
    explicit Stream(DWORD which) : handle_(::GetStdHandle(which))
    {
        DWORD mode = 0;
        console_ = ::GetConsoleMode(handle_, &mode) != FALSE;
    }

    bool console() const { return console_; }

    void text(const std::wstring& text) const
    {
        if (console_) {
            DWORD written = 0;
            ::WriteConsoleW(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        } else {
            bytes(varnok::toUtf8(u16(text)));
        }
    }

    void bytes(const std::string& bytes) const
    {
        DWORD written = 0;
        ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

private:
    HANDLE handle_;
    bool console_ = false;
};

// "12/200 skan012.pdf" on one console line, rewritten in place; nothing when stderr is redirected.
class Progress {
public:
    explicit Progress(const Stream& err) : err_(err) {}

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
    const Stream& err_;
    std::size_t shown_ = 0;
};

// A read symbol, or the reason in Polish, worded as ImageReader's errors are.
struct Outcome {
    ReadResult read;
    std::wstring reason;
};

Outcome failed(std::wstring reason) { return {{ReadFailure::BadImage, "", ""}, std::move(reason)}; }

Outcome scan(const varnok::scan::FoundFile& file)
{
    const std::wstring path = file.path.wstring();
    if (!file.readable)
        return failed(L"Nie można odczytać pliku " + quoted(path) +
                      L": nieobsługiwany format (odczytywane są pliki PNG, JPEG, BMP, GIF, TIFF i PDF)");
    try {
        return {varnok::readImageSymbol(u16(path)), L""};
    } catch (const varnok::Failure& failure) {
        return failed(wide(failure.description()));
    } catch (const std::bad_alloc&) {
        return failed(L"Za mało pamięci, by wczytać obraz " + quoted(path));
    }
}

varnok::scan::FieldsRow fieldsRow(const std::wstring& file, const Outcome& outcome)
{
    varnok::scan::FieldsRow row;
    row.file = varnok::toUtf8(u16(file));
    if (outcome.read.failure != ReadFailure::None) {
        row.status = varnok::toUtf8(u16(outcome.reason));
        return row;
    }
    try {
        const varnok::CodetFields decoded = varnok::decodeCodetFields(varnok::scannerText(outcome.read.bytes));
        row.status = varnok::toUtf8(decoded.status);
        for (std::size_t i = 0; i < decoded.values.size(); ++i)
            if (decoded.values[i])
                row.values[i] = varnok::toUtf8(*decoded.values[i]);
    } catch (const std::bad_alloc&) {
        // One symbol too large for the memory left ends its own row, not the whole run.
        row = {};
        row.file = varnok::toUtf8(u16(file));
        row.status = varnok::toUtf8(u16(L"Za mało pamięci, by odczytać pola symbolu z pliku " + quoted(file)));
    }
    return row;
}

bool isSwitch(const std::wstring& argument, std::initializer_list<const wchar_t*> names)
{
    for (const wchar_t* name : names)
        if (::CompareStringOrdinal(argument.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL)
            return true;
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Before anything loads a library: a clerk runs this from the folder of the scans, which anyone may fill.
    varnok::restrictProcessDllSearch();
    const Stream out(STD_OUTPUT_HANDLE), err(STD_ERROR_HANDLE);
    Mode mode = Mode::Lines;
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (isSwitch(argument, {L"/?", L"-?", L"/h", L"-h", L"/help", L"--help"})) {
            out.text(usage);
            return 0;
        }
        if (isSwitch(argument, {L"/fields", L"-fields", L"/csv", L"-csv"}))
            mode = mode == Mode::Json ? Mode::Json : Mode::Csv;
        else if (isSwitch(argument, {L"/json", L"-json"}))
            mode = Mode::Json;
        else if (argument.starts_with(L"/") || argument.starts_with(L"-")) {
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

    // Every file named or found, each with its line.
    std::vector<std::pair<std::wstring, varnok::scan::FoundFile>> files;
    for (const std::wstring& argument : arguments) {
        const auto found = varnok::scan::filesOf(argument);
        if (found.empty())
            files.push_back({argument, {argument, false}});
        for (const auto& file : found)
            files.push_back({file.path.wstring(), file});
    }

    const std::string separator = varnok::toUtf8(std::u16string(1, varnok::listSeparator()));
    if (mode == Mode::Csv) {
        const std::string header = varnok::scan::csvHeader(separator);
        if (out.console())
            out.text(fromUtf8(header));
        else
            out.bytes("\xEF\xBB\xBF" + header);
    }
    Progress progress(err);
    int failures = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto& [name, file] = files[i];
        progress.show(i + 1, files.size(), file.path.filename().wstring());
        std::error_code error;
        Outcome outcome = std::filesystem::is_directory(file.path, error)
                              ? failed(L"W folderze " + quoted(name) + L" nie ma plików")
                              : scan(file);
        progress.clear();
        for (const std::string& note : varnok::scan::symbolNotes(varnok::toUtf8(u16(name)), outcome.read))
            err.text(fromUtf8(note) + L"\r\n");

        if (mode == Mode::Lines) {
            failures += outcome.read.failure != ReadFailure::None;
            if (out.console()) {
                std::wstring text = name + L'\t';
                if (outcome.read.failure == ReadFailure::None)
                    text += wide(varnok::scannerText(outcome.read.bytes));
                else
                    text += L"!\t" + outcome.reason;
                out.text(text + L"\r\n");
            } else {
                outcome.read.reason = varnok::toUtf8(u16(outcome.reason));
                out.bytes(varnok::scan::scanLine(varnok::toUtf8(u16(name)), outcome.read) + '\n');
            }
            continue;
        }
        const varnok::scan::FieldsRow row = fieldsRow(name, outcome);
        failures += row.status != varnok::toUtf8(varnok::status::ok);
        const std::string line = mode == Mode::Csv ? varnok::scan::csvRecord(row, separator)
                                                   : varnok::scan::jsonLine(row) + "\n";
        if (out.console())
            out.text(fromUtf8(line));
        else
            out.bytes(line);
    }
    progress.clear();
    ::CoUninitialize();
    return varnok::scan::scanExitCode(static_cast<int>(files.size()), failures);
}
