#include "ClassFactory.h"

#include <new>

#include "../platform/ComPtr.h"
#include "FileReader.h"
#include "Server.h"

namespace varnok {

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID iid, void** object) noexcept
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;

    auto reader = ComPtr<FileReader>::attach(new (std::nothrow) FileReader());
    if (!reader)
        return E_OUTOFMEMORY;
    return reader->QueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock) noexcept
{
    if (lock)
        Server::current().lock();
    else
        Server::current().unlock();
    return S_OK;
}

}  // namespace varnok
