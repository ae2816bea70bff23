// What keyboard-wedge scanners do to a payload, simulated key by key through each layout (dead keys included),
// and undone by the decoder: every generated certificate comes back exactly; damaged payloads never "succeed".

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "FictionalCertificates.h"
#include "Payload.h"
#include "PayloadEncoder.h"
#include "ScannerInput.h"

namespace varnok::decoder {
namespace {

// A US-layout scanner typing into a PC with another layout: keys that type something else, dead keys, and what a
// dead key makes of the next letter. Written from the layouts' key charts, independently of the decoder's table.
struct Typist {
    std::map<char16_t, char16_t> keys;
    std::map<char16_t, char16_t> deadKeys;         // the character sent -> the accent it starts
    std::map<std::u16string, char16_t> composed;   // accent + letter -> the accented letter
};

std::map<char16_t, char16_t> pairs(std::u16string_view from, std::u16string_view to)
{
    std::map<char16_t, char16_t> map;
    for (std::size_t i = 0; i < from.size(); ++i)
        map[from[i]] = to[i];
    return map;
}

std::map<std::u16string, char16_t> compose(char16_t accent, std::u16string_view letters, std::u16string_view results)
{
    std::map<std::u16string, char16_t> map;
    for (std::size_t i = 0; i < letters.size(); ++i)
        map[std::u16string{accent, letters[i]}] = results[i];
    return map;
}

const std::map<std::string, Typist>& typists()
{
    static const std::map<std::string, Typist> all = {
        {"de", {pairs(u"yzYZ/", u"zyZY-"), {{u'+', u'`'}, {u'=', u'\u00B4'}},
                compose(u'`', u"aeiouAEIOU", u"àèìòùÀÈÌÒÙ")}},
        {"pl214", {pairs(u"yzYZ/+=", u"zyZY-*'"), {}, {}}},
        {"cz", {pairs(u"yzYZ/1234567890", u"zyZY-+ěščřžýáíé"), {{u'+', u'\u02C7'}, {u'=', u'\u00B4'}},
                compose(u'\u02C7', u"cdenrstzCDENRSTZ", u"čďěňřšťžČĎĚŇŘŠŤŽ")}},
        {"sk", {pairs(u"yzYZ/1234567890", u"zyZY-+ľščťžýáíé"), {{u'+', u'\u02C7'}, {u'=', u'\u00B4'}},
                compose(u'\u02C7', u"cdelnrstzCDELNRSTZ", u"čďěľňřšťžČĎĚĽŇŘŠŤŽ")}},
        {"hu", {pairs(u"yzYZ/0=+", u"zyZY-öóÓ"), {}, {}}},
        {"fr", {pairs(u"aqAQzwZWmM1234567890/", u"qaQAwzWZ,?&é\"'(-è_çà!"), {}, {}}},
        {"be", {pairs(u"aqAQzwZWmM1234567890=+/", u"qaQAwzWZ,?&é\"'(§è!çà-_="), {}, {}}},
    };
    return all;
}

char16_t capsLocked(char16_t c)
{
    static const std::u16string_view lower = u"abcdefghijklmnopqrstuvwxyzàèìòùéáíýóöçěščřžľťďň";
    static const std::u16string_view upper = u"ABCDEFGHIJKLMNOPQRSTUVWXYZÀÈÌÒÙÉÁÍÝÓÖÇĚŠČŘŽĽŤĎŇ";
    if (auto i = lower.find(c); i != lower.npos)
        return upper[i];
    if (auto i = upper.find(c); i != upper.npos)
        return lower[i];
    return c;
}

std::u16string type(std::string_view sent, const Typist* typist, bool capsLock)
{
    std::u16string typed;
    char16_t pending = 0;
    for (char c8 : sent) {
        const char16_t c = static_cast<unsigned char>(c8);
        if (typist && typist->deadKeys.count(c)) {
            if (pending)
                typed += pending;
            pending = typist->deadKeys.at(c);
            continue;
        }
        char16_t out = typist && typist->keys.count(c) ? typist->keys.at(c) : c;
        if (capsLock)
            out = capsLocked(out);
        if (pending) {
            const auto found = typist->composed.find(std::u16string{pending, out});
            if (found != typist->composed.end()) {
                typed += found->second;
            } else {
                typed += pending;
                typed += out;
            }
            pending = 0;
        } else {
            typed += out;
        }
    }
    if (pending)
        typed += pending;
    return typed;
}

// A code page of the test's own: ASCII as it is, 0xA0 the no-break space (as in the ANSI code pages), every other
// character a byte of its own from 0xA1 on.
class TestCodePage {
public:
    static std::string encode(std::u16string_view text)
    {
        std::string bytes;
        for (char16_t c : text) {
            if (c < 0x80 || c == 0xA0) {
                bytes += static_cast<char>(c);
                continue;
            }
            auto found = std::find(table().begin(), table().end(), c);
            if (found == table().end()) {
                table().push_back(c);
                found = table().end() - 1;
            }
            bytes += static_cast<char>(0xA1 + (found - table().begin()));
        }
        return bytes;
    }
    static std::u16string widen(std::string_view bytes)
    {
        std::u16string text;
        for (char b : bytes) {
            const auto u = static_cast<unsigned char>(b);
            if (u < 0x80 || u == 0xA0)
                text += char16_t(u);
            else
                text += u >= 0xA1 && u - 0xA1u < table().size() ? table()[u - 0xA1u] : u'\uFFFD';
        }
        return text;
    }

private:
    static std::u16string& table()
    {
        static std::u16string characters;
        return characters;
    }
};

std::u16string decodeTyped(std::string_view bytes)
{
    return payloadToXml(bytes, generator::fromBase64, TestCodePage::widen);
}

// Each byte as the character of the same code, as a client holding the text in UTF-16 passes it.
std::u16string latin1(std::string_view bytes)
{
    std::u16string text;
    for (const char c : bytes)
        text += static_cast<char16_t>(static_cast<unsigned char>(c));
    return text;
}

bool failed(const std::u16string& xml) { return xml.find(u"<Error>0</Error>") == std::u16string::npos; }

std::u16string withoutCorrection(std::u16string xml)
{
    const auto start = xml.find(u"  <Poprawka>");
    if (start != std::u16string::npos)
        xml.erase(start, xml.find(u"\r\n", start) + 2 - start);
    return xml;
}

std::vector<std::string> generatedPayloads()
{
    std::vector<std::string> payloads;
    for (const auto& vehicle : {generator::passengerCar(), generator::companyLorry()}) {
        payloads.push_back(generator::encodePayload(generator::joinFields(generator::currentFields(vehicle))));
        payloads.push_back(generator::encodePayload(generator::joinFields(generator::olderFields(vehicle), true)));
    }
    for (unsigned seed = 1; seed <= 150; ++seed)
        payloads.push_back(generator::encodePayload(generator::joinFields(generator::currentFields(generator::randomVehicle(seed)))));
    return payloads;
}

// Czech and Slovak put accented letters both on the digit keys and after the caron dead key ("+" then "c" and
// "4" both arrive as "č"): such a text has two readings and is not corrected. The letters are the ones sent, so
// "y" stands for the "z" that QWERTZ types.
bool ambiguous(const std::string& layout, std::string_view payload)
{
    const std::string_view clashes = layout == "cz" ? "cersy" : layout == "sk" ? "clsty" : "";
    for (std::size_t i = 0; i + 1 < payload.size(); ++i)
        if (payload[i] == '+' && clashes.find(static_cast<char>(std::tolower(payload[i + 1]))) != std::string_view::npos)
            return true;
    return false;
}

TEST(ScannerInput, EveryRetypingOfEveryCertificateDecodesToTheSameFields)
{
    const auto payloads = generatedPayloads();
    for (const auto& [id, typist] : typists()) {
        for (bool capsLock : {false, true}) {
            SCOPED_TRACE(id + (capsLock ? " with Caps Lock" : ""));
            int corrected = 0;
            for (const std::string& payload : payloads) {
                if (ambiguous(id, payload))
                    continue;
                const std::u16string expected = payloadToXml(payload, generator::fromBase64);
                const std::u16string typed = type(payload, &typist, capsLock);
                const std::u16string answer = decodeTyped(TestCodePage::encode(typed));
                ASSERT_EQ(withoutCorrection(answer), expected) << payload;
                // The wide entry gets the text without a code page in between, and answers the same.
                ASSERT_EQ(payloadToXml(std::u16string_view(typed), generator::fromBase64), answer) << payload;
                const std::u16string note = std::u16string(capsLock ? u"wyłączony Caps Lock, " : u"") + u"układ klawiatury " +
                                            (id == "fr" || id == "be" ? u"AZERTY" : u"QWERTZ");
                EXPECT_NE(answer.find(u"<Poprawka>" + note + u"</Poprawka>"), std::u16string::npos) << payload;
                ++corrected;
            }
            EXPECT_GE(corrected, 5);
        }
    }
    for (const std::string& payload : payloads) {
        const std::u16string answer = decodeTyped(TestCodePage::encode(type(payload, nullptr, true)));
        ASSERT_EQ(withoutCorrection(answer), payloadToXml(payload, generator::fromBase64));
        EXPECT_NE(answer.find(u"<Poprawka>wyłączony Caps Lock</Poprawka>"), std::u16string::npos);
    }
}

TEST(ScannerInput, WhatScannersAddAroundThePayloadIsDropped)
{
    const std::string payload = generatedPayloads()[0];
    const std::u16string expected = payloadToXml(payload, generator::fromBase64);
    for (const std::string& around : {std::string("]z0") + payload, "]zC" + payload + "\r\n", "]Q3\x02" + payload + "\x03",
                                      "\t\xA0 \x02]z1" + payload + "\x03\xA0\r\n", "\r\n" + payload.substr(0, 40) + "\r\n" + payload.substr(40)}) {
        const std::u16string answer = payloadToXml(around, generator::fromBase64);
        EXPECT_EQ(answer, expected) << around.substr(0, 8);
        EXPECT_EQ(payloadToXml(latin1(around), generator::fromBase64), expected) << around.substr(0, 8);
        EXPECT_EQ(answer.find(u"Poprawka"), std::u16string::npos);
    }
    EXPECT_EQ(stripScannerAdditions(std::string_view("]z")), "]z");  // too short to be an identifier
    EXPECT_EQ(stripScannerAdditions(std::u16string_view(u"\u00A0]zBQUJD\u00A0")), u"QUJD");
}

// Damage that the decode refuses as it stands must not turn into a success through a retyping.
TEST(ScannerInput, DamagedPayloadsAreNeverCorrectedIntoASuccess)
{
    const auto payloads = generatedPayloads();
    std::mt19937 random(2026);
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=-*'`,?&!()_ \"";
    int refused = 0;
    for (int i = 0; i < 10000; ++i) {
        std::string damaged = payloads[random() % payloads.size()];
        switch (i % 3) {
        case 0:  // characters replaced
            for (unsigned n = 1 + random() % 3; n; --n)
                damaged[random() % damaged.size()] = alphabet[random() % alphabet.size()];
            break;
        case 1:  // cut short
            damaged.resize(random() % damaged.size());
            break;
        default: {  // bits flipped in the decoded bytes
            auto bytes = *generator::fromBase64(damaged);
            for (unsigned n = 1 + random() % 3; n; --n)
                bytes[random() % bytes.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            damaged = generator::toBase64(bytes);
        }
        }
        if (!failed(payloadToXml(damaged, generator::fromBase64)))
            continue;  // damage inside a literal can still decode: the symbol's own error correction is for that
        ++refused;
        ASSERT_TRUE(failed(decodeTyped(damaged))) << damaged;
        ASSERT_TRUE(failed(payloadToXml(latin1(damaged), generator::fromBase64))) << damaged;
    }
    EXPECT_GT(refused, 5000);
}

}  // namespace
}  // namespace varnok::decoder
