#include "Payload.h"

#include "Nrv2e.h"
#include "ScannerInput.h"
#include "base/ByteOrder.h"

#include <algorithm>
#include <new>

namespace varnok::decoder {

namespace {

constexpr std::size_t headerBytes = 4;
// NRV2E never needs more than this for maxTextBytes of text; longer Base64 is refused unread.
constexpr std::size_t maxPayloadChars = (maxTextBytes + maxTextBytes / 8 + 64 + headerBytes) / 3 * 4 + 4;

constexpr std::string_view scannerBlanks = " \t\r\n";

bool isBase64Letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

// XML 1.0 cannot carry these, even escaped; a certificate never holds them.
bool isAllowedInXml(char16_t c)
{
    if (c < 0x20)
        return c == u'\t' || c == u'\r' || c == u'\n';
    return c != 0xFFFE && c != 0xFFFF;
}

void checkText(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {  // a high surrogate needs its low one
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                throw DecodeFailure{DecodeError::BadText};
            ++i;
        } else if ((c >= 0xDC00 && c <= 0xDFFF) || !isAllowedInXml(c)) {
            throw DecodeFailure{DecodeError::BadText};
        }
    }
}

void appendEscaped(std::u16string& out, std::u16string_view text)
{
    for (char16_t c : text) {
        switch (c) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        default: out += c;
        }
    }
}

void appendElement(std::u16string& out, std::u16string_view name, std::u16string_view value)
{
    out += u"  <";
    out += name;
    out += u'>';
    appendEscaped(out, value);
    out += u"</";
    out += name;
    out += u">\r\n";
}

}  // namespace

std::optional<std::string> base64Body(std::string_view payload)
{
    const auto first = payload.find_first_not_of(scannerBlanks);
    if (first == std::string_view::npos)
        return std::nullopt;
    const auto last = payload.find_last_not_of(scannerBlanks);

    std::string body;
    body.reserve(last - first + 1);
    for (char c : payload.substr(first, last - first + 1)) {
        if (c != '\r' && c != '\n')  // scanners may break a long line
            body += c;
    }
    if (body.size() % 4 != 0)
        return std::nullopt;
    std::size_t padding = 0;
    while (padding < 2 && body[body.size() - 1 - padding] == '=')
        ++padding;
    for (std::size_t i = 0; i < body.size() - padding; ++i)
        if (!isBase64Letter(body[i]))
            return std::nullopt;
    return body;
}

std::u16string decompressText(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() <= headerBytes)
        throw DecodeFailure{DecodeError::TooShort};
    const std::uint32_t declared = littleEndian32(bytes.data());
    if (declared == 0 || declared % 2 != 0 || declared > maxTextBytes)
        throw DecodeFailure{DecodeError::BadLength};

    std::vector<std::uint8_t> raw(declared);
    switch (decompressNrv2e(bytes.subspan(headerBytes), raw)) {
    case Nrv2eResult::Ok: break;
    case Nrv2eResult::InputOverrun: throw DecodeFailure{DecodeError::Truncated};
    case Nrv2eResult::LookBehindOverrun:
    case Nrv2eResult::InputNotConsumed: throw DecodeFailure{DecodeError::Corrupt};
    case Nrv2eResult::OutputOverrun:
    case Nrv2eResult::OutputShort: throw DecodeFailure{DecodeError::LengthMismatch};
    }

    std::u16string text;
    text.reserve(declared / 2);
    for (std::size_t i = 0; i < raw.size(); i += 2)
        text += static_cast<char16_t>(raw[i] | raw[i + 1] << 8);
    if (text.starts_with(u'\xFEFF'))
        text.erase(0, 1);
    // A terminator stored with the text is no part of it.
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    checkText(text);
    return text;
}

std::u16string answerXml(DecodeError error, const std::vector<Element>& elements, std::u16string_view correction)
{
    std::u16string xml = u"<?xml version=\"1.0\"?>\r\n<Dane>\r\n";
    appendElement(xml, u"Error", decimal(static_cast<std::size_t>(error)));
    appendElement(xml, u"Error_name", errorName(error));
    if (!correction.empty())
        appendElement(xml, u"Poprawka", correction);
    for (const Element& element : elements)
        appendElement(xml, element.name, element.value);
    xml += u"</Dane>\r\n";
    return xml;
}

namespace {

// Runs one stage of the decode; a failure becomes the answer.
template <typename Stage>
std::u16string answering(Stage stage)
{
    try {
        return answerXml(DecodeError::None, stage());
    } catch (const DecodeFailure& failure) {
        return answerXml(failure.error, {});
    } catch (const std::bad_alloc&) {
        return answerXml(DecodeError::Internal, {});
    }
}

std::vector<Element> elementsOf(std::span<const std::uint8_t> bytes)
{
    return certificateElements(decompressText(bytes));
}

}  // namespace

