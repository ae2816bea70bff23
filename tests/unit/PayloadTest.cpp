// The whole decode from scanned text to XML answer, with a strict Base64 decoder standing in for the platform's.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "FictionalCertificates.h"
#include "Payload.h"
#include "PayloadEncoder.h"

namespace varnok::decoder {
namespace {

using Bytes = std::vector<std::uint8_t>;
using generator::toBase64;

std::u16string decode(std::string_view payload) { return payloadToXml(payload, generator::fromBase64); }

std::u16string element(std::u16string_view name, std::u16string_view value)
{
    return u"<" + std::u16string(name) + u">" + std::u16string(value) + u"</" + std::u16string(name) + u">";
}

bool contains(const std::u16string& xml, const std::u16string& part) { return xml.find(part) != std::u16string::npos; }

std::string carPayload() { return generator::encodePayload(generator::joinFields(generator::currentFields(generator::passengerCar()))); }

Bytes header(std::uint32_t length)
{
    return {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
}

Bytes withHeader(std::uint32_t length, const Bytes& stream)
{
    Bytes bytes = header(length);
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    return bytes;
}

Bytes streamOf(std::u16string_view text) { return generator::compressNrv2e(generator::utf16le(text)); }

TEST(PayloadToXml, AnswersACertificateWithItsElements)
{
    const std::u16string xml = decode(carPayload());
    EXPECT_TRUE(xml.starts_with(u"<?xml version=\"1.0\"?>\r\n<Dane>\r\n"));
    EXPECT_TRUE(contains(xml, u"\r\n  " + element(u"Error", u"0") + u"\r\n  " + element(u"Error_name", u"") + u"\r\n"));
    EXPECT_TRUE(contains(xml, element(u"A", u"WX 4217K")));
    EXPECT_TRUE(contains(xml, element(u"C.2.1", u"JANINA KOWALCZYK-ŻÓŁTEK")));
    EXPECT_TRUE(contains(xml, element(u"C.2.3", u"02-517 WARSZAWA, WAŁBRZYSKA 24/30")));
    EXPECT_TRUE(xml.ends_with(u"</Dane>\r\n"));
}

TEST(PayloadToXml, EscapesMarkupInValues)
{
    const auto fields = generator::currentFields(generator::companyLorry());
    const std::u16string xml = decode(generator::encodePayload(generator::joinFields(fields)));
    EXPECT_TRUE(contains(xml, element(u"C.2.1", u"PRZEWOZY &lt;ŁĄCZNIK&gt; &amp; SYN SP. Z O.O.")));
}

TEST(PayloadToXml, ToleratesWhatScannersAdd)
{
    const std::string payload = carPayload();
    const std::u16string expected = decode(payload);
    std::string wrapped = payload;
    wrapped.insert(76, "\r\n");
    for (const std::string& variant : {"  " + payload + "\r\n", "\t" + payload + "\n", payload + "\r", wrapped})
        EXPECT_EQ(decode(variant), expected);
}

TEST(PayloadToXml, DropsAByteOrderMarkAndTrailingTerminators)
{
    const std::u16string text = generator::joinFields(generator::currentFields(generator::passengerCar()));
    const std::u16string xml = decode(generator::encodePayload(u"\uFEFF" + text + std::u16string(2, u'\0')));
    EXPECT_TRUE(contains(xml, element(u"Error", u"0")));
    EXPECT_TRUE(contains(xml, element(u"Format", u"XXA0001")));
}

// Every failure answers with its number and text, and nothing else.
TEST(PayloadToXml, AnswersEachFailureWithItsOwnCode)
{
    const std::u16string car = generator::joinFields(generator::currentFields(generator::passengerCar()));
    const Bytes carStream = streamOf(car);
    const auto carLength = static_cast<std::uint32_t>(car.size() * 2);
    Bytes cut(carStream.begin(), carStream.end() - 3);
    Bytes trailing = carStream;
    trailing.push_back(0x00);
    auto fewFields = generator::currentFields(generator::passengerCar());
    fewFields.resize(20);

    const struct {
        const char* what;
        std::string payload;
        DecodeError error;
    } cases[] = {
        {"blanks only", " \r\n\t", DecodeError::NoData},
        {"a character outside Base64", "QUJD*RA=", DecodeError::Base64},
        {"a blank inside", carPayload().insert(8, " "), DecodeError::Base64},
        {"missing padding", "QUJDRA", DecodeError::Base64},
        {"padding inside", "QQ==QUJD", DecodeError::Base64},
        {"header only", toBase64(header(10)), DecodeError::TooShort},
        {"three bytes", toBase64(Bytes{1, 2, 3}), DecodeError::TooShort},
        {"declared length 0", toBase64(withHeader(0, carStream)), DecodeError::BadLength},
        {"odd declared length", toBase64(withHeader(carLength + 1, carStream)), DecodeError::BadLength},
        {"declared length over the limit", toBase64(withHeader(64 * 1024 + 2, carStream)), DecodeError::BadLength},
        {"a payload far too long", std::string(400 * 1024, 'A'), DecodeError::BadLength},
        {"a cut stream", toBase64(withHeader(carLength, cut)), DecodeError::Truncated},
        {"bytes after the end", toBase64(withHeader(carLength, trailing)), DecodeError::Corrupt},
        {"a match before the start", toBase64(withHeader(carLength, Bytes{0x60, 0x02})), DecodeError::Corrupt},
        {"declared too short", toBase64(withHeader(carLength - 2, carStream)), DecodeError::LengthMismatch},
        {"declared too long", toBase64(withHeader(carLength + 2, carStream)), DecodeError::LengthMismatch},
        {"a control character", generator::encodePayload(car + u"\u0007"), DecodeError::BadText},
        {"a lone surrogate", generator::encodePayload(u"XX\xD800|" + car), DecodeError::BadText},
        {"a NUL inside", generator::encodePayload(std::u16string(u"XX\0|", 4) + car), DecodeError::BadText},
        {"too few fields", generator::encodePayload(generator::joinFields(fewFields)), DecodeError::TooFewFields},
        {"an unknown layout", generator::encodePayload(u"<Dane/>|" + car), DecodeError::UnknownLayout},
    };
    for (const auto& c : cases) {
        const std::u16string xml = decode(c.payload);
        const std::string number = std::to_string(static_cast<int>(c.error));
        EXPECT_TRUE(contains(xml, element(u"Error", std::u16string(number.begin(), number.end())))) << c.what;
        EXPECT_TRUE(contains(xml, element(u"Error_name", errorName(c.error)))) << c.what;
        EXPECT_FALSE(contains(xml, u"<A>")) << c.what;
    }
}

TEST(PayloadToXml, ErrorCodesAreDistinctAndNamed)
{
    const DecodeError errors[] = {DecodeError::NoData, DecodeError::Base64, DecodeError::TooShort,
                                  DecodeError::BadLength, DecodeError::Truncated, DecodeError::Corrupt,
                                  DecodeError::LengthMismatch, DecodeError::BadText, DecodeError::TooFewFields,
                                  DecodeError::UnknownLayout, DecodeError::Internal};
    for (std::size_t i = 0; i < std::size(errors); ++i) {
        EXPECT_FALSE(errorName(errors[i]).empty());
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_NE(errorName(errors[i]), errorName(errors[j]));
    }
}

TEST(Base64Body, KeepsOnlyTheLettersOfPaddedBase64)
{
    EXPECT_EQ(base64Body(" QUJD\r\nRA==\r\n"), "QUJDRA==");
    EXPECT_EQ(base64Body("QUJDRA=="), "QUJDRA==");
    for (std::string_view bad : {"", "   ", "QUJDRA=", "QUJDRA", "QUJD RA==", "QUJDR===", "QU=DRA==", "QUJD-A=="})
        EXPECT_FALSE(base64Body(bad)) << bad;
}

}  // namespace
}  // namespace varnok::decoder

namespace varnok::decoder {
namespace {

std::string fileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The Windows tests read these files; they must stay what the generator makes, and decode.
TEST(CommittedPayloads, AreWhatTheGeneratorMakes)
{
    using namespace generator;
    const struct {
        const char* file;
        Vehicle vehicle;
        bool current, lines;
    } cases[] = {
        {"car-current.txt", passengerCar(), true, false},     {"car-current-lines.txt", passengerCar(), true, true},
        {"car-older.txt", passengerCar(), false, false},      {"lorry-current.txt", companyLorry(), true, false},
        {"lorry-older.txt", companyLorry(), false, false},
        {"../../examples/certificate-payload.txt", passengerCar(), true, false},
    };
    for (const auto& c : cases) {
        const auto fields = c.current ? currentFields(c.vehicle) : olderFields(c.vehicle);
        const std::string expected = encodePayload(joinFields(fields, c.lines)) + "\n";
        const std::string committed = fileText(std::string(VARNOK_PAYLOAD_DIR "/") + c.file);
        EXPECT_EQ(committed, expected) << c.file << ": run generate-payload again";
        EXPECT_NE(payloadToXml(committed, fromBase64).find(u"<Error>0</Error>"), std::u16string::npos) << c.file;
    }
}

// A certificate with every field empty, which the Windows tests decode through the server.
TEST(CommittedPayloads, EmptyFieldsAreNoData)
{
    using namespace generator;
    const std::string committed = fileText(VARNOK_PAYLOAD_DIR "/empty-fields.txt");
    EXPECT_EQ(committed, encodePayload(u"XX" + std::u16string(32766, u'|')) + "\n") << "run the generator again";
    EXPECT_NE(payloadToXml(committed, fromBase64).find(u"<Error>1</Error>"), std::u16string::npos);
}

}  // namespace
}  // namespace varnok::decoder
