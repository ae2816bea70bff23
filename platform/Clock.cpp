#include "Clock.h"

#include <windows.h>
#include <oleauto.h>

#include "ComError.h"

namespace varnok {

std::u16string currentDateTimeText()
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    now.wMilliseconds = 0;
    DATE date = 0;
    if (!::SystemTimeToVariantTime(&now, &date))
        check(E_UNEXPECTED);
    Bstr text;
    check(::VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, text.put()));
    return text.text();
}

}  // namespace varnok
