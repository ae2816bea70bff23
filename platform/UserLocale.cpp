#include "UserLocale.h"

#include <windows.h>
#include <oleauto.h>

#include "ComPtr.h"

namespace varnok {

bool UserLocale::isNumeric(std::u16string_view text) const
{
    // The conversion stops at a NUL, which would pass a text judged only by its beginning.
    if (text.empty() || text.find(u'\0') != std::u16string_view::npos)
        return false;
    Bstr copy(text);
    double value = 0;
    const HRESULT hr = ::VarR8FromStr(copy.get(), LOCALE_USER_DEFAULT, 0, &value);
    // Too large for a double is still written as a number.
    return SUCCEEDED(hr) || hr == DISP_E_OVERFLOW;
}

bool UserLocale::isComma(char16_t c) const
{
    const wchar_t candidate = static_cast<wchar_t>(c);
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | NORM_IGNOREWIDTH, &candidate, 1, L",", 1) ==
           CSTR_EQUAL;
}

}  // namespace varnok
