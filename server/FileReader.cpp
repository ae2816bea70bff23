#include "FileReader.h"

#include "fields/FieldReader.h"
#include "loading/CodetData.h"
#include "loading/DataFile.h"
#include "platform/ComError.h"
#include "platform/UserLocale.h"
#include "Server.h"

namespace varnok {

namespace {

constexpr wchar_t errorSource[] = L"VarnokSrv.FileReader";

}  // namespace

FileReader::FileReader() : DispatchObject(IID__FileReader, errorSource) {}

// The loaded document goes before the server lock is given up in the base.
FileReader::~FileReader() = default;

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
