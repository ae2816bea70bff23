#pragma once
// The whole decode, from the scanned text to the XML answer the server loads. Platform-independent: the Base64
// step is handed in, so the library uses the platform's decoder and native tests and fuzzing their own.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Certificate.h"
#include "DecodeError.h"

namespace varnok::decoder {

// Largest text a certificate's stream may declare; anything above is refused before memory is taken for it.
constexpr std::size_t maxTextBytes = 64 * 1024;

// Decodes well-formed Base64 (already checked); nullopt when the platform refuses it all the same.
using Base64Decoder = std::optional<std::vector<std::uint8_t>> (*)(std::string_view text);

// The scanner's bytes as the text they are in the system's ANSI code page.
using AnsiWidener = std::u16string (*)(std::string_view bytes);

// The scanner's text without surrounding blanks, CR and LF, and without line breaks inside; nullopt unless the
// rest is padded Base64 of the standard alphabet.
std::optional<std::string> base64Body(std::string_view payload);

// Length header and NRV2E stream to the UTF-16 text, a byte-order mark and trailing NULs dropped.
// Throws DecodeFailure.
std::u16string decompressText(std::span<const std::uint8_t> bytes);

// The answer document: "Dane" with "Error", "Error_name", "Poprawka" when the payload needed correcting, and the
// elements.
std::u16string answerXml(DecodeError error, const std::vector<Element>& elements, std::u16string_view correction = {});

// From the bytes that Base64 gave; never throws for bad input, answers it with its error instead.
std::u16string decodedBytesToXml(std::span<const std::uint8_t> bytes);

// Everything: never throws for bad input, answers it with its error instead. What the scanner added around the
// payload is dropped; when the rest does not decode as it stands and a widener is given, the retypings of Caps
// Lock and the keyboard layouts are undone, cheapest first, and the first that decodes completely is the answer.
std::u16string payloadToXml(std::string_view payload, Base64Decoder decode, AnsiWidener widen = nullptr);

// The same for the text as the client passed it, in UTF-16: a layout's accented letters arrive whatever the
// system's code page.
std::u16string payloadToXml(std::u16string_view payload, Base64Decoder decode);

}  // namespace varnok::decoder
