#pragma once
// What every object of this server shares: reference counting, a server lock for its lifetime, IDispatch from
// its type library and error information for its own interface.

#include <windows.h>
#include <oaidl.h>

#include "platform/ComError.h"
#include "Server.h"

namespace varnok {

template <typename Interface>
class DispatchObject : public Interface, public ISupportErrorInfo {
public:
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == iid_) {
            *object = static_cast<Interface*>(this);
        } else if (iid == IID_ISupportErrorInfo) {
            *object = static_cast<ISupportErrorInfo*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() noexcept override
    {
        const LONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }

    // IDispatch, from the type library
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override
    {
        if (!count)
            return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override
    {
        if (!info)
            return E_POINTER;
        *info = nullptr;
        if (index != 0)
            return DISP_E_BADINDEX;
        return guardCall(IID_IDispatch, source_, [&] {
            *info = ComPtr<ITypeInfo>::copy(Server::current().typeInfo(iid_)).detach();
        });
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept override
    {
        if (iid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* info = nullptr;
        const HRESULT hr = guardCall(IID_IDispatch, source_, [&] { info = Server::current().typeInfo(iid_); });
        return FAILED(hr) ? hr : ::DispGetIDsOfNames(info, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) noexcept override
    {
        if (iid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* info = nullptr;
        const HRESULT hr = guardCall(IID_IDispatch, source_, [&] { info = Server::current().typeInfo(iid_); });
        if (FAILED(hr))
            return hr;
        return ::DispInvoke(static_cast<Interface*>(this), info, id, flags, params, result, exception, argError);
    }

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) noexcept override
    {
        return iid == iid_ ? S_OK : S_FALSE;
    }

protected:
    DispatchObject(REFIID iid, const wchar_t* errorSource) : iid_(iid), source_(errorSource)
    {
        Server::current().lock();
    }
    // Runs after the derived object's members are gone: the process may end once the lock is given up.
    virtual ~DispatchObject() { Server::current().unlock(); }

    // Runs a member with a reference to this object held for the call; `body` gives the value for `out`.
    template <typename Body>
    HRESULT call(BSTR* out, Body&& body) noexcept
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        const auto self = ComPtr<Interface>::copy(this);
        return guardCall(iid_, source_, [&] { *out = Bstr(body()).detach(); });
    }

private:
    LONG refs_ = 1;
    const IID& iid_;
    const wchar_t* source_;
};

}  // namespace varnok
