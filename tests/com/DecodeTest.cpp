// The worker's two decoders on the same JPEG files: stb, which decodes JPEG first, and WIC, which decodes what stb
// refuses, must give the reader the same picture and the same pixel shape.

#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "worker/StbDecode.h"
#include "worker/WicDecode.h"

namespace varnok::test {
namespace {

constexpr std::uint64_t anySize = std::uint64_t{1} << 32;

GrayPixels byWic(const std::vector<std::uint8_t>& bytes)
{
    const auto stream = ComPtr<IStream>::attach(::SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size())));
    return decodeWithWic(stream.get(), anySize);
}

TEST(Decoding, StbAndWicGiveTheSamePictureAndShape)
{
    ComApartment apartment;
    const struct {
        const wchar_t* file;
        double aspect;
    } cases[] = {
        {L"photo.jpg", 1},
        {L"cmyk.jpg", 1},
        {L"fax-density.jpg", 204.0 / 98.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(utf8(c.file));
        const std::vector<char> read = readBytes(setting(L"VARNOK_IMAGES") + L"\\" + c.file);
        const std::vector<std::uint8_t> bytes(read.begin(), read.end());
        ASSERT_TRUE(worker::isJpeg(bytes));
        const auto stb = worker::decodeJpeg(bytes, anySize);
        ASSERT_TRUE(stb);
        const GrayPixels wic = byWic(bytes);
        ASSERT_EQ(stb->width, wic.width);
        ASSERT_EQ(stb->height, wic.height);
        EXPECT_NEAR(stb->pixelAspect, c.aspect, 1e-9);
        EXPECT_NEAR(wic.pixelAspect, c.aspect, 1e-9);
        // Rounding in the transforms and colour conversion differs by a level or two; a wrong picture by far more.
        long long difference = 0;
        for (std::size_t i = 0; i < wic.pixels.size(); ++i)
            difference += std::abs(int(stb->pixels[i]) - int(wic.pixels[i]));
        const double mean = double(difference) / double(wic.pixels.size());
        std::printf("  %s: mean difference %.2f levels\n", utf8(c.file).c_str(), mean);
        EXPECT_LT(mean, 4.0);
    }
}

TEST(Decoding, OnlyJpegWithinTheLimitIsStbs)
{
    const std::wstring images = setting(L"VARNOK_IMAGES");
    const std::vector<char> jpeg = readBytes(images + L"\\photo.jpg"), png = readBytes(images + L"\\gray8.png");
    const std::vector<std::uint8_t> jpegBytes(jpeg.begin(), jpeg.end()), pngBytes(png.begin(), png.end());
    EXPECT_FALSE(worker::decodeJpeg(jpegBytes, 100)) << "past the pixel limit: WIC refuses it in its own words";
    EXPECT_FALSE(worker::isJpeg(pngBytes));
}

// A JPEG of the common codings that stb cannot decode is damaged: WIC never gets it to decode again. One of another
// coding goes to WIC.
TEST(Decoding, WicGetsOnlyTheJpegCodingsStbRefuses)
{
    ComApartment apartment;
    const std::vector<char> read = readBytes(setting(L"VARNOK_IMAGES") + L"\\photo.jpg");
    std::vector<std::uint8_t> damaged(read.begin(), read.end());
    // Runs of one-bits longer than any Huffman code, inside the first scan's data.
    std::size_t scan = 2;
    while (scan + 1 < damaged.size() && !(damaged[scan] == 0xFF && damaged[scan + 1] == 0xDA))
        ++scan;
    ASSERT_LT(scan + 400, damaged.size());
    for (std::size_t at = scan + 200; at < scan + 264; at += 2) {
        damaged[at] = 0xFF;
        damaged[at + 1] = 0x00;
    }
    int wicAsked = 0;
    const auto streamOver = [&] {
        ++wicAsked;
        return ComPtr<IStream>::attach(::SHCreateMemStream(damaged.data(), static_cast<UINT>(damaged.size())));
    };
    try {
        decodePixels(damaged, anySize, streamOver);
        ADD_FAILURE() << "a damaged JPEG decoded";
    } catch (const ImageFileError& error) {
        EXPECT_EQ(error.kind(), ImageFileError::Kind::Unreadable);
    }
    EXPECT_EQ(wicAsked, 0);

    // The same picture's frame marked as arithmetic-coded: not stb's, so WIC is asked, whatever it makes of it.
    std::vector<std::uint8_t> arithmetic(read.begin(), read.end());
    for (std::size_t at = 2; at + 1 < arithmetic.size(); ++at)
        if (arithmetic[at] == 0xFF && (arithmetic[at + 1] == 0xC0 || arithmetic[at + 1] == 0xC2)) {
            arithmetic[at + 1] = 0xC9;
            break;
        }
    const auto arithmeticStream = [&] {
        ++wicAsked;
        return ComPtr<IStream>::attach(::SHCreateMemStream(arithmetic.data(), static_cast<UINT>(arithmetic.size())));
    };
    try {
        decodePixels(arithmetic, anySize, arithmeticStream);
    } catch (const ImageFileError&) {
    }
    EXPECT_EQ(wicAsked, 1);
}

}  // namespace
}  // namespace varnok::test
