#pragma once
// What the Windows test clients share: COM initialisation, scratch folders and data files.

#include <windows.h>
#include <objbase.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace varnok::test {

struct ComApartment {
    ComApartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { ::CoUninitialize(); }
};

std::string utf8(const std::wstring& text);
std::wstring wide(const std::string& text);

// A fresh folder under the temporary folder, removed with everything in it at destruction.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

    // Writes the bytes as they are and returns the file's path.
    std::wstring write(const std::wstring& name, const std::string& bytes) const;

private:
    std::wstring path_;
};

// A data document: the root element with the given children in order, as UTF-8 XML.
std::string dataDocument(const std::vector<std::pair<std::wstring, std::wstring>>& children,
                         const std::wstring& root = L"dane");

// Escapes &, < and > for element content.
std::wstring escapeXml(const std::wstring& text);

// The whole file's bytes; empty when it cannot be read.
std::vector<char> readBytes(const std::wstring& path);

// Names of the files (not folders) in the folder.
std::vector<std::wstring> filesIn(const std::wstring& folder);

// The text in the ANSI code page, as the server writes result files.
std::vector<char> ansiBytes(const std::wstring& text);

// Whether a process with that executable name (e.g. L"VarnokSrv.exe") runs.
bool processRunning(const wchar_t* executable);

// A setting handed to the test by its runner, as an environment variable; empty when unset.
std::wstring setting(const wchar_t* name);

// Whether the test runs under Wine rather than Windows.
bool underWine();

}  // namespace varnok::test
