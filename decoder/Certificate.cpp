#include "Certificate.h"

#include <algorithm>

#include "DecodeError.h"

#include <array>
#include <string>

namespace varnok::decoder {

namespace {

constexpr std::u16string_view notApplicable = u"---";

// Field names by position. The current layout's fields after the last named one, and the older layout's
// unconfirmed position 35, are named "Pole" and their position.
constexpr std::array<std::u16string_view, 64> currentNames{
    u"Format", u"Numer_DR", u"Kod_terytorialny",
    u"Organ_wydajacy1", u"Organ_wydajacy2", u"Organ_wydajacy3", u"Organ_wydajacy4",
    u"A", u"D1", u"D2", u"D3", u"D4", u"D5", u"E", u"I", u"H",
    u"C.1.1", u"C.1.1_imie", u"C.1.1_nazwisko", u"C.1.1_nazwa", u"C.1.2",
    u"C.1.3_kod_pocztowy", u"C.1.3_miejscowosc", u"C.1.3_gmina", u"C.1.3_ulica", u"C.1.3_nr_domu",
    u"C.1.3_nr_lokalu",
    u"C.2.1", u"C.2.1_imie", u"C.2.1_nazwisko", u"C.2.1_nazwa", u"C.2.2",
    u"C.2.3_kod_pocztowy", u"C.2.3_miejscowosc", u"C.2.3_gmina", u"C.2.3_ulica", u"C.2.3_nr_domu",
    u"C.2.3_nr_lokalu",
    u"F.1", u"F.2", u"F.3", u"G", u"J", u"K", u"L", u"O.1", u"O.2", u"Q", u"P.1", u"P.2", u"P.3", u"B",
    u"S.1", u"S.2",
    u"Rodzaj_pojazdu", u"Przeznaczenie", u"Rok_produkcji", u"Dopuszczalna_ladownosc",
    u"Dopuszczalny_nacisk_na_os", u"Numer_karty_pojazdu", u"Kod_identyfikacyjny", u"Rodzaj_pojazdu_kod",
    u"Podrodzaj_pojazdu_kod_ITS", u"Przeznaczenie_kod"};

constexpr std::array<std::u16string_view, 46> olderNames{
    u"Numer_DR", u"Organ_wydajacy1", u"Organ_wydajacy2", u"Organ_wydajacy3", u"Organ_wydajacy4",
    u"A", u"D1", u"D2", u"D3", u"D4", u"D5", u"E", u"I", u"H",
    u"C.1.1", u"C.1.2", u"C.1.3_linia1", u"C.1.3_linia2",
    u"C.2.1", u"C.2.2", u"C.2.3_linia1", u"C.2.3_linia2",
    u"F.1", u"F.2", u"F.3", u"G", u"J", u"K", u"L", u"O.1", u"O.2", u"Q", u"P.1", u"P.2", u"P.3", u"Pole35",
    u"B", u"S.1", u"S.2",
    u"Rodzaj_pojazdu", u"Przeznaczenie", u"Rok_produkcji", u"Dopuszczalna_ladownosc",
    u"Dopuszczalny_nacisk_na_os", u"Numer_karty_pojazdu", u"Kod_identyfikacyjny"};

// Where each layout's address parts start, and where the built address goes.
struct AddressAt {
    std::size_t firstPart;
    std::u16string_view name;
};
constexpr std::array<AddressAt, 2> currentAddresses{{{21, u"C.1.3"}, {32, u"C.2.3"}}};
constexpr std::array<AddressAt, 2> olderAddresses{{{16, u"C.1.3"}, {20, u"C.2.3"}}};

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool present(std::u16string_view part) { return !part.empty() && part != notApplicable; }

// Appends the present parts with the separator between them.
void joinPresent(std::u16string& out, std::initializer_list<std::u16string_view> parts, std::u16string_view separator)
{
    for (std::u16string_view part : parts) {
        if (!present(part))
            continue;
        if (!out.empty())
            out += separator;
        out += part;
    }
}

bool looksLikeSeriesAndNumber(std::u16string_view field)
{
    if (field.empty())
        return false;
    for (char16_t c : field) {
        const bool allowed = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
                             c == u' ' || c == u'/' || c == u'-';
        if (!allowed)
            return false;
    }
    return true;
}

}  // namespace

std::u16string decimal(std::size_t number)
{
    const std::string digits = std::to_string(number);
    return std::u16string(digits.begin(), digits.end());
}

std::vector<std::u16string_view> splitFields(std::u16string_view text)
{
    std::vector<std::u16string_view> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c != u'|' && c != u'\r' && c != u'\n')
            continue;
        fields.push_back(text.substr(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    fields.push_back(text.substr(start));
    return fields;
}

std::u16string_view trimBlanks(std::u16string_view value)
{
    while (!value.empty() && isBlank(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && isBlank(value.back()))
        value.remove_suffix(1);
    return value;
}

std::u16string buildAddress(std::u16string_view postcode, std::u16string_view town, std::u16string_view street,
                            std::u16string_view house, std::u16string_view flat)
{
    std::u16string place, number, address;
    joinPresent(place, {postcode, town}, u" ");
    if (present(house))  // a flat number alone has nothing to hang on
        joinPresent(number, {house, flat}, u"/");
    if (present(street)) {
        std::u16string streetPart;
        joinPresent(streetPart, {street, number}, u" ");
        joinPresent(address, {place, streetPart}, u", ");
    } else {
        // Without a street the house number belongs to the town: "05-800 KOMORÓW 12".
        joinPresent(address, {place, number}, u" ");
    }
    return address;
}

Layout recogniseLayout(std::u16string_view firstField)
{
    if (firstField.starts_with(u"XX"))
        return Layout::Current;
    if (looksLikeSeriesAndNumber(firstField))
        return Layout::Older;
    throw DecodeFailure{DecodeError::UnknownLayout};
}

std::vector<Element> certificateElements(std::u16string_view text)
{
    std::vector<std::u16string_view> fields = splitFields(text);
    for (auto& field : fields)
        field = trimBlanks(field);

    const Layout layout = recogniseLayout(fields.front());
    const bool current = layout == Layout::Current;
    const std::size_t named = current ? currentNames.size() : olderNames.size();
    if (fields.size() < named)
        throw DecodeFailure{DecodeError::TooFewFields};
    // Separators alone (a format identifier followed by nothing but "|") are no certificate.
    if (std::none_of(fields.begin() + (current ? 1 : 0), fields.end(), present))
        throw DecodeFailure{DecodeError::NoData};
    const auto& addresses = current ? currentAddresses : olderAddresses;

    std::vector<Element> elements;
    elements.reserve(fields.size() + addresses.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        for (const AddressAt& address : addresses) {
            if (address.firstPart != i)
                continue;
            std::u16string built;
            if (current)
                built = buildAddress(fields[i], fields[i + 1], fields[i + 3], fields[i + 4], fields[i + 5]);
            else
                joinPresent(built, {fields[i], fields[i + 1]}, u", ");
            elements.push_back({std::u16string(address.name), std::move(built)});
        }
        std::u16string name = i < named ? std::u16string(current ? currentNames[i] : olderNames[i])
                                        : u"Pole" + decimal(i);
        elements.push_back({std::move(name), std::u16string(fields[i])});
    }
    return elements;
}

}  // namespace varnok::decoder
