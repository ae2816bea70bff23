// VarnokScan.exe FILE|FOLDER...: the Windows console reader, with the system's own image decoders. The same lines
// and exit codes as varnok-scan: FILE<TAB>TEXT or FILE<TAB>!<TAB>reason; 0 when every file was read, 1 otherwise,
// 2 for a usage error; a part of a structured-append sequence adds a note on stderr. On a console the lines are
// shown as text (the symbol's bytes in ISO 8859-1); redirected, file names go out as UTF-8 and the symbol's bytes
// unchanged.

#include <windows.h>
#include <objbase.h>

#include <string>

#include "aztec/Reader.h"
#include "platform/Ansi.h"
#include "platform/ComPtr.h"
#include "platform/ImageFile.h"
#include "scan/ScanFiles.h"

namespace {

using varnok::ImageFileError;
using varnok::aztec::ReadFailure;
using varnok::aztec::ReadResult;

std::string loadFailure(const ImageFileError& error)
{
    switch (error.kind()) {
    case ImageFileError::Kind::NotFound:
        return "no such file";
    case ImageFileError::Kind::NoAccess:
        return "cannot open the file: access denied or in use";
    case ImageFileError::Kind::Unreadable:
        return "cannot read the image: unknown format or damaged file";
    case ImageFileError::Kind::TooLarge:
        break;
    }
    if (error.code() != 0)
        return "not enough memory for the image";
    return "image too large: " + std::to_string(error.width()) + " x " + std::to_string(error.height());
}

ReadResult scan(const std::wstring& path)
{
    try {
        const varnok::GrayPixels image = varnok::loadGrayImage(path, varnok::aztec::maxPixels);
        return varnok::aztec::readAztec({image.pixels.data(), image.width, image.height, image.width});
    } catch (const ImageFileError& error) {
        return {ReadFailure::BadImage, "", loadFailure(error)};
    } catch (const std::bad_alloc&) {
        return {ReadFailure::BadImage, "", "not enough memory for the image"};
    }
}

class Output {
public:
    Output() : handle_(::GetStdHandle(STD_OUTPUT_HANDLE))
    {
        DWORD mode = 0;
        console_ = ::GetConsoleMode(handle_, &mode) != FALSE;
    }

    void line(const std::wstring& file, const ReadResult& result)
    {
        if (console_) {
            std::wstring text = file + L'\t';
            if (result.failure == ReadFailure::None) {
                for (const unsigned char byte : result.bytes)
                    text += static_cast<wchar_t>(byte);
            } else {
                text += L"!\t";
                text.append(result.reason.begin(), result.reason.end());
            }
            text += L"\r\n";
            DWORD written = 0;
            ::WriteConsoleW(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        } else {
            const std::string bytes = varnok::scan::scanLine(varnok::toUtf8(varnok::u16View(file)), result) + '\n';
            DWORD written = 0;
            ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
        if (const std::string note = varnok::scan::sequenceNote(varnok::toUtf8(varnok::u16View(file)), result);
            !note.empty()) {
            const std::string noteLine = note + '\n';
            DWORD written = 0;
            ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), noteLine.data(), static_cast<DWORD>(noteLine.size()),
                        &written, nullptr);
        }
    }

private:
    HANDLE handle_;
    bool console_ = false;
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        const char usage[] = "usage: VarnokScan.exe FILE|FOLDER...\n";
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), usage, sizeof usage - 1, &written, nullptr);
        return 2;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    Output out;
    int files = 0, failures = 0;
    for (int i = 1; i < argc; ++i) {
        const auto report = [&](const std::wstring& file, const ReadResult& r) {
            out.line(file, r);
            ++files;
            failures += r.failure != ReadFailure::None;
        };
        const auto found = varnok::scan::imageFilesOf(argv[i]);
        if (found.empty())
            report(argv[i], {ReadFailure::BadImage, "", varnok::scan::noImagesReason});
        for (const auto& file : found)
            report(file.wstring(), scan(file.wstring()));
    }
    ::CoUninitialize();
    return varnok::scan::scanExitCode(files, failures);
}
