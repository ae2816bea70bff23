// Reads a certificate through VarnokSrv's vtable interfaces and prints its fields: a data file (*.xml) with
// ReadData; a scan (an image or a PDF, known by its first bytes) through ImageReader.ReadCodet, whose text goes to
// ReadCodetData; any other file as the text a scanner read from the certificate's Aztec code, with ReadCodetData.
//   read-certificate <data file, scan or payload file> [folder for result files]
// Build: build.cmd beside this file (cl, or "build.cmd mingw" for mingw-w64), with the headers and GUIDs the SDK
// ships in ..\..\include (VarnokSrv.h, VarnokSrv_i.c, VarnokSrvImage.h, VarnokSrvImage_i.c; MIDL or widl make
// them from the IDL); link ole32, oleaut32. Works as a 32-bit or a 64-bit program: the server runs in its own
// 32-bit process.

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "VarnokSrv.h"
#include "VarnokSrvImage.h"

namespace {

// Owns a BSTR, freed once.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text) : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR get() const { return value_; }
    BSTR* out() { SysFreeString(value_); value_ = nullptr; return &value_; }
    std::wstring text() const { return value_ ? std::wstring(value_, SysStringLen(value_)) : std::wstring(); }

private:
    BSTR value_ = nullptr;
};

// Owns one reference to a COM object: released once, so that the server can leave when its clients are gone.
template <typename Interface>
class Ref {
public:
    Ref() = default;
    ~Ref() { if (object_) object_->Release(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;

    Interface* get() const { return object_; }
    Interface* operator->() const { return object_; }
    void** out() { return reinterpret_cast<void**>(&object_); }

private:
    Interface* object_ = nullptr;
};

struct ComApartment {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~ComApartment() { if (SUCCEEDED(hr)) CoUninitialize(); }
};

// Polish letters reach a console as they are and a pipe or file as UTF-8.
void print(const std::wstring& line)
{
    const std::wstring text = line + L"\n";
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (GetFileType(out) == FILE_TYPE_CHAR && WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// The failure's description from the error information, when it came along; otherwise the HRESULT.
std::wstring describe(HRESULT hr)
{
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        Bstr description;
        info->GetDescription(description.out());
        info->Release();
        if (!description.text().empty())
            return description.text();
    }
    wchar_t code[32];
    swprintf(code, 32, L"HRESULT 0x%08lX", static_cast<unsigned long>(hr));
    return code;
}

using Getter = HRESULT (STDMETHODCALLTYPE _FileReader::*)(BSTR*);

struct Property {
    const wchar_t* name;
    Getter get;
};

const Property properties[] = {
    {L"NumerDR", &_FileReader::get_NumerDR}, {L"RodzajPojazdu", &_FileReader::get_RodzajPojazdu},
    {L"NazwiskoNazwa", &_FileReader::get_NazwiskoNazwa}, {L"Adres", &_FileReader::get_Adres},
    {L"Przeznaczenie", &_FileReader::get_Przeznaczenie}, {L"RokProdukcji", &_FileReader::get_RokProdukcji},
    {L"DopuszczalnaLadownosc", &_FileReader::get_DopuszczalnaLadownosc},
    {L"DopuszczalnyNacisk", &_FileReader::get_DopuszczalnyNacisk}, {L"NumerKarty", &_FileReader::get_NumerKarty},
    {L"NrRejestracyjny", &_FileReader::get_NrRejestracyjny},
    {L"DataIRejestracji", &_FileReader::get_DataIRejestracji}, {L"Marka", &_FileReader::get_Marka},
    {L"Typ", &_FileReader::get_Typ}, {L"Model", &_FileReader::get_Model}, {L"VIN", &_FileReader::get_VIN},
    {L"MaxMasaCalk", &_FileReader::get_MaxMasaCalk},
    {L"DopuszczalnaMasaCalk", &_FileReader::get_DopuszczalnaMasaCalk}, {L"MasaZesp", &_FileReader::get_MasaZesp},
    {L"MasaWlasna", &_FileReader::get_MasaWlasna}, {L"DataWydaniaDR", &_FileReader::get_DataWydaniaDR},
    {L"KategoriaPojazdu", &_FileReader::get_KategoriaPojazdu}, {L"Podrodzaj", &_FileReader::get_Podrodzaj},
    {L"LiczbaOsi", &_FileReader::get_LiczbaOsi}, {L"MaxMasaPrzyczZH", &_FileReader::get_MaxMasaPrzyczZH},
    {L"MaxMasaPrzyczBH", &_FileReader::get_MaxMasaPrzyczBH}, {L"PojSilnika", &_FileReader::get_PojSilnika},
    {L"MaksymalnaMocNetto", &_FileReader::get_MaksymalnaMocNetto},
    {L"RodzajPaliwa", &_FileReader::get_RodzajPaliwa}, {L"LiczbaMiejscSiedz", &_FileReader::get_LiczbaMiejscSiedz},
    {L"LiczbaMiejscStoj", &_FileReader::get_LiczbaMiejscStoj}, {L"OrganWydajacy", &_FileReader::get_OrganWydajacy},
};

bool endsWith(const std::wstring& path, const wchar_t* extension)
{
    const std::size_t length = wcslen(extension);
    return path.size() >= length && _wcsicmp(path.c_str() + path.size() - length, extension) == 0;
}

// A scan by its content, whatever its name: PNG, JPEG, BMP, GIF, TIFF or PDF. A scanner's text is Base64, which
// none of these begins with.
bool isScan(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    std::string head(1024, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(file.gcount()));
    const auto startsWith = [&](std::string_view magic) { return head.compare(0, magic.size(), magic) == 0; };
    using namespace std::string_view_literals;
    return startsWith("\x89PNG\r\n\x1A\n"sv) || startsWith("\xFF\xD8\xFF"sv) || startsWith("GIF8"sv) ||
           startsWith("II*\0"sv) || startsWith("MM\0*"sv) ||
           (startsWith("BM"sv) && head.size() >= 10 && head.compare(6, 4, "\0\0\0\0"sv) == 0) ||
           head.find("%PDF-") != std::string::npos;
}

// The server resolves a relative path in its own current folder, not ours: it gets absolute ones.
std::wstring absolutePath(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

// The text of the image's Aztec code, as a 2D scanner would type it; false with the reason printed.
bool readImage(const std::wstring& path, std::wstring& codet)
{
    Ref<_ImageReader> image;
    HRESULT hr = CoCreateInstance(CLSID_ImageReader, nullptr, CLSCTX_LOCAL_SERVER, IID__ImageReader, image.out());
    if (FAILED(hr)) {
        // Not registered (0x80040154), or registered by a version without ImageReader.
        print(L"VarnokSrv.ImageReader cannot be created: " + describe(hr));
        return false;
    }
    Bstr text;
    hr = image->ReadCodet(Bstr(path).get(), text.out());
    if (FAILED(hr)) {
        // 0x800A0035 no such file, ...004B locked, ...0141 not an image, ...03E9 too large, ...03EA no code found,
        // ...03EB code too damaged.
        print(L"Obraz: " + describe(hr));
        return false;
    }
    codet = text.text();
    return true;
}

// A new, empty folder in TEMP; empty when none could be made.
std::filesystem::path scratchFolder()
{
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return {};
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[64];
        swprintf(name, 64, L"read-certificate-%lu-%lu-%u", GetCurrentProcessId(), GetTickCount(), attempt);
        const std::filesystem::path folder = std::filesystem::path(std::wstring(temp, length)) / name;
        if (CreateDirectoryW(folder.c_str(), nullptr))
            return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    return {};
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        print(L"Usage: read-certificate <data file, scan or payload file> [folder for result files]");
        return 2;
    }
    ComApartment apartment;
    Ref<_FileReader> reader;
    HRESULT hr = CoCreateInstance(CLSID_FileReader, nullptr, CLSCTX_LOCAL_SERVER, IID__FileReader, reader.out());
    if (FAILED(hr)) {
        print(L"VarnokSrv.FileReader cannot be created: " + describe(hr));
        return 1;
    }

    const std::wstring path = absolutePath(argv[1]);
    Bstr status;
    if (endsWith(path, L".xml")) {
        hr = reader->ReadData(Bstr(path).get(), status.out());
    } else {
        std::wstring codet;
        if (isScan(path)) {
            if (!readImage(path, codet))
                return 1;
        } else {
            // The payload is plain ASCII (Base64).
            std::ifstream file(std::filesystem::path(path), std::ios::binary);
            const std::string payload{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
            codet.assign(payload.begin(), payload.end());
        }
        // The saved copy (or the error log) holds the owner's personal data. It goes to the folder given; without
        // one, to a folder of its own in TEMP, removed as soon as the load has returned (the fields stay in the
        // object).
        if (argc > 2) {
            hr = reader->ReadCodetData(Bstr(codet).get(), Bstr(absolutePath(argv[2])).get(), status.out());
        } else {
            const std::filesystem::path scratch = scratchFolder();
            if (scratch.empty()) {
                print(L"Cannot create a folder in TEMP");
                return 1;
            }
            hr = reader->ReadCodetData(Bstr(codet).get(), Bstr(scratch.wstring()).get(), status.out());
            std::error_code ignored;
            std::filesystem::remove_all(scratch, ignored);
        }
    }
    if (FAILED(hr) || status.text() != L"OK") {
        print(L"Status: " + (FAILED(hr) ? describe(hr) : status.text()));
        return 1;
    }

    for (const Property& property : properties) {
        Bstr value;
        hr = (reader.get()->*property.get)(value.out());
        if (FAILED(hr)) {
            // An element missing from the document: error 91 (0x800A005B).
            print(std::wstring(property.name) + L": (brak: " + describe(hr) + L")");
            continue;
        }
        std::wstring text = value.text();
        for (std::size_t at; (at = text.find(L'\r')) != std::wstring::npos;)
            text.replace(at, 1, L" / ");  // OrganWydajacy separates its lines with a carriage return alone
        print(std::wstring(property.name) + L": " + text);
    }
    reader->CloseData();
    return 0;
}
