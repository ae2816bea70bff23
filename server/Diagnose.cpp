#include "Diagnose.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/ComError.h"
#include "platform/ComPtr.h"
#include "platform/Decoder.h"
#include "platform/DecoderLibrary.h"
#include "base/Failure.h"
#include "platform/Handle.h"
#include "base/PathNames.h"
#include "sandbox/Pool.h"
#include "Identity.h"
#include "ModulePath.h"
#include "Security.h"
#include "ServedClasses.h"
#include "WordSize.h"

namespace varnok {

namespace {

class Report {
public:
    explicit Report(void (*write)(const std::wstring&)) : write_(write) {}

    // One finding: the Polish line, then the English one under it.
    void line(bool ok, const std::wstring& polish, const std::wstring& english)
    {
        problems_ += ok ? 0 : 1;
        write_((ok ? L"[ OK ] " : L"[BŁĄD] ") + polish + L"\r\n       " + english + L"\r\n");
    }
    void info(const std::wstring& polish, const std::wstring& english)
    {
        write_(L"[INFO] " + polish + L"\r\n       " + english + L"\r\n");
    }
    int exitCode() const { return problems_ ? 1 : 0; }

private:
    void (*write_)(const std::wstring&);
    int problems_ = 0;
};

struct Place {
    HKEY hive;
    REGSAM view;
    const wchar_t* polish;
    const wchar_t* english;
};

const Place machine32{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"wszyscy użytkownicy, widok 32-bitowy",
                      L"all users, 32-bit view"};
const Place machine64{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"wszyscy użytkownicy, widok 64-bitowy",
                      L"all users, 64-bit view"};
const Place user32{HKEY_CURRENT_USER, KEY_WOW64_32KEY, L"bieżący użytkownik, widok 32-bitowy",
                   L"current user, 32-bit view"};
const Place user64{HKEY_CURRENT_USER, KEY_WOW64_64KEY, L"bieżący użytkownik, widok 64-bitowy",
                   L"current user, 64-bit view"};

// A string value under Software\Classes, or nothing.
bool classesValue(const Place& place, const std::wstring& key, std::wstring& value)
{
    const std::wstring path = L"Software\\Classes\\" + key;
    const DWORD flags = RRF_RT_REG_SZ | (place.view == KEY_WOW64_64KEY ? RRF_SUBKEY_WOW6464KEY : RRF_SUBKEY_WOW6432KEY);
    DWORD size = 0;
    if (::RegGetValueW(place.hive, path.c_str(), nullptr, flags, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (::RegGetValueW(place.hive, path.c_str(), nullptr, flags, nullptr, text.data(), &size) != ERROR_SUCCESS)
        return false;
    text.resize(size / sizeof(wchar_t));
    value = std::move(text);
    while (!value.empty() && value.back() == L'\0')
        value.pop_back();
    return true;
}

std::wstring unquoted(std::wstring path)
{
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        path = path.substr(1, path.size() - 2);
    return path;
}

bool fileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring folderOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool samePath(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

// The executables one class is registered to: all users and current user, each in whichever view has it.
struct Registrations {
    std::wstring machine;
    std::wstring user;
};

// Where the class's LocalServer32 points, in every hive and view that has one.
Registrations checkServerKeys(Report& report, const ServedClass& served)
{
    const std::wstring progId = served.progId;
    Registrations found;
    for (const Place* place : {&machine32, &machine64, &user32, &user64}) {
        std::wstring server;
        if (!classesValue(*place, L"CLSID\\" + std::wstring(served.clsidText) + L"\\LocalServer32", server))
            continue;
        const std::wstring exe = unquoted(server);
        std::wstring& scope = place->hive == HKEY_LOCAL_MACHINE ? found.machine : found.user;
        if (scope.empty())
            scope = exe;
        const bool exists = fileExists(exe);
        const bool self = samePath(exe, modulePath());
        report.line(exists,
                    progId + L" (" + place->polish + L"): " + server +
                        (exists ? (self ? L" — plik istnieje (ten plik)" : L" — plik istnieje (inny niż ten)")
                                : L" — PLIKU NIE MA"),
                    progId + L" (" + place->english + L"): " + server +
                        (exists ? (self ? L" — file exists (this file)" : L" — file exists (not this one)")
                                : L" — FILE MISSING"));
    }
    if (found.machine.empty() && found.user.empty()) {
        report.line(false, progId + L": klasa niezarejestrowana (uruchom register.cmd albo zainstaluj ponownie)",
                    progId + L": class not registered (run register.cmd or reinstall)");
        return found;
    }
    // A normal client's COM reads the current user's classes over the machine's; an elevated one ignores them.
    const std::wstring& normal = found.user.empty() ? found.machine : found.user;
    report.info(progId + L": klient zwykły dostanie " + normal +
                    (found.user.empty() ? L" (rejestracja dla wszystkich użytkowników)"
                                        : L" (rejestracja bieżącego użytkownika)"),
                progId + L": a normal client gets " + normal +
                    (found.user.empty() ? L" (all users' registration)" : L" (current user's registration)"));
    report.info(progId + L": klient z podwyższonymi uprawnieniami dostanie " +
                    (found.machine.empty() ? L"nic (brak rejestracji dla wszystkich użytkowników)" : found.machine),
                progId + L": an elevated client gets " +
                    (found.machine.empty() ? L"nothing (no all-users registration)" : found.machine));
    if (!found.user.empty() && !found.machine.empty() && !samePath(found.user, found.machine))
        report.line(false,
                    progId + L": rejestracja bieżącego użytkownika przesłania rejestrację dla wszystkich użytkowników"
                             L" i wskazuje inny plik: " + found.user + L" zamiast " + found.machine,
                    progId + L": the current user's registration shadows the all-users one and points elsewhere: " +
                        found.user + L" instead of " + found.machine);
    return found;
}

void checkProgId(Report& report, const ServedClass& served)
{
    const std::wstring progId = served.progId;
    bool named = false;
    for (const Place* place : {&machine32, &machine64, &user32, &user64}) {
        std::wstring clsid;
        named = named || (classesValue(*place, progId + L"\\CLSID", clsid) &&
                          _wcsicmp(clsid.c_str(), served.clsidText) == 0);
    }
    report.line(named, L"ProgID " + progId + (named ? L" wskazuje klasę " : L" nie wskazuje klasy ") + served.clsidText,
                L"ProgID " + progId + (named ? L" names class " : L" does not name class ") + served.clsidText);
}

// 32-bit clients marshal through the 32-bit view, 64-bit ones through the 64-bit view: each needs the interface's
// marshaler and, for the type-library marshaler to find its description, the interface's type library.
void checkInterfaces(Report& report, const ServedClass& served)
{
    struct Clients {
        const wchar_t* bits;
        const Place* machine;
        const Place* user;
    };
    const std::wstring key = L"Interface\\" + std::wstring(served.iidText);
    const auto value = [&](const Clients& clients, const std::wstring& name, std::wstring& text) {
        return classesValue(*clients.machine, key + name, text) || classesValue(*clients.user, key + name, text);
    };
    for (const Clients& clients : {Clients{L"32", &machine32, &user32}, Clients{L"64", &machine64, &user64}}) {
        std::wstring marshaler, library;
        const bool registered = value(clients, L"\\ProxyStubClsid32", marshaler);
        const bool described = value(clients, L"\\TypeLib", library) && _wcsicmp(library.c_str(), served.libidText) == 0;
        const std::wstring subject = std::wstring(served.interfaceName);
        if (!registered)
            report.line(false, subject + L" dla klientów " + clients.bits + L"-bitowych: NIEZAREJESTROWANY",
                        subject + L" for " + clients.bits + L"-bit clients: NOT REGISTERED");
        else if (!described)
            report.line(false,
                        subject + L" dla klientów " + clients.bits + L"-bitowych: BRAK BIBLIOTEKI TYPÓW " +
                            served.libidText + L" (wywołania nie zostaną przekazane)",
                        subject + L" for " + clients.bits + L"-bit clients: NO TYPE LIBRARY " + served.libidText +
                            L" (calls cannot be marshaled)");
        else
            report.line(true, subject + L" dla klientów " + clients.bits + L"-bitowych: zarejestrowany",
                        subject + L" for " + clients.bits + L"-bit clients: registered");
    }
}

void checkTypeLibrary(Report& report, const ServedClass& served)
{
    std::wstring library;
    bool loads = false;
    // This server's own platform first: a library registered only for the other one still serves its clients.
    const std::wstring version = L"TypeLib\\" + std::wstring(served.libidText) + L"\\1.0\\0\\";
    for (const wchar_t* platform : {ownTypeLibPlatform, otherTypeLibPlatform}) {
        for (const Place* place : {&machine32, &machine64, &user32, &user64}) {
            if (!classesValue(*place, version + platform, library))
                continue;
            ComPtr<ITypeLib> loaded;
            loads = SUCCEEDED(::LoadTypeLibEx(library.c_str(), REGKIND_NONE, loaded.put()));
            break;
        }
        if (!library.empty())
            break;
    }
    const std::wstring name = served.typeLibName;
    report.line(loads,
                L"Biblioteka typów " + name + L": " +
                    (library.empty() ? L"niezarejestrowana" : library + (loads ? L" — wczytuje się" : L" — NIE WCZYTUJE SIĘ")),
                L"Type library " + name + L": " +
                    (library.empty() ? L"not registered" : library + (loads ? L" — loads" : L" — DOES NOT LOAD")));
}

// The system's own words for a load error; its messages may hold a "%1" for the file.
std::wstring loadErrorText(DWORD error, const std::wstring& path)
{
    const std::u16string described = describeCode(HRESULT_FROM_WIN32(error));
    std::wstring text(described.begin(), described.end());
    if (const std::size_t at = text.find(L"%1"); at != std::wstring::npos)
        text.replace(at, 2, path);
    return std::to_wstring(error) + L", " + text;
}

// The library the server registered in `serverFolder` would load, loaded the same way.
void checkDecoder(Report& report, const std::wstring& serverFolder)
{
    DecoderLibrary found = loadDecoderLibrary(serverFolder);
    struct Loaded {
        HMODULE module;
        ~Loaded()
        {
            if (module)
                ::FreeLibrary(module);
        }
    } library{found.module};
    if (found.path.empty()) {
        report.line(false,
                    L"azteccodeQELM.dll: nie znaleziono (szukana w folderze serwera " + serverFolder +
                        L", potem w System32)",
                    L"azteccodeQELM.dll: not found (looked for in the server's folder " + serverFolder +
                        L", then System32)");
        return;
    }
    if (!library.module) {
        const std::wstring reason = loadErrorText(found.error, found.path);
        report.line(false, L"azteccodeQELM.dll: " + found.path + L" — NIE WCZYTUJE SIĘ: błąd systemu " + reason,
                    L"azteccodeQELM.dll: " + found.path + L" — DOES NOT LOAD: system error " + reason);
        return;
    }
    const bool exports = ::GetProcAddress(library.module, decoderFunctionName) != nullptr;
    report.line(exports,
                L"azteccodeQELM.dll: " + found.path + (exports ? L" — eksportuje AZTECDeCode" : L" — BEZ AZTECDeCode"),
                L"azteccodeQELM.dll: " + found.path +
                    (exports ? L" — exports AZTECDeCode" : L" — NO AZTECDeCode EXPORT"));
}

void checkComponent(Report& report, const wchar_t* progId, const wchar_t* polish, const wchar_t* english)
{
    CLSID clsid{};
    ComPtr<IUnknown> object;
    const bool ok = SUCCEEDED(::CLSIDFromProgID(progId, &clsid)) &&
                    SUCCEEDED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.putVoid()));
    report.line(ok, std::wstring(polish) + L" (" + progId + L"): " + (ok ? L"jest" : L"BRAK"),
                std::wstring(english) + L" (" + progId + L"): " + (ok ? L"present" : L"MISSING"));
}

std::wstring localeText(LCTYPE type)
{
    wchar_t text[64] = {};
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, text, 64);
    return text;
}

void checkFolder(Report& report, const std::wstring& folder)
{
    // The server refuses a relative folder: for a COM-started server it would mean System32, not the console's.
    if (!isAbsolutePath(u16View(folder))) {
        report.line(false, L"Folder wyników " + folder + L": ŚCIEŻKA WZGLĘDNA (serwer przyjmuje tylko pełną ścieżkę)",
                    L"Result folder " + folder + L": RELATIVE PATH (the server accepts only a full path)");
        return;
    }
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES &&
        (::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND)) {
        report.line(false, L"Folder wyników " + folder + L": FOLDER NIE ISTNIEJE (utwórz go albo podaj inny)",
                    L"Result folder " + folder + L": DOES NOT EXIST (create it or name another)");
        return;
    }
    const std::wstring probe = folder + (folder.back() == L'\\' ? L"" : L"\\") + L"VarnokSrv-diagnose-" +
                               std::to_wstring(::GetCurrentProcessId()) + L".tmp";
    const Handle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    report.line(static_cast<bool>(file), L"Folder wyników " + folder + (file ? L": zapis możliwy" : L": ZAPIS NIEMOŻLIWY"),
                L"Result folder " + folder + (file ? L": writable" : L": NOT WRITABLE"));
}

std::wstring yesNo(bool yes, const wchar_t* polishYes, const wchar_t* polishNo)
{
    return yes ? polishYes : polishNo;
}

// The worker beside each server a client would start must be there; beside this copy it is also started and asked
// to read an empty file, which proves it answers, and the protections it got are listed.
void checkImageWorker(Report& report, const std::vector<std::wstring>& serverFolders)
{
    for (const std::wstring& folder : serverFolders) {
        const std::wstring path = folder + (folder.empty() || folder.back() == L'\\' ? L"" : L"\\") + L"VarnokImageWorker.exe";
        const bool present = fileExists(path);
        report.line(present, L"VarnokImageWorker.exe: " + path + (present ? L" — jest" : L" — BRAK (obrazy i PDF nie będą odczytywane)"),
                    L"VarnokImageWorker.exe: " + path + (present ? L" — present" : L" — MISSING (no image or PDF can be read)"));
    }
    using Kind = ImageFileError::Kind;
    bool answered = false;
    sandbox::Protections protections;
    try {
        sandbox::WorkerPool workers;
        workers.with([&](sandbox::WorkerProcess& worker) {
            protections = worker.protections();
            const worker::FileOutcome outcome = worker.read(nullptr, 0, 0);
            answered = outcome.error && (outcome.error->kind() == Kind::Unreadable || outcome.error->kind() == Kind::NoDecoder);
            return 0;
        });
    } catch (const ImageFileError&) {
    } catch (const sandbox::Win32Failure&) {
    }
    report.line(answered, std::wstring(L"Proces odczytu obrazów: ") + (answered ? L"uruchamia się i odpowiada" : L"NIE URUCHAMIA SIĘ ALBO NIE ODPOWIADA"),
                std::wstring(L"Image worker: ") + (answered ? L"starts and answers" : L"DOES NOT START OR ANSWER"));
    if (!answered)
        return;
    const auto mark = [](bool on) { return on ? L"tak" : L"NIE"; };
    const auto markEn = [](bool on) { return on ? L"yes" : L"NO"; };
    report.info(std::wstring(L"Ochrona procesu odczytu obrazów: ograniczony token niskiej integralności: ") +
                    mark(protections.restrictedToken) + L"; obiekt zadania: " + mark(protections.jobObject) +
                    L"; limit pamięci: " + mark(protections.memoryLimit) + L"; limit czasu procesora: " +
                    mark(protections.timeLimit) + L"; limit czasu odczytu (" +
                    std::to_wstring(sandbox::workerWaitMilliseconds / 1000) + L" s): tak",
                std::wstring(L"Image worker protections: restricted low-integrity token: ") +
                    markEn(protections.restrictedToken) + L"; job object: " + markEn(protections.jobObject) +
                    L"; memory limit: " + markEn(protections.memoryLimit) + L"; processor time limit: " +
                    markEn(protections.timeLimit) + L"; wall clock (" +
                    std::to_wstring(sandbox::workerWaitMilliseconds / 1000) + L" s): yes");
}

// The Windows build's floating point is SSE2.
void checkProcessor(Report& report)
{
    const bool sse2 = ::IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE);
    report.line(sse2, std::wstring(L"Procesor z SSE2 (wymagany): ") + yesNo(sse2, L"jest", L"BRAK"),
                std::wstring(L"Processor with SSE2 (required): ") + (sse2 ? L"present" : L"MISSING"));
}

