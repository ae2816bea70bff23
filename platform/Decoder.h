#pragma once
// The Aztec decoder library, azteccodeQELM.dll: loaded at the first call, then kept for the life of the process.

#include <string>

#include "ComPtr.h"

namespace varnok {

inline constexpr wchar_t decoderLibraryName[] = L"azteccodeQELM.dll";
inline constexpr char decoderFunctionName[] = "AZTECDeCode";
// Where the library (and what it imports) is looked for: the server's own folder, then System32. Never the current
// folder (System32 for a COM-started server, anything under Wine) or PATH, where anyone could plant one.
inline constexpr DWORD decoderSearchFlags = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

// Hands the NUL-terminated ANSI payload to AZTECDeCode, which may write into it, and returns its BSTR.
// A missing library (error 53) or entry point (error 453) is thrown; the next call tries again.
Bstr decodePayload(std::string& ansiPayload);

}  // namespace varnok
