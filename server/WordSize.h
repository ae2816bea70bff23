#pragma once

// What the server's own word size decides in the registry: the view it writes by default, the other view (where
// clients of the other word size look for the interfaces), and the platform its type library is registered for.

#include <windows.h>
#include <oleauto.h>

namespace varnok {

#ifdef _WIN64
inline constexpr REGSAM otherRegistryView = KEY_WOW64_32KEY;
inline constexpr SYSKIND ownSysKind = SYS_WIN64;
inline constexpr const wchar_t* ownTypeLibPlatform = L"win64";
inline constexpr const wchar_t* otherTypeLibPlatform = L"win32";
#else
inline constexpr REGSAM otherRegistryView = KEY_WOW64_64KEY;
inline constexpr SYSKIND ownSysKind = SYS_WIN32;
inline constexpr const wchar_t* ownTypeLibPlatform = L"win32";
inline constexpr const wchar_t* otherTypeLibPlatform = L"win64";
#endif

}  // namespace varnok