// What a served process sets, tried here for real: this process has marshaled nothing yet, as a new server.
void checkComSecurity(Report& report)
{
    try {
        const security::AccessDescriptor descriptor;
        const std::wstring user = security::accountName(descriptor.user());
        report.info(L"Zabezpieczenia COM: wywołania tylko lokalne, od " + user + L" i SYSTEM; NETWORK odrzucany; "
                        L"uwierzytelnianie PKT_PRIVACY, personifikacja IDENTIFY, EOAC_NO_CUSTOM_MARSHAL | "
                        L"EOAC_DISABLE_AAA; " + descriptor.sddl(),
                    L"COM security: local calls only, from " + user + L" and SYSTEM; NETWORK refused; "
                        L"authentication PKT_PRIVACY, impersonation IDENTIFY, EOAC_NO_CUSTOM_MARSHAL | "
                        L"EOAC_DISABLE_AAA; " + descriptor.sddl());
    } catch (const Failure&) {
        report.info(L"Zabezpieczenia COM: nie da się zbudować deskryptora", L"COM security: no descriptor can be built");
    }
    const HRESULT hr = security::applyProcessSecurity();
    const std::wstring why = security::codeAndReason(hr);
    report.line(SUCCEEDED(hr), L"CoInitializeSecurity: " + (SUCCEEDED(hr) ? std::wstring(L"przyjęte") :
                    L"ODRZUCONE (" + why + L") — serwer nie przyjmie żadnego klienta"),
                L"CoInitializeSecurity: " + (SUCCEEDED(hr) ? std::wstring(L"accepted") :
                    L"REFUSED (" + why + L") — the server will serve no client"));
}

}  // namespace

