#pragma once
// Conversions between UTF-16 and the system's ANSI code page, and to UTF-8 (text that leaves for files and pipes).

#include <string>
#include <string_view>

namespace varnok {

// Characters the code page lacks are converted as the system's standard conversion does.
std::string toAnsi(std::u16string_view text);
std::u16string fromAnsi(std::string_view bytes);

// Unpaired surrogates become U+FFFD.
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view bytes);

}  // namespace varnok
