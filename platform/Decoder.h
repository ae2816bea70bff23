#pragma once
// The Aztec decoder library, azteccodeQELM.dll: loaded at the first call, then kept for the life of the process.

#include <string>

#include "ComPtr.h"

namespace varnok {

inline constexpr char decoderFunctionName[] = "AZTECDeCode";

// Hands the NUL-terminated ANSI payload to AZTECDeCode, which may write into it, and returns its BSTR.
// A missing library (error 53), one that does not load (error 48) or a missing entry point (error 453) is thrown;
// the next call tries again.
Bstr decodePayload(std::string& ansiPayload);

}  // namespace varnok
