#pragma once
// Fictional registration certificates, laid out field by field as a certificate's Aztec payload carries them.
// Test data only: every name, number and address is made up.

#include <string>
#include <vector>

namespace varnok::generator {

struct Person {
    std::u16string fullName, firstName, surname, company, id;
    std::u16string postcode, town, commune, street, house, flat;
};

struct Vehicle {
    std::u16string format, series, territorialCode;
    std::u16string authority[4];
    std::u16string registration, make, type, variant, version, model, vin, issued, validUntil;
    Person holder, owner;
    std::u16string maxMass, permissibleMass, combinationMass, ownMass, category, approval, axles;
    std::u16string trailerBraked, trailerUnbraked, powerToMass, engineCapacity, power, fuel, firstRegistration;
    std::u16string seats, standing, kind, purpose, year, payload, axleLoad, cardNumber, ocrCode;
    std::u16string kindCode, subtypeCode, purposeCode, reserved1, reserved2;
};

// The current layout: 66 fields, the first the format identifier.
std::vector<std::u16string> currentFields(const Vehicle& vehicle);
// The older layout: 46 fields, starting with the series and number; addresses as two lines each.
std::vector<std::u16string> olderFields(const Vehicle& vehicle);

// Joined with "|" (or CR LF where `lineBreaks`), values as they stand.
std::u16string joinFields(const std::vector<std::u16string>& fields, bool lineBreaks = false);

// A private owner's passenger car, with Polish letters, a flat number, blanks around some values and "&".
Vehicle passengerCar();
// A company's lorry registered at an address without a street.
Vehicle companyLorry();
// A made-up certificate drawn from `seed`, for volume tests.
Vehicle randomVehicle(unsigned seed);

}  // namespace varnok::generator
