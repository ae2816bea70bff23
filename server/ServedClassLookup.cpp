#include "ServedClasses.h"

namespace varnok {

const ServedClass* servedClassOf(REFIID iid) noexcept
{
    for (const ServedClass& served : servedClasses())
        if (*served.iid == iid)
            return &served;
    return nullptr;
}

std::wstring typeLibPath(const std::wstring& exePath, const ServedClass& served)
{
    return served.typeLibResource == 1 ? exePath : exePath + L"\\" + std::to_wstring(served.typeLibResource);
}

}  // namespace varnok
