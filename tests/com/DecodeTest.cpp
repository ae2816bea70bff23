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
#include "worker/JpegDecode.h"
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

}  // namespace
}  // namespace varnok::test
