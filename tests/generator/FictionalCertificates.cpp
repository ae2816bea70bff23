#include "FictionalCertificates.h"

#include <random>

namespace varnok::generator {

namespace {

void appendAddress(std::vector<std::u16string>& fields, const Person& person)
{
    fields.insert(fields.end(),
                  {person.postcode, person.town, person.commune, person.street, person.house, person.flat});
}

void appendPerson(std::vector<std::u16string>& fields, const Person& person)
{
    fields.insert(fields.end(), {person.fullName, person.firstName, person.surname, person.company, person.id});
    appendAddress(fields, person);
}

std::u16string firstAddressLine(const Person& person) { return person.postcode + u" " + person.town; }

std::u16string secondAddressLine(const Person& person)
{
    std::u16string number = person.house;
    if (!person.flat.empty() && person.flat != u"---")
        number += u"/" + person.flat;
    return person.street.empty() || person.street == u"---" ? number : person.street + u" " + number;
}

std::u16string digits(std::mt19937& random, int count)
{
    std::u16string text;
    for (int i = 0; i < count; ++i)
        text += static_cast<char16_t>(u'0' + random() % 10);
    return text;
}

template <std::size_t N>
std::u16string pick(std::mt19937& random, const std::u16string (&choices)[N])
{
    return choices[random() % N];
}

}  // namespace

std::vector<std::u16string> currentFields(const Vehicle& v)
{
    std::vector<std::u16string> fields{v.format, v.series, v.territorialCode, v.authority[0], v.authority[1],
                                       v.authority[2], v.authority[3], v.registration, v.make, v.type, v.variant,
                                       v.version, v.model, v.vin, v.issued, v.validUntil};
    appendPerson(fields, v.holder);
    appendPerson(fields, v.owner);
    fields.insert(fields.end(),
                  {v.maxMass, v.permissibleMass, v.combinationMass, v.ownMass, v.category, v.approval, v.axles,
                   v.trailerBraked, v.trailerUnbraked, v.powerToMass, v.engineCapacity, v.power, v.fuel,
                   v.firstRegistration, v.seats, v.standing, v.kind, v.purpose, v.year, v.payload, v.axleLoad,
                   v.cardNumber, v.ocrCode, v.kindCode, v.subtypeCode, v.purposeCode, v.reserved1, v.reserved2});
    return fields;
}

std::vector<std::u16string> olderFields(const Vehicle& v)
{
    return {v.series, v.authority[0], v.authority[1], v.authority[2], v.authority[3], v.registration, v.make,
            v.type, v.variant, v.version, v.model, v.vin, v.issued, v.validUntil,
            v.holder.fullName, v.holder.id, firstAddressLine(v.holder), secondAddressLine(v.holder),
            v.owner.fullName, v.owner.id, firstAddressLine(v.owner), secondAddressLine(v.owner),
            v.maxMass, v.permissibleMass, v.combinationMass, v.ownMass, v.category, v.approval, v.axles,
            v.trailerBraked, v.trailerUnbraked, v.powerToMass, v.engineCapacity, v.power, v.fuel, u"---",
            v.firstRegistration, v.seats, v.standing, v.kind, v.purpose, v.year, v.payload, v.axleLoad,
            v.cardNumber, v.ocrCode};
}

std::u16string joinFields(const std::vector<std::u16string>& fields, bool lineBreaks)
{
    std::u16string text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            text += lineBreaks ? u"\r\n" : u"|";
        text += fields[i];
    }
    return text;
}

Vehicle passengerCar()
{
    Vehicle v;
    v.format = u"XXA0001";
    v.series = u"DR/BAR 0417252";
    v.territorialCode = u"1465";
    v.authority[0] = u"PREZYDENT M. ST. WARSZAWY";
    v.authority[1] = u"UL. ŚLIWKOWA 42";
    v.authority[2] = u"00-950 WARSZAWA";
    v.authority[3] = u"WYDZIAŁ KOMUNIKACJI";
    v.registration = u"WX 4217K";
    v.make = u"ŻUBR";
    v.type = u"ŁOŚ";
    v.variant = u"1.4 TSI";
    v.version = u"KOMBI";
    v.model = u"ŁOŚ KOMBI";
    v.vin = u"ZBR5F73T5C9012345";
    v.issued = u"2021-03-15";
    v.validUntil = u"---";
    v.holder = {u"JANINA KOWALCZYK-ŻÓŁTEK", u"JANINA", u"KOWALCZYK-ŻÓŁTEK", u"---", u"75020412345",
                u"02-517", u"WARSZAWA", u"MOKOTÓW", u"WAŁBRZYSKA", u"24", u"30"};
    v.owner = {u"  JANINA KOWALCZYK-ŻÓŁTEK ", u"JANINA", u"KOWALCZYK-ŻÓŁTEK", u"---", u"75020412345",
               u"02-517", u"WARSZAWA", u"MOKOTÓW", u"WAŁBRZYSKA", u"24", u"30"};
    v.maxMass = u"1865";
    v.permissibleMass = u"1865";
    v.combinationMass = u"3165";
    v.ownMass = u"1290";
    v.category = u"M1";
    v.approval = u"e8*2001/116*0152*11";
    v.axles = u"2";
    v.trailerBraked = u"1300";
    v.trailerUnbraked = u"620";
    v.powerToMass = u"---";
    v.engineCapacity = u"1398,00";
    v.power = u"71,00";
    v.fuel = u"P";
    v.firstRegistration = u"2012-05-30";
    v.seats = u"5";
    v.standing = u"---";
    v.kind = u"SAMOCHÓD OSOBOWY";
    v.purpose = u"---";
    v.year = u"2012";
    v.payload = u"575";
    v.axleLoad = u"8,82";
    v.cardNumber = u"AAB1234567";
    v.ocrCode = u"DRBAR0417252<<WX4217K<<ZBR5F73T5C9012345";
    v.kindCode = u"1";
    v.subtypeCode = u"1010 ";
    v.purposeCode = u"---";
    v.reserved1 = u"";
    v.reserved2 = u"";
    return v;
}

