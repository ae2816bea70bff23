#include "DecoderLibrary.h"

#include "DllSearch.h"

namespace varnok {

namespace {

constexpr DWORD safeSearchFlags =
    LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

bool fileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring systemFolder()
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return length && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

std::wstring inFolder(const std::wstring& folder, const wchar_t* name)
{
    if (folder.empty())
        return {};
    return folder + (folder.back() == L'\\' ? L"" : L"\\") + name;
}

HMODULE loadFile(const std::wstring& path, const std::wstring& folder, DWORD& error)
{
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, safeSearchFlags);
    error = module ? ERROR_SUCCESS : ::GetLastError();
    // Systems without the safe search flags (Windows 7 before KB2533623) reject them: the library's imports are
    // then loaded by full path from its own folder or System32 before it, never found through PATH.
    if (!module && error == ERROR_INVALID_PARAMETER)
        module = loadWithImportsFrom(path, {folder, systemFolder()}, error);
    return module;
}

}  // namespace

DecoderLibrary loadDecoderLibrary(const std::wstring& serverFolder)
{
    DecoderLibrary library;
    for (const std::wstring& folder : {serverFolder, systemFolder()}) {
        const std::wstring path = inFolder(folder, decoderLibraryName);
        if (path.empty() || !fileExists(path))
            continue;
        library.path = path;
        library.module = loadFile(path, folder, library.error);
        break;
    }
    return library;
}

std::wstring executableFolder()
{
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace varnok