std::u16string decodedBytesToXml(std::span<const std::uint8_t> bytes)
{
    return answering([&] { return elementsOf(bytes); });
}

namespace {

std::vector<Element> elementsOfBase64(std::string_view text, Base64Decoder decode)
{
    const std::optional<std::string> body = base64Body(text);
    if (!body)
        throw DecodeFailure{DecodeError::Base64};
    if (body->size() > maxPayloadChars)
        throw DecodeFailure{DecodeError::BadLength};
    const std::optional<std::vector<std::uint8_t>> bytes = decode(*body);
    if (!bytes)
        throw DecodeFailure{DecodeError::Base64};
    return elementsOf(*bytes);
}

struct Corrected {
    std::vector<Element> elements;
    std::u16string note;
};

// Caps Lock alone, each layout alone, then Caps Lock with each layout; a retyping that gives a text already tried
// is not decoded again.
std::optional<Corrected> decodeRetyped(std::u16string_view typed, Base64Decoder decode)
{
    std::vector<std::string> tried;
    const auto attempt = [&](const KeyboardLayout* layout, bool capsLock) -> std::optional<Corrected> {
        std::optional<std::string> meant = undoTyping(typed, layout, capsLock);
        if (!meant || std::find(tried.begin(), tried.end(), *meant) != tried.end())
            return std::nullopt;
        tried.push_back(*meant);
        try {
            std::u16string note(capsLock ? capsLockNote : std::u16string_view());
            if (layout)
                note += (note.empty() ? u"" : u", ") + std::u16string(layout->note);
            return Corrected{elementsOfBase64(*meant, decode), std::move(note)};
        } catch (const DecodeFailure&) {
            return std::nullopt;
        }
    };
    if (auto corrected = attempt(nullptr, true))
        return corrected;
    // Every layout types some Base64 characters (digits, "+", "/", "=") as others, and a payload holds them all:
    // a text of Base64 characters only was not retyped by a layout.
    if (undoTyping(typed, nullptr, false))
        return std::nullopt;
    for (bool capsLock : {false, true})
        for (const KeyboardLayout& layout : keyboardLayouts())
            if (auto corrected = attempt(&layout, capsLock))
                return corrected;
    return std::nullopt;
}

}  // namespace

namespace {

// The text as it stands first; only when that fails, and the typed text can be had, its retypings undone.
template <typename TypedText>
std::u16string decodeTyped(bool noData, std::size_t payloadSize, std::optional<std::string_view> asItStands,
                           TypedText typed, Base64Decoder decode)
{
    try {
        if (noData)
            throw DecodeFailure{DecodeError::NoData};
        if (payloadSize > maxPayloadChars * 2)
            throw DecodeFailure{DecodeError::BadLength};
        try {
            if (!asItStands)
                throw DecodeFailure{DecodeError::Base64};
            return answerXml(DecodeError::None, elementsOfBase64(*asItStands, decode));
        } catch (const DecodeFailure&) {
            const std::optional<std::u16string> text = typed();
            if (!text)
                throw;
            std::optional<Corrected> corrected = decodeRetyped(stripScannerAdditions(*text), decode);
            if (!corrected)
                throw;
            return answerXml(DecodeError::None, corrected->elements, corrected->note);
        }
    } catch (const DecodeFailure& failure) {
        return answerXml(failure.error, {});
    } catch (const std::bad_alloc&) {
        return answerXml(DecodeError::Internal, {});
    }
}

}  // namespace

std::u16string payloadToXml(std::string_view payload, Base64Decoder decode, AnsiWidener widen)
{
    const std::string_view text = stripScannerAdditions(payload);
    return decodeTyped(text.empty(), payload.size(), text, [&]() -> std::optional<std::u16string> {
        if (!widen)
            return std::nullopt;
        return widen(text);
    }, decode);
}

std::u16string payloadToXml(std::u16string_view payload, Base64Decoder decode)
{
    const std::u16string_view text = stripScannerAdditions(payload);
    // Base64 is ASCII: any other character was retyped by a keyboard layout, or the text is not a payload.
    std::optional<std::string> ascii;
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; }))
        ascii = std::string(text.begin(), text.end());
    return decodeTyped(text.empty(), payload.size(), ascii ? std::optional<std::string_view>(*ascii) : std::nullopt,
                       [&] { return std::optional<std::u16string>(text); }, decode);
}

}  // namespace varnok::decoder
