#pragma once
// The 31 properties of FileReader: which child elements of the root each one reads and how it treats their text.

#include <array>
#include <cstddef>
#include <string_view>

namespace varnok::fields {

enum class Treatment {
    Text,    // the element's text, unchanged
    Number,  // the element's text through NormalizeNumber
    Joined,  // several elements, each non-empty one after a separator
};

// In the interface's member order.
enum class Field : std::size_t {
    NumerDR, RodzajPojazdu, NazwiskoNazwa, Adres, Przeznaczenie, RokProdukcji, DopuszczalnaLadownosc,
    DopuszczalnyNacisk, NumerKarty, NrRejestracyjny, DataIRejestracji, Marka, Typ, Model, VIN, MaxMasaCalk,
    DopuszczalnaMasaCalk, MasaZesp, MasaWlasna, DataWydaniaDR, KategoriaPojazdu, Podrodzaj, LiczbaOsi,
    MaxMasaPrzyczZH, MaxMasaPrzyczBH, PojSilnika, MaksymalnaMocNetto, RodzajPaliwa, LiczbaMiejscSiedz,
    LiczbaMiejscStoj, OrganWydajacy,
};

inline constexpr std::size_t fieldCount = 31;
inline constexpr std::size_t maxElementsPerField = 4;

struct FieldRow {
    std::u16string_view property;
    Treatment treatment;
    std::array<std::u16string_view, maxElementsPerField> elements;  // unused slots are empty
    char16_t separator;                                              // Joined only
};

const std::array<FieldRow, fieldCount>& fieldTable();

inline const FieldRow& rowOf(Field field) { return fieldTable()[static_cast<std::size_t>(field)]; }

}  // namespace varnok::fields
