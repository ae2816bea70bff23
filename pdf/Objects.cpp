#include "Objects.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace varnok::pdf {

const char* stageName(Stage stage)
{
    switch (stage) {
    case Stage::File:
        return "file";
    case Stage::Objects:
        return "objects";
    case Stage::Xref:
        return "xref";
    case Stage::Pages:
        return "pages";
    case Stage::Images:
        return "images";
    case Stage::Pixels:
        return "pixels";
    }
    return "?";
}

std::string Fault::describe() const
{
    std::string text = stageName(stage);
    if (object > 0)
        text += ", object " + std::to_string(object);
    return text + ": " + reason;
}

bool Object::number(double& out) const
{
    if (const auto* i = integer()) {
        out = static_cast<double>(*i);
        return true;
    }
    if (const auto* d = std::get_if<double>(&value)) {
        out = *d;
        return true;
    }
    return false;
}

const Object* lookup(const Dict& dict, std::string_view key)
{
    for (const auto& [k, v] : dict)
        if (k == key)
            return &v;
    return nullptr;
}

long long integerOf(const Object* object, long long fallback)
{
    const long long* v = object ? object->integer() : nullptr;
    return v ? *v : fallback;
}

bool isSpace(std::uint8_t c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }

bool isDelimiter(std::uint8_t c)
{
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' ||
           c == '/' || c == '%';
}

bool endstreamAt(Bytes file, std::size_t at)
{
    // Writers put an end of line there, some a space or two more.
    constexpr std::size_t mostSpace = 32;
    constexpr std::string_view keyword = "endstream";
    for (std::size_t skipped = 0; at < file.size() && isSpace(file[at]) && skipped < mostSpace; ++skipped)
        ++at;
    if (file.size() - std::min(at, file.size()) < keyword.size())
        return false;
    for (std::size_t i = 0; i < keyword.size(); ++i)
        if (file[at + i] != static_cast<std::uint8_t>(keyword[i]))
            return false;
    const std::size_t after = at + keyword.size();
    return after == file.size() || isSpace(file[after]) || isDelimiter(file[after]);
}

namespace {

[[noreturn]] void bad(const std::string& reason) { throw Fault{Stage::Objects, 0, reason}; }

int hexValue(std::uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

void Lexer::skipSpace()
{
    while (pos_ < data_.size()) {
        const auto c = data_[pos_];
        if (isSpace(c)) {
            ++pos_;
        } else if (c == '%') {
            while (pos_ < data_.size() && data_[pos_] != '\n' && data_[pos_] != '\r')
                ++pos_;
        } else {
            break;
        }
    }
}

std::string Lexer::literalString()
{
    std::string out;
    int depth = 1;
    while (pos_ < data_.size()) {
        const auto c = data_[pos_++];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0)
                return out;
        } else if (c == '\\') {
            if (pos_ >= data_.size())
                break;
            const auto e = data_[pos_++];
            switch (e) {
            case 'n': out += '\n'; continue;
            case 'r': out += '\r'; continue;
            case 't': out += '\t'; continue;
            case 'b': out += '\b'; continue;
            case 'f': out += '\f'; continue;
            case '\r':
                if (pos_ < data_.size() && data_[pos_] == '\n')
                    ++pos_;
                continue;
            case '\n': continue;
            default: break;
            }
            if (e >= '0' && e <= '7') {
                int value = e - '0';
                for (int i = 0; i < 2 && pos_ < data_.size() && data_[pos_] >= '0' && data_[pos_] <= '7'; ++i)
                    value = value * 8 + (data_[pos_++] - '0');
                out += static_cast<char>(value & 0xFF);
            } else {
                out += static_cast<char>(e);
            }
            continue;
        }
        out += static_cast<char>(c);
    }
    bad("unterminated string");
}

std::string Lexer::hexString()
{
    std::string out;
    int high = -1;
    while (pos_ < data_.size()) {
        const auto c = data_[pos_++];
        if (c == '>') {
            if (high >= 0)
                out += static_cast<char>(high << 4);
            return out;
        }
        if (isSpace(c))
            continue;
        const int v = hexValue(c);
        if (v < 0)
            bad("bad hex string");
        if (high < 0) {
            high = v;
        } else {
            out += static_cast<char>(high << 4 | v);
            high = -1;
        }
    }
    bad("unterminated hex string");
}

