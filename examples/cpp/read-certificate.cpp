// Reads a certificate through VarnokSrv's vtable interface and prints its fields: a data file (*.xml) with
// ReadData, or any other file as the text a scanner read from the certificate's Aztec code, with ReadCodetData.
//   read-certificate <data file or payload file> [folder for result files]
// Build: the header and GUIDs come from the type library's IDL (MIDL or widl: VarnokSrv.h, VarnokSrv_i.c);
// link ole32, oleaut32. Works as a 32-bit or a 64-bit program: the server runs in its own 32-bit process.

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "VarnokSrv.h"

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

// Owns one reference to the reader.
class Reader {
public:
    Reader() = default;
    ~Reader() { if (reader_) reader_->Release(); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    _FileReader* get() const { return reader_; }
    _FileReader* operator->() const { return reader_; }
    void** out() { return reinterpret_cast<void**>(&reader_); }

private:
    _FileReader* reader_ = nullptr;
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

bool endsWithXml(const std::wstring& path)
{
    return path.size() >= 4 && _wcsicmp(path.c_str() + path.size() - 4, L".xml") == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        print(L"Usage: read-certificate <data file or payload file> [folder for result files]");
        return 2;
    }
    ComApartment apartment;
    Reader reader;
    HRESULT hr = CoCreateInstance(CLSID_FileReader, nullptr, CLSCTX_LOCAL_SERVER, IID__FileReader, reader.out());
    if (FAILED(hr)) {
        print(L"VarnokSrv.FileReader cannot be created: " + describe(hr));
        return 1;
    }

    const std::wstring path = argv[1];
    Bstr status;
    if (endsWithXml(path)) {
        hr = reader->ReadData(Bstr(path).get(), status.out());
    } else {
        // The payload is plain ASCII (Base64); the saved copy goes to the folder given, else the temporary folder.
        std::ifstream file(std::filesystem::path(path), std::ios::binary);
        const std::string payload{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        wchar_t temp[MAX_PATH + 1];
        const std::wstring folder = argc > 2 ? argv[2] : std::wstring(temp, GetTempPathW(MAX_PATH + 1, temp));
        hr = reader->ReadCodetData(Bstr(std::wstring(payload.begin(), payload.end())).get(), Bstr(folder).get(),
                                   status.out());
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