Vehicle companyLorry()
{
    Vehicle v = passengerCar();
    v.format = u"XXA0002";
    v.series = u"DR/BAU 7730015";
    v.territorialCode = u"1421";
    v.authority[0] = u"STAROSTA PRUSZKOWSKI";
    v.authority[1] = u"UL. DRZYMAŁY 30";
    v.authority[2] = u"05-800 PRUSZKÓW";
    v.authority[3] = u"---";
    v.registration = u"WPR 90210";
    v.make = u"MAMUT";
    v.type = u"TR-18";
    v.variant = u"";
    v.version = u"4X2";
    v.model = u"CIĘŻKI 18";
    v.vin = u"MMT18TR4X2A000777";
    v.issued = u"2019-11-04";
    v.validUntil = u"2029-11-04";
    const Person company{u"PRZEWOZY <ŁĄCZNIK> & SYN SP. Z O.O.", u"---", u"---",
                         u"PRZEWOZY <ŁĄCZNIK> & SYN SP. Z O.O.", u"012345678",
                         u"05-800", u"KOMORÓW", u"MICHAŁOWICE", u"---", u"12", u"---"};
    v.holder = company;
    v.owner = company;
    v.maxMass = u"18000";
    v.permissibleMass = u"18000";
    v.combinationMass = u"40000";
    v.ownMass = u"7480";
    v.category = u"N3";
    v.approval = u"e1*2007/46*0999*03";
    v.axles = u"2";
    v.trailerBraked = u"22000";
    v.trailerUnbraked = u"750";
    v.engineCapacity = u"10837,00";
    v.power = u"324,00";
    v.fuel = u"D";
    v.firstRegistration = u"2019-10-28";
    v.seats = u"3";
    v.kind = u"SAMOCHÓD CIĘŻAROWY";
    v.purpose = u"DO PRZEWOZU ŁADUNKÓW";
    v.year = u"2019";
    v.payload = u"10520";
    v.axleLoad = u"115,00";
    v.cardNumber = u"AAC7654321";
    v.ocrCode = u"DRBAU7730015<<WPR90210<<MMT18TR4X2A000777";
    v.kindCode = u"3";
    v.subtypeCode = u"3020";
    v.purposeCode = u"07";
    return v;
}

Vehicle randomVehicle(unsigned seed)
{
    static const std::u16string makes[] = {u"ŻUBR", u"MAMUT", u"ORZEŁ", u"SOKÓŁ", u"ŁABĘDŹ", u"JEŻ"};
    static const std::u16string towns[] = {u"WARSZAWA", u"KRAKÓW", u"ŁÓDŹ", u"GDAŃSK", u"POZNAŃ", u"ZIELONA GÓRA",
                                           u"BIAŁYSTOK", u"KOŃSKIE"};
    static const std::u16string streets[] = {u"KWIATOWA", u"ŚWIĘTOKRZYSKA", u"PIĘKNA", u"---", u"ŻÓŁKIEWSKIEGO"};
    static const std::u16string names[] = {u"ANNA NOWAK", u"PIOTR WÓJCIK", u"ŁUCJA ŚLĄSKA", u"JERZY GRZEGÓŁKA",
                                           u"ZOFIA PIĄTEK-ŻYŁA"};
    std::mt19937 random(seed);
    Vehicle v = random() % 2 ? passengerCar() : companyLorry();
    v.series = u"DR/BA" + std::u16string(1, static_cast<char16_t>(u'A' + random() % 26)) + u" " + digits(random, 7);
    v.registration = u"W" + std::u16string(1, static_cast<char16_t>(u'A' + random() % 26)) + u" " + digits(random, 5);
    v.make = pick(random, makes);
    v.vin = u"VIN" + digits(random, 14);
    v.owner.fullName = pick(random, names);
    v.owner.town = pick(random, towns);
    v.owner.street = pick(random, streets);
    v.owner.house = digits(random, 1 + random() % 3);
    v.owner.flat = random() % 3 ? u"---" : digits(random, 2);
    v.ownMass = digits(random, 4);
    v.engineCapacity = digits(random, 4) + u",00";
    v.power = digits(random, 3) + u"," + digits(random, 2);
    return v;
}

}  // namespace varnok::generator
