#include "FieldTable.h"

namespace varnok::fields {

namespace {

constexpr FieldRow text(std::u16string_view property, std::u16string_view element)
{
    return {property, Treatment::Text, {element}, 0};
}

constexpr FieldRow number(std::u16string_view property, std::u16string_view element)
{
    return {property, Treatment::Number, {element}, 0};
}

constexpr std::array<FieldRow, fieldCount> table{{
    text(u"NumerDR", u"numer_DR"),
    text(u"RodzajPojazdu", u"rodzaj_pojazdu"),
    text(u"NazwiskoNazwa", u"C.2.1"),
    text(u"Adres", u"C.2.3"),
    text(u"Przeznaczenie", u"przeznaczenie"),
    text(u"RokProdukcji", u"rok_produkcji"),
    number(u"DopuszczalnaLadownosc", u"dopuszczalna_ladownosc"),
    number(u"DopuszczalnyNacisk", u"dopuszczalny_nacisk_na_os"),
    text(u"NumerKarty", u"numer_karty_pojazdu"),
    text(u"NrRejestracyjny", u"A"),
    text(u"DataIRejestracji", u"B"),
    text(u"Marka", u"D1"),
    {u"Typ", Treatment::Joined, {u"D2", u"D3", u"D4"}, u' '},
    text(u"Model", u"D5"),
    text(u"VIN", u"E"),
    number(u"MaxMasaCalk", u"F.1"),
    number(u"DopuszczalnaMasaCalk", u"F.2"),
    number(u"MasaZesp", u"F.3"),
    number(u"MasaWlasna", u"G"),
    text(u"DataWydaniaDR", u"I"),
    text(u"KategoriaPojazdu", u"J"),
    text(u"Podrodzaj", u"Podrodzaj_pojazdu_kod_ITS"),
    number(u"LiczbaOsi", u"L"),
    number(u"MaxMasaPrzyczZH", u"O.1"),
    number(u"MaxMasaPrzyczBH", u"O.2"),
    number(u"PojSilnika", u"P.1"),
    number(u"MaksymalnaMocNetto", u"P.2"),
    text(u"RodzajPaliwa", u"P.3"),
    text(u"LiczbaMiejscSiedz", u"S.1"),
    text(u"LiczbaMiejscStoj", u"S.2"),
    {u"OrganWydajacy", Treatment::Joined,
     {u"Organ_wydajacy1", u"Organ_wydajacy2", u"Organ_wydajacy3", u"Organ_wydajacy4"}, u'\r'},
}};

}  // namespace

const std::array<FieldRow, fieldCount>& fieldTable() { return table; }

}  // namespace varnok::fields
