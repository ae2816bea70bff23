#include "DllSearch.h"

#include <memory>
#include <string>
#include <vector>

namespace varnok {

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

struct FreeModule {
    void operator()(HMODULE module) const { ::FreeLibrary(module); }
};
using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeModule>;

// The names of the libraries an image mapped as a resource imports from; false when its headers do not hold
// together.
bool importedNames(const Module& image, std::vector<std::string>& names)
{
    // The low bits of a resource mapping's handle mark it; the image starts at the handle without them.
    const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image.get()) & ~ULONG_PTR(3));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0)
        return false;
    // The headers of this process's own word size: a library of the other one cannot load here anyway.
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC)
        return false;
    const DWORD size = nt->OptionalHeader.SizeOfImage;
    if (nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT)
        return true;
    const IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0)
        return true;
    for (DWORD at = directory.VirtualAddress; at <= size - sizeof(IMAGE_IMPORT_DESCRIPTOR) && at < size;
         at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + at);
        if (entry->Name == 0)
            return true;
        if (entry->Name >= size)
            return false;
        const char* name = reinterpret_cast<const char*>(base + entry->Name);
        names.emplace_back(name, ::strnlen(name, size - entry->Name));
    }
    return false;
}

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

bool fileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool restrictProcessDllSearch()
{
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFunction>(
                                         reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                                   : nullptr;
    // The application's folder and System32 only; where that is not there, at least the current folder goes.
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS))
        return true;
    return ::SetDllDirectoryW(L"") != FALSE;
}

HMODULE loadWithImportsFrom(const std::wstring& path, std::initializer_list<std::wstring> folders, DWORD& error)
{
    std::vector<std::string> names;
    {
        const Module image(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        if (!image) {
            error = ::GetLastError();
            return nullptr;
        }
        if (!importedNames(image, names)) {
            error = ERROR_BAD_EXE_FORMAT;
            return nullptr;
        }
    }
    // Held until the library itself is loaded, which then holds them by its own references.
    std::vector<Module> imports;
    for (const std::string& name : names) {
        if (::GetModuleHandleA(name.c_str()))
            continue;
        Module module;
        for (const std::wstring& folder : folders) {
            const std::wstring candidate = folder + L"\\" + widen(name);
            if (!folder.empty() && fileExists(candidate)) {
                module.reset(::LoadLibraryExW(candidate.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
                if (!module) {
                    error = ::GetLastError();
                    return nullptr;
                }
                break;
            }
        }
        if (!module) {
            error = ERROR_MOD_NOT_FOUND;
            return nullptr;
        }
        imports.push_back(std::move(module));
    }
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    error = module ? ERROR_SUCCESS : ::GetLastError();
    return module;
}

}  // namespace varnok
