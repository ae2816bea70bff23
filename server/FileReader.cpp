#include "FileReader.h"

#include "../fields/FieldReader.h"
#include "../loading/CodetData.h"
#include "../loading/DataFile.h"
#include "../platform/ComError.h"
#include "../platform/UserLocale.h"
#include "Server.h"

namespace varnok {

namespace {

constexpr wchar_t errorSource[] = L"VarnokSrv.FileReader";

}  // namespace

FileReader::FileReader()
{
    Server::current().lock();
}

FileReader::~FileReader()
{
    // The state goes first: the process may end once the lock is given up.
    state_ = ReaderState();
    Server::current().unlock();
}

HRESULT STDMETHODCALLTYPE FileReader::QueryInterface(REFIID iid, void** object) noexcept
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__FileReader) {
        *object = static_cast<_FileReader*>(this);
    } else if (iid == IID_ISupportErrorInfo) {
        *object = static_cast<ISupportErrorInfo*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE FileReader::AddRef() noexcept
{
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
}

ULONG STDMETHODCALLTYPE FileReader::Release() noexcept
{
    const LONG refs = ::InterlockedDecrement(&refs_);
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE FileReader::GetTypeInfoCount(UINT* count) noexcept
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileReader::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return guardCall(IID_IDispatch, errorSource, [&] {
        *info = ComPtr<ITypeInfo>::copy(Server::current().typeInfo()).detach();
    });
}

HRESULT STDMETHODCALLTYPE FileReader::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                                    DISPID* ids) noexcept
{
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    const HRESULT hr = guardCall(IID_IDispatch, errorSource, [&] { info = Server::current().typeInfo(); });
    return FAILED(hr) ? hr : ::DispGetIDsOfNames(info, names, count, ids);
}

HRESULT STDMETHODCALLTYPE FileReader::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                             VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept
{
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    const HRESULT hr = guardCall(IID_IDispatch, errorSource, [&] { info = Server::current().typeInfo(); });
    if (FAILED(hr))
        return hr;
    return ::DispInvoke(static_cast<_FileReader*>(this), info, id, flags, params, result, exception, argError);
}

HRESULT STDMETHODCALLTYPE FileReader::InterfaceSupportsErrorInfo(REFIID iid) noexcept
{
    return iid == IID__FileReader ? S_OK : S_FALSE;
}

template <typename Body>
HRESULT FileReader::call(BSTR* out, Body&& body) noexcept
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const auto self = ComPtr<_FileReader>::copy(this);
    return guardCall(IID__FileReader, errorSource, [&] { *out = Bstr(body()).detach(); });
}

HRESULT FileReader::getField(fields::Field field, BSTR* value) noexcept
{
    return call(value, [&] {
        if (!state_.DataRoot)
            throw Failure::objectNotSet();
        return fields::readField(field, state_.DataRoot, UserLocale());
    });
}

HRESULT STDMETHODCALLTYPE FileReader::ReadData(BSTR filePath, BSTR* status) noexcept
{
    return call(status, [&] { return varnok::ReadData(state_, Bstr::viewOf(filePath)); });
}

HRESULT STDMETHODCALLTYPE FileReader::ReadCodetData(BSTR codetString, BSTR localPath, BSTR* status) noexcept
{
    // The saved copy is named by NrRejestracyjny exactly as a client reads it, failures included.
    const auto registrationNumber = [this] {
        Bstr number;
        const HRESULT hr = static_cast<_FileReader*>(this)->get_NrRejestracyjny(number.put());
        if (FAILED(hr))
            throw Failure(hr, describeFailure(hr));
        return number.text();
    };
    return call(status, [&] {
        return varnok::ReadCodetData(state_, Bstr::viewOf(codetString), Bstr::viewOf(localPath), registrationNumber);
    });
}

HRESULT STDMETHODCALLTYPE FileReader::CloseData() noexcept
{
    const auto self = ComPtr<_FileReader>::copy(this);
    varnok::CloseData(state_);
    return S_OK;
}

}  // namespace varnok
