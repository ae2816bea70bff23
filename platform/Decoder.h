#pragma once
// The Aztec decoder library, azteccodeQELM.dll: loaded at the first call, then kept for the life of the process.

#include <string>

#include "ComPtr.h"

namespace varnok {

inline constexpr char decoderFunctionName[] = "AZTECDeCode";
// Optional: the same call taking the NUL-terminated payload as UTF-16, so no character is lost to the ANSI code page.
inline constexpr char wideDecoderFunctionName[] = "AZTECDeCodeW";

// Hands the payload to AZTECDeCodeW when the library exports it, else to AZTECDeCode as NUL-terminated ANSI text
// (which it may write into), and returns its BSTR. A missing library (error 53), one that does not load (error 48)
// or a missing AZTECDeCode (error 453) is thrown; the next call tries again.
Bstr decodePayload(std::u16string_view payload);

}  // namespace varnok
