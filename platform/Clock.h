#pragma once

#include <string>

namespace varnok {

// The current local date and time, whole seconds, as OLE Automation writes a date in the user's locale:
// short date, a blank, long time; the date alone at midnight.
std::u16string currentDateTimeText();

}  // namespace varnok
