#pragma once
// The status texts that the load methods return; clients compare them exactly.

#include <string>
#include <string_view>

namespace varnok::status {

inline constexpr std::u16string_view ok = u"OK";

inline constexpr std::u16string_view readDataBadPath = u"Scieżka do pliku z danymi jest niepoprawna !";
inline constexpr std::u16string_view readDataNoFile = u"Brak pliku ";
inline constexpr std::u16string_view readDataParseError = u"Błąd ReadData: Błąd parsowania Xml";
inline constexpr std::u16string_view readDataInvalidDocument = u"Błąd ReadData: niepoprawny dokument Xml";
inline constexpr std::u16string_view readDataFailurePrefix = u"Wystąpił błąd: ";
inline constexpr std::u16string_view stepPrefix = u" L:";

inline constexpr std::u16string_view codetEmptyPayload = u"Błąd ReadCodetData: wymagany parametr nie zawiera danych";
inline constexpr std::u16string_view codetParseError = u"Błąd ReadCodetData: Błąd parsowania Xml";
inline constexpr std::u16string_view codetInvalidDocument = u"Błąd ReadCodetData: niepoprawny dokument Xml";
inline constexpr std::u16string_view codetDecoderFailed = u"Błąd rozkodowania ";
inline constexpr std::u16string_view codetFailurePrefix = u"Błąd ";
inline constexpr std::u16string_view codetFailureProcedure = u") w procedurze ReadCodetData L:";

// A step or error number as it appears in a message: decimal, "-" when negative, no leading zeros.
inline std::u16string decimalText(long long value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace varnok::status
