// The decoder library's one export. Base64 is the platform's; everything after it is the portable decode.

#include <windows.h>
#include <oleauto.h>
#include <wincrypt.h>

#include "Payload.h"

namespace {

using varnok::decoder::DecodeError;

std::optional<std::vector<std::uint8_t>> platformBase64(std::string_view text)
{
    DWORD size = 0;
    const auto length = static_cast<DWORD>(text.size());
    if (!CryptStringToBinaryA(text.data(), length, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr))
        return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    if (!CryptStringToBinaryA(text.data(), length, CRYPT_STRING_BASE64, bytes.data(), &size, nullptr, nullptr))
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

// The scanner typed through the PC's keyboard layout: its characters are in the system's ANSI code page.
std::u16string ansiText(std::string_view bytes)
{
    const auto length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    std::u16string text(static_cast<std::size_t>(size), u'\0');
    if (size > 0)
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}

BSTR toBstr(const std::u16string& text)
{
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
}

template <typename Decode>
BSTR answer(Decode decode) noexcept
{
    try {
        return toBstr(decode());
    } catch (...) {
        // Out of memory while answering: a minimal answer still tells the caller what happened.
        try {
            return toBstr(varnok::decoder::answerXml(DecodeError::Internal, {}));
        } catch (...) {
            return nullptr;
        }
    }
}

}  // namespace

extern "C" BSTR __stdcall AZTECDeCode(const char* payload) noexcept
{
    return answer([&] {
        const std::string_view text = payload ? std::string_view(payload) : std::string_view();
        return varnok::decoder::payloadToXml(text, platformBase64, ansiText);
    });
}

// The client's text as it was typed: letters such as "à" that the ANSI code page may lack reach the corrections.
extern "C" BSTR __stdcall AZTECDeCodeW(const wchar_t* payload) noexcept
{
    return answer([&] {
        const std::u16string_view text =
            payload ? std::u16string_view(reinterpret_cast<const char16_t*>(payload)) : std::u16string_view();
        return varnok::decoder::payloadToXml(text, platformBase64);
    });
}
