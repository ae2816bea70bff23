#include "Ansi.h"

#include <windows.h>

#include "ComError.h"

namespace varnok {

namespace {

std::string narrow(UINT codePage, std::u16string_view text)
{
    if (text.empty())
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    const int size = ::WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        check(HRESULT_FROM_WIN32(::GetLastError()));
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, wide, length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

}  // namespace

std::string toAnsi(std::u16string_view text) { return narrow(CP_ACP, text); }

std::string toUtf8(std::u16string_view text) { return narrow(CP_UTF8, text); }

namespace {

std::u16string widen(UINT codePage, std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const int length = static_cast<int>(bytes.size());
    const int size = ::MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (size <= 0)
        check(HRESULT_FROM_WIN32(::GetLastError()));
    std::u16string text(static_cast<std::size_t>(size), u'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}

}  // namespace

std::u16string fromAnsi(std::string_view bytes) { return widen(CP_ACP, bytes); }
std::u16string fromUtf8(std::string_view bytes) { return widen(CP_UTF8, bytes); }

}  // namespace varnok
