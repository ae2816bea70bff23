#pragma once
// The identifiers clients and the registry know the server by.

#include <windows.h>

namespace varnok::identity {

#ifdef VARNOK_BASELINE
// The benchmarks' baseline server: the same plumbing, identifiers of its own.
inline constexpr wchar_t progId[] = L"VarnokBaseline.FileReader";
inline constexpr wchar_t clsidText[] = L"{532DCC57-F2EF-42BE-A075-F86312EAC703}";
inline constexpr wchar_t iidText[] = L"{AD9E3D46-5C5C-4AE8-8D48-FDEB5182ADE5}";
inline constexpr wchar_t libidText[] = L"{F23CCF3B-2B17-41B5-A727-874F152CC70E}";
#else
inline constexpr wchar_t progId[] = L"VarnokSrv.FileReader";
inline constexpr wchar_t clsidText[] = L"{7C882FC3-4DBD-488F-9843-FA7021797487}";
inline constexpr wchar_t iidText[] = L"{828403FC-4836-4F34-B09D-33ED4C913C0B}";
inline constexpr wchar_t libidText[] = L"{C730E276-A23A-432F-9F61-A844887D60BC}";
#endif

// The second class: an Aztec code read from an image file.
namespace image {
inline constexpr wchar_t progId[] = L"VarnokSrv.ImageReader";
inline constexpr wchar_t clsidText[] = L"{128CB66A-E9FD-4CE0-8455-F504A1312A42}";
inline constexpr wchar_t iidText[] = L"{EC045F1D-EFBB-4025-AE0D-FE31A26921D5}";
inline constexpr wchar_t libidText[] = L"{F7C600C2-0153-4826-B857-1643D6D44F38}";
}  // namespace image

// The type-library marshaler: a dual, OLE Automation interface needs no proxy code of its own.
inline constexpr wchar_t typeLibMarshalerText[] = L"{00020424-0000-0000-C000-000000000046}";

}  // namespace varnok::identity
