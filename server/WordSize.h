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
// A 32-bit process looks for a type library under win32 only (a 64-bit one falls back to win32 by itself): 32-bit
// clients' marshaling needs the 64-bit server's library there too.
inline constexpr bool typeLibForOtherClients = true;
#else
inline constexpr REGSAM otherRegistryView = KEY_WOW64_64KEY;
inline constexpr SYSKIND ownSysKind = SYS_WIN32;
inline constexpr const wchar_t* ownTypeLibPlatform = L"win32";
inline constexpr const wchar_t* otherTypeLibPlatform = L"win64";
inline constexpr bool typeLibForOtherClients = false;
#endif

}  // namespace varnok
