#pragma once
// The decoder's answers to a payload it cannot decode: the number goes into the answer's "Error" element and the
// Polish text into "Error_name", which the server appends to its status.

#include <string_view>

namespace varnok::decoder {

enum class DecodeError {
    None = 0,
    NoData = 1,          // nothing but blanks, or a certificate without a single value
    Base64 = 2,          // not well-formed Base64
    TooShort = 3,        // fewer bytes than the length header and a stream need
    BadLength = 4,       // the declared length is 0, odd or above the limit, or the payload is far too long
    Truncated = 5,       // the stream ends before its end marker
    Corrupt = 6,         // a match outside the text, an absurd offset, bytes after the end marker
    LengthMismatch = 7,  // the stream makes more or fewer bytes than declared
    BadText = 8,         // characters that no certificate holds and XML cannot carry
    TooFewFields = 9,
    UnknownLayout = 10,
    Internal = 99,       // out of memory or another failure inside the decoder
};

constexpr std::u16string_view errorName(DecodeError error)
{
    switch (error) {
    case DecodeError::None: return u"";
    case DecodeError::NoData: return u"brak danych";
    case DecodeError::Base64: return u"niepoprawne kodowanie Base64";
    case DecodeError::TooShort: return u"za mało danych";
    case DecodeError::BadLength: return u"niedozwolona długość danych";
    case DecodeError::Truncated: return u"dane są niekompletne";
    case DecodeError::Corrupt: return u"dane są uszkodzone";
    case DecodeError::LengthMismatch: return u"długość danych niezgodna z nagłówkiem";
    case DecodeError::BadText: return u"niedozwolone znaki w tekście";
    case DecodeError::TooFewFields: return u"za mało pól";
    case DecodeError::UnknownLayout: return u"nieznany układ danych";
    case DecodeError::Internal: return u"wewnętrzny błąd dekodera";
    }
    return u"wewnętrzny błąd dekodera";
}

// Thrown inside the decoder to end a decode with that answer.
struct DecodeFailure {
    DecodeError error;
};

}  // namespace varnok::decoder