int diagnose(const std::wstring& resultFolder, void (*write)(const std::wstring& text))
{
    Report report(write);
    report.info(L"VarnokSrv.exe: " + modulePath(), L"VarnokSrv.exe: " + modulePath());
    checkComSecurity(report);
    // The decoder is looked for beside each server a client would start; unregistered, beside this copy.
    std::vector<std::wstring> servers;
    for (const ServedClass& served : servedClasses()) {
        const Registrations registered = checkServerKeys(report, served);
        for (const std::wstring& exe : {registered.user, registered.machine})
            if (!exe.empty() && std::none_of(servers.begin(), servers.end(), [&](auto& known) { return samePath(known, exe); }))
                servers.push_back(exe);
        checkProgId(report, served);
        checkInterfaces(report, served);
        checkTypeLibrary(report, served);
    }
    if (servers.empty())
        servers.push_back(modulePath());
    std::vector<std::wstring> folders;
    for (const std::wstring& exe : servers)
        folders.push_back(folderOf(exe));
    for (const std::wstring& folder : folders)
        checkDecoder(report, folder);
    checkProcessor(report);
    checkImageWorker(report, folders);
    checkComponent(report, L"Msxml2.DOMDocument.3.0", L"MSXML 3", L"MSXML 3");
    checkComponent(report, L"Scripting.FileSystemObject", L"Środowisko Scripting", L"Scripting runtime");
    const std::wstring codePages = std::to_wstring(::GetACP()) + L" / OEM " + std::to_wstring(::GetOEMCP());
    report.info(L"Strona kodowa ANSI " + codePages + L"; ustawienia regionalne " + localeText(LOCALE_SNAME) +
                    L", separator dziesiętny \"" + localeText(LOCALE_SDECIMAL) + L"\", grupowanie \"" +
                    localeText(LOCALE_STHOUSAND) + L"\"",
                L"ANSI code page " + codePages + L"; regional settings " + localeText(LOCALE_SNAME) +
                    L", decimal separator \"" + localeText(LOCALE_SDECIMAL) + L"\", digit grouping \"" +
                    localeText(LOCALE_STHOUSAND) + L"\"");
    if (!resultFolder.empty())
        checkFolder(report, resultFolder);
    return report.exitCode();
}

}  // namespace varnok
