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

HRESULT reportFailure(const Failure& failure, REFIID iid, const wchar_t* source)
{
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(::CreateErrorInfo(create.put()))) {
        Bstr description(failure.description());
        create->SetGUID(iid);
        create->SetSource(const_cast<LPOLESTR>(source));
        create->SetDescription(description.get());
        if (auto info = create.query<IErrorInfo>(IID_IErrorInfo))
            ::SetErrorInfo(0, info.get());
    }
    return failure.code();
}

}  // namespace varnok
