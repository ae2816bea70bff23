#include "TestSupport.h"

#include <tlhelp32.h>

#include <shellapi.h>

#include <stdexcept>

namespace varnok::test {

std::string utf8(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

ScratchFolder::ScratchFolder(const std::wstring& prefix)
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + prefix + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(::GetTickCount());
    if (!::CreateDirectoryW(path_.c_str(), nullptr))
        throw std::runtime_error("cannot create a scratch folder");
}

ScratchFolder::~ScratchFolder()
{
    std::wstring from = path_;
    from.push_back(L'\0');  // a double-NUL-terminated list
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}

std::wstring ScratchFolder::write(const std::wstring& name, const std::string& bytes) const
{
    const std::wstring path = file(name);
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create a data file");
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    if (!ok || written != bytes.size())
        throw std::runtime_error("cannot write a data file");
    return path;
}

std::wstring escapeXml(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string dataDocument(const std::vector<std::pair<std::wstring, std::wstring>>& children, const std::wstring& root)
{
    std::wstring xml = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<" + root + L">\r\n";
    for (const auto& [name, text] : children)
        xml += L"  <" + name + L">" + escapeXml(text) + L"</" + name + L">\r\n";
    xml += L"</" + root + L">\r\n";
    return utf8(xml);
}

std::wstring setting(const wchar_t* name)
{
    wchar_t value[4096];
    const DWORD length = ::GetEnvironmentVariableW(name, value, 4096);
    return length && length < 4096 ? std::wstring(value, length) : std::wstring();
}

std::vector<char> readBytes(const std::wstring& path)
{
    std::vector<char> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read)
        bytes.insert(bytes.end(), buffer, buffer + read);
    CloseHandle(file);
    return bytes;
}

std::vector<std::wstring> filesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::vector<char> ansiBytes(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::vector<char> bytes(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

bool underWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

bool processRunning(const wchar_t* executable)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        found = found || _wcsicmp(entry.szExeFile, executable) == 0;
    CloseHandle(snapshot);
    return found;
}

}  // namespace varnok::test
