#pragma once
// VarnokSrv.exe /Diagnose [result folder]: what a support person asks first, in Polish and English.

#include <string>

namespace varnok {

// Writes the report through `write` and returns the exit code: 0 when nothing is wrong, 1 otherwise.
int diagnose(const std::wstring& resultFolder, void (*write)(const std::wstring& text));

}  // namespace varnok
