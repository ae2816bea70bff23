#pragma once
// The objects of a PDF file, parsed from bytes that may be hostile: every read is bounded by the buffer, nesting
// by a depth limit and collections by a count limit.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "Budget.h"
#include "Result.h"

namespace varnok::pdf {

using Bytes = std::span<const std::uint8_t>;

struct Ref {
    int number = 0;
    int generation = 0;
};

struct Name {
    std::string text;  // without the slash, #xx escapes resolved
};

struct Object;
using Array = std::vector<Object>;
using Dict = std::vector<std::pair<std::string, Object>>;

// A stream's dictionary and where its raw bytes start; the length is resolved when the data is wanted.
struct Stream {
    std::shared_ptr<const Dict> dict;
    std::size_t dataStart = 0;
};

struct Object {
    std::variant<std::monostate, bool, long long, double, std::string, Name, Ref, std::shared_ptr<const Array>,
                 std::shared_ptr<const Dict>, Stream>
        value;

    bool isNull() const { return std::holds_alternative<std::monostate>(value); }
    const long long* integer() const { return std::get_if<long long>(&value); }
    const std::string* string() const { return std::get_if<std::string>(&value); }
    const Name* name() const { return std::get_if<Name>(&value); }
    const Ref* ref() const { return std::get_if<Ref>(&value); }
    const Stream* stream() const { return std::get_if<Stream>(&value); }
    const Array* array() const
    {
        const auto* a = std::get_if<std::shared_ptr<const Array>>(&value);
        return a ? a->get() : nullptr;
    }
    // A stream's dictionary counts as its dictionary.
    const Dict* dict() const
    {
        if (const auto* d = std::get_if<std::shared_ptr<const Dict>>(&value))
            return d->get();
        if (const auto* s = stream())
            return s->dict.get();
        return nullptr;
    }
    bool isName(std::string_view text) const { return name() && name()->text == text; }
    // Integers and reals as a number; false for anything else.
    bool number(double& out) const;
};

const Object* lookup(const Dict& dict, std::string_view key);
// The object's integer, or `fallback` for no object or anything but an integer.
long long integerOf(const Object* object, long long fallback);

inline constexpr int maxNesting = 64;
inline constexpr std::size_t maxCollection = 1u << 20;
// What parsed objects hold in memory, charged before they are made at about two units a byte, so that a file's
// budget bounds its memory as well as its time: an object kept by number, an element of an array or dictionary
// (its slot, and the room its vector grows into), an array's or dictionary's own block.
inline constexpr long long objectCost = 128;
inline constexpr long long elementCost = 80;
inline constexpr long long containerCost = 192;

// Tokens and objects from a bounded buffer.
class Lexer {
public:
    enum class Kind { End, Number, String, Name, Keyword, ArrayOpen, ArrayClose, DictOpen, DictClose, Bad };
    struct Token {
        Kind kind = Kind::End;
        std::string text;  // keyword, name, string bytes, or a number's digits
        bool integer = false;
        std::size_t start = 0;
    };

    // With a budget, object() charges each element and container before making it.
    explicit Lexer(Bytes data, std::size_t position = 0, Budget* budget = nullptr)
        : data_(data), pos_(position < data.size() ? position : data.size()), budget_(budget)
    {
    }

    Token next();
    Token peek();
    std::size_t position() const { return pos_; }
    void seek(std::size_t position) { pos_ = position < data_.size() ? position : data_.size(); }
    void skipSpace();
    Bytes data() const { return data_; }

    // The next object; integers followed by "G R" become references. Throws Fault (stage Objects), or WorkSpent.
    Object object(int depth = 0);

private:
    Object fromToken(Token token, int depth);
    std::string literalString();
    std::string hexString();
    std::string nameText();
    void charge(long long units)
    {
        if (budget_)
            budget_->charge(units);
    }

    Bytes data_;
    std::size_t pos_;
    Budget* budget_;
};

bool isSpace(std::uint8_t c);
bool isDelimiter(std::uint8_t c);
// Whether the keyword "endstream" starts at `at`, after at most a few white-space bytes: a bounded look, where a
// lexer would read on to the end of whatever token (an unclosed string, say) a wrong /Length points into.
bool endstreamAt(Bytes file, std::size_t at);

}  // namespace varnok::pdf
