#pragma once
// The classes this server serves: what registration writes for each, and how its class object creates one.

#include <windows.h>

#include <span>
#include <string>

namespace varnok {

struct ServedClass {
    const CLSID* clsid;
    const IID* iid;
    const wchar_t* progId;
    const wchar_t* clsidText;
    const wchar_t* iidText;
    const wchar_t* libidText;
    const wchar_t* interfaceName;
    const wchar_t* typeLibName;
    UINT typeLibResource;  // the TYPELIB resource in this executable
    HRESULT (*create)(REFIID iid, void** object) noexcept;
    // Served from the multithreaded apartment: a long call holds only its own client.
    bool multithreaded;
};

// FileReader first: the process's single instance and its leave request are named after it.
std::span<const ServedClass> servedClasses();

// The class whose interface this is, or null.
const ServedClass* servedClassOf(REFIID iid) noexcept;

// Where LoadTypeLibEx and the registry find the class's type library: the executable itself for resource 1,
// "executable\n" for another one.
std::wstring typeLibPath(const std::wstring& exePath, const ServedClass& served);

inline constexpr wchar_t typeLibVersion[] = L"1.0";
inline constexpr WORD typeLibMajor = 1;
inline constexpr WORD typeLibMinor = 0;

}  // namespace varnok
