#include "ComError.h"

#include <cstdio>

namespace varnok {

namespace {

std::u16string systemMessage(HRESULT hr)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string text;
    if (length && buffer)
        text.assign(u16View(std::wstring_view(buffer, length)));
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' || text.back() == u'.'))
        text.pop_back();
    if (text.empty()) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "Automation error 0x%08lX", static_cast<unsigned long>(hr));
        text.assign(hex, hex + std::char_traits<char>::length(hex));
    }
    return text;
}

}  // namespace

std::u16string describeCode(HRESULT hr)
{
    return systemMessage(hr);
}

void checkWin32(LONG status)
{
    if (status != ERROR_SUCCESS) {
        const HRESULT hr = HRESULT_FROM_WIN32(static_cast<DWORD>(status));
        throw Failure(hr, describeCode(hr));
    }
}

void throwLastError()
{
    const DWORD error = ::GetLastError();
    const HRESULT hr = error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    throw Failure(hr, describeCode(hr));
}

std::u16string describeFailure(HRESULT hr)
{
    ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, info.put()) == S_OK && info) {
        Bstr description;
        if (SUCCEEDED(info->GetDescription(description.put())) && !description.view().empty())
            return description.text();
    }
    return systemMessage(hr);
}

namespace {

void setErrorInfo(std::u16string_view description, REFIID iid, const wchar_t* source)
{
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(::CreateErrorInfo(create.put()))) {
        Bstr text(description);
        create->SetGUID(iid);
        create->SetSource(const_cast<LPOLESTR>(source));
        create->SetDescription(text.get());
        if (auto info = create.query<IErrorInfo>(IID_IErrorInfo))
            ::SetErrorInfo(0, info.get());
    }
}

}  // namespace

HRESULT reportFailure(const Failure& failure, REFIID iid, const wchar_t* source) noexcept
{
    try {
        setErrorInfo(failure.description(), iid, source);
    } catch (...) {
        ::SetErrorInfo(0, nullptr);
    }
    return failure.code();
}

HRESULT reportFailure(HRESULT code, REFIID iid, const wchar_t* source) noexcept
{
    try {
        setErrorInfo(describeCode(code), iid, source);
    } catch (...) {
        ::SetErrorInfo(0, nullptr);
    }
    return code;
}

}  // namespace varnok
