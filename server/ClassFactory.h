#pragma once
// The class object of one served class, registered once per server process.

#include <windows.h>
#include <unknwn.h>

#include <new>

#include "platform/ComPtr.h"

namespace varnok {

struct ServedClass;

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const ServedClass& served) noexcept : served_(served) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override;
    // Lives as long as the server's run: the count is COM's business, not its lifetime.
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 2; }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override;

private:
    const ServedClass& served_;
};

// A new object of the class, handed out through the requested interface.
template <typename Object>
HRESULT createObject(REFIID iid, void** object) noexcept
{
    auto created = ComPtr<Object>::attach(new (std::nothrow) Object());
    if (!created)
        return E_OUTOFMEMORY;
    return created->QueryInterface(iid, object);
}

}  // namespace varnok
