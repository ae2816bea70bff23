#pragma once
// The Aztec decoder library, azteccodeQELM.dll: found through the system's library search at the first call,
// then kept loaded for the life of the process.

#include <string>

#include "ComPtr.h"

namespace varnok {

inline constexpr wchar_t decoderLibraryName[] = L"azteccodeQELM.dll";
inline constexpr char decoderFunctionName[] = "AZTECDeCode";

// Hands the NUL-terminated ANSI payload to AZTECDeCode, which may write into it, and returns its BSTR.
// A missing library (error 53) or entry point (error 453) is thrown; the next call tries again.
Bstr decodePayload(std::string& ansiPayload);

}  // namespace varnok
