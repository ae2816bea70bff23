#pragma once
// Finding and loading the decoder library file: shared by the server and its self-check, so that both look in
// the same places and tell a missing file from one that is there but does not load.

#include <windows.h>

#include <string>

namespace varnok {

inline constexpr wchar_t decoderLibraryName[] = L"azteccodeQELM.dll";

struct DecoderLibrary {
    HMODULE module = nullptr;  // owned by the caller
    std::wstring path;         // the file that was loaded or failed to; empty when none is there
    DWORD error = ERROR_SUCCESS;  // why the file at `path` did not load
};

// Looks for the library in `serverFolder`, then in System32, and nowhere else: never the current folder
// (System32 for a COM-started server, anything under Wine) or PATH, where anyone could plant one. The first
// file found is the one loaded; what it imports is looked for beside it and in System32.
DecoderLibrary loadDecoderLibrary(const std::wstring& serverFolder);

// The folder of this process's executable.
std::wstring executableFolder();

}  // namespace varnok
