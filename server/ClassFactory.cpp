#include "ClassFactory.h"

#include "Server.h"
#include "ServedClasses.h"

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

    return served_.create(iid, object);
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
