#pragma once
// A failure on its way to a client: an HRESULT plus the description handed over through the error information.
// Free of Windows headers so that field and loading logic can be built and tested natively.

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace varnok {

class Failure : public std::exception {
public:
    Failure(std::int32_t code, std::u16string description)
        : code_(code), description_(std::move(description)) {}

    // A run-time error of our own code: an Automation error of the control facility.
    static Failure runtimeError(int number, std::u16string description)
    {
        return Failure(static_cast<std::int32_t>(controlFacilityBase + static_cast<std::uint32_t>(number)),
                       std::move(description));
    }

    // Error 91: a property read with no root element loaded, or of an element that is not there.
    static Failure objectNotSet()
    {
        return runtimeError(objectNotSetNumber, u"Nie ustawiono zmiennej obiektu lub zmiennej bloku With");
    }

    std::int32_t code() const noexcept { return code_; }
    const std::u16string& description() const noexcept { return description_; }

    // The number a client sees in a failure message: n for 0x800A0000 + n, otherwise the code as signed 32-bit.
    std::int32_t errorNumber() const noexcept
    {
        const auto u = static_cast<std::uint32_t>(code_);
        return (u & 0xFFFF0000u) == controlFacilityBase ? static_cast<std::int32_t>(u & 0xFFFFu) : code_;
    }

    const char* what() const noexcept override { return "varnok::Failure"; }

    static constexpr std::uint32_t controlFacilityBase = 0x800A0000u;
    static constexpr int objectNotSetNumber = 91;

private:
    std::int32_t code_;
    std::u16string description_;
};

}  // namespace varnok
