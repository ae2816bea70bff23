#include "UserLocale.h"

#include <windows.h>
#include <oleauto.h>

#include <algorithm>

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

// OLE Automation's number parser reads from the left and stops where the text can no longer continue a number; a
// longer prefix reaches the same stop, so none is numeric. The margin covers what the parser looks ahead at
// before it stops (a sign, a separator, an exponent, a currency symbol).
std::size_t UserLocale::numericPrefixLimit(std::u16string_view text) const
{
    constexpr std::size_t lookAhead = 16;
    const std::size_t nul = text.find(u'\0');
    if (nul != std::u16string_view::npos)
        text = text.substr(0, nul);
    if (text.size() <= lookAhead)
        return text.size();

    std::wstring copy(wideView(text));
    NUMPARSE parse{};
    BYTE digits[64];
    parse.cDig = sizeof digits;
    parse.dwInFlags = NUMPRS_STD & ~NUMPRS_USE_ALL;
    const HRESULT hr = ::VarParseNumFromStr(copy.data(), LOCALE_USER_DEFAULT, 0, &parse, digits);
    const std::size_t reached = SUCCEEDED(hr) ? static_cast<std::size_t>(parse.cchUsed) : 0;
    return std::min(text.size(), reached + lookAhead);
}

bool UserLocale::isComma(char16_t c) const
{
    const wchar_t candidate = static_cast<wchar_t>(c);
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | NORM_IGNOREWIDTH, &candidate, 1, L",", 1) ==
           CSTR_EQUAL;
}

char16_t listSeparator()
{
    wchar_t separator[8] = {};
    const int length = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SLIST, separator, 8);
    if (length != 2 || separator[0] == L'"' || separator[0] == L'\r' || separator[0] == L'\n')
        return u';';
    return static_cast<char16_t>(separator[0]);
}

}  // namespace varnok
