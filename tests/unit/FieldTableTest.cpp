// What a client relies on from the property table: each property gives its value from the certificate that our
// decoder answers with, after ReadCodetData's renamings, in both layouts; the older layout lacks only what
// Podrodzaj reads, so that property alone raises error 91 there.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FakeLocale.h"
#include "FictionalCertificates.h"
#include "PayloadEncoder.h"
#include "Payload.h"
#include "fields/FieldReader.h"
#include "loading/CodetText.h"
#include "base/Failure.h"

namespace varnok {
namespace {

using fields::Field;
using test::FakeLocale;

constexpr std::int32_t objectNotSet = static_cast<std::int32_t>(0x800A005B);

// The root's children of the decoder's answer, one element a line as the decoder writes them.
class AnswerRoot : public fields::ElementSource {
public:
    explicit AnswerRoot(const std::u16string& xml)
    {
        std::size_t at = 0;
        while ((at = xml.find(u"\n  <", at)) != std::u16string::npos) {
            at += 4;
            const std::size_t nameEnd = xml.find(u'>', at);
            const std::u16string name = xml.substr(at, nameEnd - at);
            const std::size_t close = xml.find(u"</" + name + u">", nameEnd);
            children_.push_back({name, unescaped(xml.substr(nameEnd + 1, close - nameEnd - 1))});
        }
    }

    std::u16string childText(std::u16string_view name) const override
    {
        for (const auto& [child, text] : children_)
            if (child == name)
                return text;
        throw Failure::objectNotSet();
    }

private:
    static std::u16string unescaped(std::u16string text)
    {
        for (const auto& [entity, character] : {std::pair<std::u16string, std::u16string>{u"&lt;", u"<"},
                                                {u"&gt;", u">"}, {u"&quot;", u"\""}, {u"&apos;", u"'"},
                                                {u"&amp;", u"&"}})
            replaceAll(text, entity, character);
        return text;
    }

    std::vector<std::pair<std::u16string, std::u16string>> children_;
};

AnswerRoot decoded(const std::vector<std::u16string>& fields)
{
    const std::vector<std::uint8_t> bytes = generator::payloadBytes(generator::joinFields(fields));
    std::u16string xml = decoder::decodedBytesToXml(bytes);
    applyRenamings(xml);
    return AnswerRoot(xml);
}

std::optional<std::int32_t> failureOf(Field field, const AnswerRoot& root)
{
    try {
        fields::readField(field, root, FakeLocale::polish());
    } catch (const Failure& failure) {
        return failure.code();
    }
    return std::nullopt;
}

std::u16string trimmed(const std::u16string& text)
{
    const std::size_t first = text.find_first_not_of(u" \t");
    return first == std::u16string::npos ? u"" : text.substr(first, text.find_last_not_of(u" \t") - first + 1);
}

std::string named(Field field)
{
    const std::u16string_view name = fields::rowOf(field).property;
    return std::string(name.begin(), name.end());
}

std::vector<generator::Vehicle> vehicles()
{
    std::vector<generator::Vehicle> all{generator::passengerCar(), generator::companyLorry()};
    for (unsigned seed = 1; seed <= 20; ++seed)
        all.push_back(generator::randomVehicle(seed));
    return all;
}

TEST(Properties, EveryOneReadsFromACertificateOfTheCurrentLayout)
{
    for (const generator::Vehicle& vehicle : vehicles()) {
        const AnswerRoot root = decoded(generator::currentFields(vehicle));
        for (std::size_t i = 0; i < fields::fieldCount; ++i)
            EXPECT_EQ(failureOf(static_cast<Field>(i), root), std::nullopt) << "property " << named(static_cast<Field>(i));
    }
}

TEST(Properties, TheOlderLayoutLacksOnlyPodrodzaj)
{
    for (const generator::Vehicle& vehicle : vehicles()) {
        const AnswerRoot root = decoded(generator::olderFields(vehicle));
        for (std::size_t i = 0; i < fields::fieldCount; ++i) {
            const Field field = static_cast<Field>(i);
            EXPECT_EQ(failureOf(field, root), field == Field::Podrodzaj ? std::optional(objectNotSet) : std::nullopt)
                << "property " << named(field);
        }
    }
}

TEST(Properties, GiveTheCertificatesOwnValues)
{
    for (const generator::Vehicle& v : vehicles()) {
        const std::u16string type = trimmed(v.type) + (trimmed(v.variant).empty() ? u"" : u" " + trimmed(v.variant)) +
                                    (trimmed(v.version).empty() ? u"" : u" " + trimmed(v.version));
        std::u16string authority = trimmed(v.authority[0]);
        for (int line = 1; line < 4; ++line)
            if (!trimmed(v.authority[line]).empty())
                authority += u"\r" + trimmed(v.authority[line]);
        const struct {
            Field field;
            std::u16string value;
            bool older;  // the older layout carries it too
        } cases[] = {
            {Field::NrRejestracyjny, trimmed(v.registration), true},
            {Field::Marka, trimmed(v.make), true},
            {Field::Typ, type, true},
            {Field::Model, trimmed(v.model), true},
            {Field::VIN, trimmed(v.vin), true},
            {Field::NazwiskoNazwa, trimmed(v.owner.fullName), true},
            {Field::OrganWydajacy, authority, true},
            {Field::KategoriaPojazdu, trimmed(v.category), true},
            {Field::DataIRejestracji, trimmed(v.firstRegistration), true},
            {Field::RokProdukcji, trimmed(v.year), true},
            {Field::NumerKarty, trimmed(v.cardNumber), true},
            {Field::Podrodzaj, trimmed(v.subtypeCode), false},
        };
        const AnswerRoot current = decoded(generator::currentFields(v));
        const AnswerRoot older = decoded(generator::olderFields(v));
        for (const auto& c : cases) {
            EXPECT_EQ(fields::readField(c.field, current, FakeLocale::polish()), c.value) << "property " << named(c.field);
            if (c.older) {
                EXPECT_EQ(fields::readField(c.field, older, FakeLocale::polish()), c.value)
                    << "property " << named(c.field) << ", older layout";
            }
        }
    }
}

}  // namespace
}  // namespace varnok
