#include "FileSystem.h"

#include "ComError.h"

namespace varnok {

namespace {

const CLSID clsidFileSystemObject = {0x0D43FE01, 0xF093, 0x11CF, {0x89, 0x40, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x28}};

}  // namespace

FileSystem FileSystem::create()
{
    ComPtr<IDispatch> fso;
    check(::CoCreateInstance(clsidFileSystemObject, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, fso.putVoid()));
    return FileSystem(std::move(fso));
}

bool FileSystem::fileExists(std::u16string_view path) const
{
    wchar_t name[] = L"FileExists";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    check(fso_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));

    Variant argument{Bstr(path)};
    DISPPARAMS params{argument.get(), nullptr, 1, 0};
    Variant result;
    ExcepInfo exception;
    const HRESULT hr = fso_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.put(),
                                    exception.get(), nullptr);
    if (hr == DISP_E_EXCEPTION) {
        const HRESULT code = exception.scode() ? exception.scode() : E_FAIL;
        throw Failure(code, exception.description().empty() ? describeFailure(code)
                                                            : std::u16string(exception.description()));
    }
    check(hr);
    check(::VariantChangeType(result.get(), result.get(), 0, VT_BOOL));
    return result.value().boolVal != VARIANT_FALSE;
}

}  // namespace varnok
