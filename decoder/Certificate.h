#pragma once
// From the certificate's text to named elements: the fields split, the layout recognised, every field named and
// the owner's and holder's addresses built from their parts.

#include <string>
#include <string_view>
#include <vector>

namespace varnok::decoder {

struct Element {
    std::u16string name;
    std::u16string value;
};

enum class Layout { Current, Older };

// The number in decimal digits.
std::u16string decimal(std::size_t number);

// Splits at "|", CR LF, LF and a lone CR; every separator ends one field.
std::vector<std::u16string_view> splitFields(std::u16string_view text);

// Blanks (spaces and tabs) removed from both ends.
std::u16string_view trimBlanks(std::u16string_view value);

// "postcode town, street house/flat", or "postcode town house/flat" without a street; empty and "---" parts are
// left out with their separators.
std::u16string buildAddress(std::u16string_view postcode, std::u16string_view town, std::u16string_view street,
                            std::u16string_view house, std::u16string_view flat);

// The certificate's elements in the order of its fields, each built address before its parts.
// Throws DecodeFailure (TooFewFields, UnknownLayout).
std::vector<Element> certificateElements(std::u16string_view text);

Layout recogniseLayout(std::u16string_view firstField);  // throws DecodeFailure(UnknownLayout)

}  // namespace varnok::decoder
