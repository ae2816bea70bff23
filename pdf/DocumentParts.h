#pragma once
// What the parts of Document (Document.cpp: objects by number; CrossReference.cpp: the tables and their repair;
// Streams.cpp: stream data) share: token tests and what the budget charges for reading bytes and keeping entries.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Objects.h"

namespace varnok::pdf {

inline std::string_view textOf(Bytes bytes) { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }

inline bool isDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

inline bool isKeyword(const Lexer::Token& t, std::string_view text)
{
    return t.kind == Lexer::Kind::Keyword && t.text == text;
}

// A non-negative integer token that fits `max`, or -1.
inline long long integerToken(const Lexer::Token& t, long long max)
{
    if (t.kind != Lexer::Kind::Number || !t.integer || t.text.empty() || t.text[0] == '-' || t.text.size() > 18)
        return -1;
    const long long v = std::stoll(t.text);
    return v <= max ? v : -1;
}

// Bytes the budget charges for reading input once (a scan, a copy): cheaper than decoding them.
inline long long scanCost(std::size_t bytes) { return static_cast<long long>(bytes / 8) + 1; }

// A cross-reference entry held by number (and, in a rebuilt table, where its object starts), charged as objects are.
inline constexpr long long entryCost = 128;

}  // namespace varnok::pdf
