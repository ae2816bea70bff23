// Our decompressor against the reference implementation: whatever the reference compresses, we restore byte for
// byte; whatever the reference's safe decompressor refuses, we refuse too.

#include <gtest/gtest.h>
#include <ucl/ucl.h>

#include <random>

#include "FictionalCertificates.h"
#include "Nrv2e.h"
#include "PayloadEncoder.h"

namespace varnok::decoder {
namespace {

using Bytes = std::vector<std::uint8_t>;
using generator::compressNrv2e;

Nrv2eResult ours(const Bytes& stream, std::size_t size, Bytes& out)
{
    out.assign(size, 0xCD);
    return decompressNrv2e(stream, out);
}

// The reference verdict on a stream said to hold `size` bytes.
bool referenceAccepts(const Bytes& stream, std::size_t size, Bytes& out)
{
    out.assign(size + 1, 0);  // room for one byte too many, so "longer than declared" shows
    ucl_uint length = static_cast<ucl_uint>(size);
    const int result = ucl_nrv2e_decompress_safe_8(stream.data(), static_cast<ucl_uint>(stream.size()), out.data(),
                                                   &length, nullptr);
    out.resize(length);
    return result == UCL_E_OK && length == size;
}

Bytes randomBytes(std::mt19937& random, std::size_t size, unsigned alphabet)
{
    Bytes data(size);
    for (auto& byte : data)
        byte = static_cast<std::uint8_t>(random() % alphabet);
    return data;
}

// Repeats of earlier pieces at every distance, so short, long, near and far matches all occur.
Bytes repetitive(std::mt19937& random, std::size_t size)
{
    Bytes data = randomBytes(random, std::min<std::size_t>(size, 64), 256);
    while (data.size() < size) {
        const std::size_t from = random() % data.size();
        const std::size_t length = 1 + random() % std::min<std::size_t>(300, data.size() - from);
        for (std::size_t i = 0; i < length && data.size() < size; ++i)
            data.push_back(data[from + i]);
        if (random() % 4 == 0)
            data.push_back(static_cast<std::uint8_t>(random()));
    }
    return data;
}

void expectRoundTrip(const Bytes& data)
{
    const Bytes stream = compressNrv2e(data);
    Bytes out;
    ASSERT_EQ(ours(stream, data.size(), out), Nrv2eResult::Ok) << "size " << data.size();
    ASSERT_EQ(out, data);
}

TEST(Nrv2e, RestoresWhatTheReferenceCompressed)
{
    std::mt19937 random(20261207);
    int cases = 0;
    for (; cases < 1500; ++cases) {
        const std::size_t size = random() % 2048;
        switch (cases % 3) {
        case 0: expectRoundTrip(randomBytes(random, size, 256)); break;
        case 1: expectRoundTrip(randomBytes(random, size, 1 + random() % 6)); break;
        default: expectRoundTrip(repetitive(random, size)); break;
        }
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(cases, 1500);
}

TEST(Nrv2e, RestoresCertificateTextsOfBothLayouts)
{
    for (unsigned seed = 0; seed < 1000; ++seed) {
        const auto vehicle = generator::randomVehicle(seed);
        const auto fields = seed % 2 ? generator::currentFields(vehicle) : generator::olderFields(vehicle);
        expectRoundTrip(generator::utf16le(generator::joinFields(fields, seed % 4 == 0)));
        if (HasFatalFailure())
            return;
    }
}

TEST(Nrv2e, RestoresLargeAndEdgeSizes)
{
    std::mt19937 random(7);
    for (std::size_t size : {0u, 1u, 2u, 3u, 255u, 256u, 1279u, 1280u, 1281u, 4096u, 65536u}) {
        expectRoundTrip(Bytes(size, 'A'));
        expectRoundTrip(randomBytes(random, size, 256));
        expectRoundTrip(repetitive(random, size));
    }
}

TEST(Nrv2e, AgreesWithTheReferenceOnEveryTruncationAndFlippedByte)
{
    std::mt19937 random(99);
    const Bytes data = generator::utf16le(generator::joinFields(generator::currentFields(generator::passengerCar())));
    const Bytes stream = compressNrv2e(data);
    Bytes ourOut, referenceOut;

    for (std::size_t length = 0; length < stream.size(); ++length) {
        const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_NE(ours(cut, data.size(), ourOut), Nrv2eResult::Ok) << "cut at " << length;
    }
    for (std::size_t at = 0; at < stream.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes flipped = stream;
            flipped[at] ^= static_cast<std::uint8_t>(1 << bit);
            const bool accepted = ours(flipped, data.size(), ourOut) == Nrv2eResult::Ok;
            ASSERT_EQ(accepted, referenceAccepts(flipped, data.size(), referenceOut)) << "byte " << at << " bit " << bit;
            if (accepted) {
                ASSERT_EQ(ourOut, referenceOut);
            }
        }
    }
    for (int i = 0; i < 2000; ++i) {
        const Bytes noise = randomBytes(random, 1 + random() % 64, 256);
        const std::size_t size = random() % 512;
        EXPECT_EQ(ours(noise, size, ourOut) == Nrv2eResult::Ok, referenceAccepts(noise, size, referenceOut));
    }
}

TEST(Nrv2e, NamesEachKindOfDamage)
{
    const Bytes data(100, 'x');
    const Bytes stream = compressNrv2e(data);
    Bytes out;
    EXPECT_EQ(ours({}, 10, out), Nrv2eResult::InputOverrun);
    EXPECT_EQ(ours(Bytes(stream.begin(), stream.end() - 1), data.size(), out), Nrv2eResult::InputOverrun);
    EXPECT_EQ(ours(stream, data.size() - 1, out), Nrv2eResult::OutputOverrun);
    EXPECT_EQ(ours(stream, data.size() + 1, out), Nrv2eResult::OutputShort);
    Bytes trailing = stream;
    trailing.push_back(0);
    EXPECT_EQ(ours(trailing, data.size(), out), Nrv2eResult::InputNotConsumed);
    // Bits 0, 1, 1: no literal, then a match whose offset byte 0x02 means 2 back, before an empty output.
    EXPECT_EQ(ours({0x60, 0x02}, data.size(), out), Nrv2eResult::LookBehindOverrun);
    // Offset prefix bits that never end.
    EXPECT_EQ(ours(Bytes(16, 0x00), data.size(), out), Nrv2eResult::LookBehindOverrun);
}

}  // namespace
}  // namespace varnok::decoder
