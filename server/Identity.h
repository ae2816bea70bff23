#pragma once
// The identifiers clients and the registry know the server by.

#include <windows.h>

namespace varnok::identity {

inline constexpr wchar_t progId[] = L"VarnokSrv.FileReader";
inline constexpr wchar_t className[] = L"FileReader";
inline constexpr wchar_t interfaceName[] = L"_FileReader";
inline constexpr wchar_t typeLibName[] = L"VarnokSrv";
inline constexpr wchar_t clsidText[] = L"{7C882FC3-4DBD-488F-9843-FA7021797487}";
inline constexpr wchar_t iidText[] = L"{828403FC-4836-4F34-B09D-33ED4C913C0B}";
inline constexpr wchar_t libidText[] = L"{C730E276-A23A-432F-9F61-A844887D60BC}";
inline constexpr wchar_t typeLibVersion[] = L"1.0";
inline constexpr WORD typeLibMajor = 1;
inline constexpr WORD typeLibMinor = 0;
// The type-library marshaler: a dual, OLE Automation interface needs no proxy code of its own.
inline constexpr wchar_t typeLibMarshalerText[] = L"{00020424-0000-0000-C000-000000000046}";

}  // namespace varnok::identity