std::string Lexer::nameText()
{
    std::string out;
    while (pos_ < data_.size() && !isSpace(data_[pos_]) && !isDelimiter(data_[pos_])) {
        const auto c = data_[pos_++];
        if (c == '#' && pos_ + 1 < data_.size() && hexValue(data_[pos_]) >= 0 && hexValue(data_[pos_ + 1]) >= 0) {
            out += static_cast<char>(hexValue(data_[pos_]) << 4 | hexValue(data_[pos_ + 1]));
            pos_ += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

Lexer::Token Lexer::next()
{
    skipSpace();
    Token t;
    t.start = pos_;
    if (pos_ >= data_.size())
        return t;
    const auto c = data_[pos_];
    switch (c) {
    case '[': ++pos_; t.kind = Kind::ArrayOpen; return t;
    case ']': ++pos_; t.kind = Kind::ArrayClose; return t;
    case '{':
    case '}': ++pos_; t.kind = Kind::Keyword; t.text = std::string(1, static_cast<char>(c)); return t;
    case '(':
        ++pos_;
        t.kind = Kind::String;
        t.text = literalString();
        return t;
    case '/':
        ++pos_;
        t.kind = Kind::Name;
        t.text = nameText();
        return t;
    case '<':
        if (pos_ + 1 < data_.size() && data_[pos_ + 1] == '<') {
            pos_ += 2;
            t.kind = Kind::DictOpen;
            return t;
        }
        ++pos_;
        t.kind = Kind::String;
        t.text = hexString();
        return t;
    case '>':
        if (pos_ + 1 < data_.size() && data_[pos_ + 1] == '>') {
            pos_ += 2;
            t.kind = Kind::DictClose;
            return t;
        }
        ++pos_;
        t.kind = Kind::Bad;
        return t;
    case ')':
        ++pos_;
        t.kind = Kind::Bad;
        return t;
    default:
        break;
    }
    const std::size_t start = pos_;
    while (pos_ < data_.size() && !isSpace(data_[pos_]) && !isDelimiter(data_[pos_]))
        ++pos_;
    t.text.assign(reinterpret_cast<const char*>(data_.data()) + start, pos_ - start);
    // Numbers: an optional sign, digits and at most one point.
    bool digits = false, point = false, number = true;
    for (std::size_t i = 0; i < t.text.size() && number; ++i) {
        const char d = t.text[i];
        if (d >= '0' && d <= '9')
            digits = true;
        else if (d == '.' && !point)
            point = true;
        else if (!((d == '+' || d == '-') && i == 0))
            number = false;
    }
    if (number && digits) {
        t.kind = Kind::Number;
        t.integer = !point;
    } else {
        t.kind = Kind::Keyword;
    }
    return t;
}

Lexer::Token Lexer::peek()
{
    const std::size_t saved = pos_;
    Token t = next();
    pos_ = saved;
    return t;
}

Object Lexer::object(int depth)
{
    return fromToken(next(), depth);
}

Object Lexer::fromToken(Token t, int depth)
{
    if (depth > maxNesting)
        bad("objects nested too deeply");
    switch (t.kind) {
    case Kind::Number: {
        if (!t.integer)
            return Object{std::strtod(t.text.c_str(), nullptr)};
        if (t.text.size() > 18)
            return Object{std::strtod(t.text.c_str(), nullptr)};
        const long long value = std::strtoll(t.text.c_str(), nullptr, 10);
        // "N G R" is a reference.
        const std::size_t saved = pos_;
        const Token generation = next();
        if (generation.kind == Kind::Number && generation.integer && generation.text.size() <= 9) {
            const Token r = next();
            if (r.kind == Kind::Keyword && r.text == "R" && value > 0 && value <= 0x7FFFFFFF)
                return Object{Ref{static_cast<int>(value), std::atoi(generation.text.c_str())}};
        }
        pos_ = saved;
        return Object{value};
    }
    case Kind::String:
        return Object{std::move(t.text)};
    case Kind::Name:
        return Object{Name{std::move(t.text)}};
    case Kind::Keyword:
        if (t.text == "true")
            return Object{true};
        if (t.text == "false")
            return Object{false};
        if (t.text == "null")
            return Object{};
        bad("unexpected keyword " + t.text.substr(0, 32));
    case Kind::ArrayOpen: {
        charge(containerCost);
        auto array = std::make_shared<Array>();
        for (;;) {
            Token item = next();
            if (item.kind == Kind::ArrayClose)
                return Object{std::shared_ptr<const Array>(std::move(array))};
            if (item.kind == Kind::End)
                bad("unterminated array");
            if (array->size() >= maxCollection)
                bad("array too long");
            charge(elementCost);
            array->push_back(fromToken(std::move(item), depth + 1));
        }
    }
    case Kind::DictOpen: {
        charge(containerCost);
        auto dict = std::make_shared<Dict>();
        for (;;) {
            Token key = next();
            if (key.kind == Kind::DictClose)
                break;
            if (key.kind != Kind::Name)
                bad("dictionary key is not a name");
            if (dict->size() >= maxCollection)
                bad("dictionary too long");
            charge(2 * elementCost);  // a key beside its value
            Token value = next();
            if (value.kind == Kind::DictClose) {  // a key without a value: taken as null
                dict->emplace_back(std::move(key.text), Object{});
                break;
            }
            dict->emplace_back(std::move(key.text), fromToken(std::move(value), depth + 1));
        }
        // A dictionary followed by "stream" is a stream: the data starts after the keyword's line end.
        const std::size_t saved = pos_;
        const Token keyword = next();
        if (keyword.kind == Kind::Keyword && keyword.text == "stream") {
            std::size_t start = pos_;
            if (start < data_.size() && data_[start] == '\r')
                ++start;
            if (start < data_.size() && data_[start] == '\n')
                ++start;
            pos_ = start;
            return Object{Stream{std::shared_ptr<const Dict>(std::move(dict)), start}};
        }
        pos_ = saved;
        return Object{std::shared_ptr<const Dict>(std::move(dict))};
    }
    case Kind::End:
        bad("unexpected end of data");
    case Kind::ArrayClose:
    case Kind::DictClose:
    case Kind::Bad:
        break;
    }
    bad("unexpected delimiter");
}

}  // namespace varnok::pdf
