#include "WicDecode.h"

#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "StbDecode.h"
#include "imaging/GrayConversion.h"
#include "imaging/ImageHeader.h"
#include "platform/ComPtr.h"

namespace varnok {

namespace {

using Kind = ImageFileError::Kind;

[[noreturn]] void fail(Kind kind, HRESULT hr) { throw ImageFileError(kind, hr); }

// A decoder's failure: out of memory means the image was too large for the worker's share of memory.
void checkDecode(HRESULT hr)
{
    if (hr == E_OUTOFMEMORY || hr == HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY))
        fail(Kind::TooLarge, hr);
    if (FAILED(hr))
        fail(Kind::Unreadable, hr);
}

std::optional<PixelLayout> layoutOf(const WICPixelFormatGUID& format)
{
    static const struct {
        const GUID* format;
        PixelLayout layout;
    } layouts[] = {
        {&GUID_WICPixelFormatBlackWhite, PixelLayout::Gray1},   {&GUID_WICPixelFormat2bppGray, PixelLayout::Gray2},
        {&GUID_WICPixelFormat4bppGray, PixelLayout::Gray4},     {&GUID_WICPixelFormat8bppGray, PixelLayout::Gray8},
        {&GUID_WICPixelFormat16bppGray, PixelLayout::Gray16},   {&GUID_WICPixelFormat1bppIndexed, PixelLayout::Indexed1},
        {&GUID_WICPixelFormat2bppIndexed, PixelLayout::Indexed2}, {&GUID_WICPixelFormat4bppIndexed, PixelLayout::Indexed4},
        {&GUID_WICPixelFormat8bppIndexed, PixelLayout::Indexed8}, {&GUID_WICPixelFormat24bppBGR, PixelLayout::Bgr24},
        {&GUID_WICPixelFormat24bppRGB, PixelLayout::Rgb24},     {&GUID_WICPixelFormat32bppBGR, PixelLayout::Bgrx32},
        {&GUID_WICPixelFormat32bppBGRA, PixelLayout::Bgra32},   {&GUID_WICPixelFormat32bppPBGRA, PixelLayout::Pbgra32},
        {&GUID_WICPixelFormat32bppRGBA, PixelLayout::Rgba32},   {&GUID_WICPixelFormat32bppPRGBA, PixelLayout::Prgba32},
        {&GUID_WICPixelFormat48bppRGB, PixelLayout::Rgb48},     {&GUID_WICPixelFormat48bppBGR, PixelLayout::Bgr48},
        {&GUID_WICPixelFormat64bppRGBA, PixelLayout::Rgba64},   {&GUID_WICPixelFormat64bppBGRA, PixelLayout::Bgra64},
        {&GUID_WICPixelFormat64bppPRGBA, PixelLayout::Prgba64}, {&GUID_WICPixelFormat32bppCMYK, PixelLayout::Cmyk32},
        {&GUID_WICPixelFormat64bppCMYK, PixelLayout::Cmyk64},
    };
    for (const auto& entry : layouts)
        if (IsEqualGUID(format, *entry.format))
            return entry.layout;
    return std::nullopt;
}

bool isIndexed(PixelLayout layout)
{
    return layout == PixelLayout::Indexed1 || layout == PixelLayout::Indexed2 || layout == PixelLayout::Indexed4 ||
           layout == PixelLayout::Indexed8;
}

std::optional<std::vector<std::uint32_t>> paletteOf(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame)
{
    ComPtr<IWICPalette> palette;
    UINT count = 0;
    if (FAILED(factory->CreatePalette(palette.put())) || FAILED(frame->CopyPalette(palette.get())) ||
        FAILED(palette->GetColorCount(&count)))
        return std::nullopt;
    std::vector<std::uint32_t> colors(std::min<UINT>(count, 256));
    UINT got = 0;
    if (FAILED(palette->GetColors(static_cast<UINT>(colors.size()), colors.data(), &got)))
        return std::nullopt;
    colors.resize(std::min<std::size_t>(got, colors.size()));
    return colors;
}

// Rows are copied a band at a time within a byte budget (at least one row, whatever its width), so that no
// full-size copy of a large image in the decoder's format is ever made.
void copyAsGray(IWICBitmapSource* source, PixelLayout layout, std::span<const std::uint32_t> palette, GrayPixels& out)
{
    constexpr std::uint64_t budget = 1u << 20;
    const auto width = static_cast<UINT>(out.width), height = static_cast<UINT>(out.height);
    const std::uint64_t stride = (std::uint64_t(width) * bitsPerPixel(layout) + 7) / 8;
    const std::uint64_t rows = std::clamp<std::uint64_t>(budget / stride, 1, height);
    if (stride * rows > std::numeric_limits<UINT>::max())
        throw ImageFileError(Kind::TooLarge, E_OUTOFMEMORY, width, height);
    std::vector<std::uint8_t> band;
    try {
        band.resize(stride * rows);
    } catch (const std::bad_alloc&) {
        throw ImageFileError(Kind::TooLarge, E_OUTOFMEMORY, width, height);
    }
    for (UINT y = 0; y < height; y += static_cast<UINT>(rows)) {
        const UINT count = static_cast<UINT>(std::min<std::uint64_t>(rows, height - y));
        const WICRect rect{0, static_cast<INT>(y), static_cast<INT>(width), static_cast<INT>(count)};
        checkDecode(source->CopyPixels(&rect, static_cast<UINT>(stride), static_cast<UINT>(stride * count), band.data()));
        for (UINT row = 0; row < count; ++row)
            rowToGray(layout, std::span(band).subspan(row * stride, stride),
                      std::span(out.pixels).subspan(std::size_t(y + row) * width, width), palette);
    }
}

// A fax at standard resolution is 204 x 98 dpi: its pixels are twice as high as wide.
double pixelAspectOf(IWICBitmapSource* frame)
{
    double x = 0, y = 0;
    return SUCCEEDED(frame->GetResolution(&x, &y)) ? worker::pixelAspectOf(x, y) : 1;
}

}  // namespace

GrayPixels decodeWithWic(IStream* stream, std::uint64_t maxPixels)
{
    // One factory for the worker's life: making it loads and enumerates the codecs, a good part of a small
    // image's time. It is free-threaded, and the worker's apartment is the multithreaded one. Never released: at
    // exit that would call into a library CoUninitialize has unloaded.
    static const ComPtr<IWICImagingFactory>& factory = *new ComPtr<IWICImagingFactory>([] {
        ComPtr<IWICImagingFactory> made;
        ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                           made.putVoid());
        return made;
    }());
    if (!factory)
        fail(Kind::Unreadable, REGDB_E_CLASSNOTREG);

    ComPtr<IWICBitmapDecoder> decoder;
    const HRESULT opened = factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                                            decoder.put());
    if (opened == WINCODEC_ERR_COMPONENTNOTFOUND)
        fail(Kind::NoDecoder, opened);
    checkDecode(opened);
    ComPtr<IWICBitmapFrameDecode> frame;
    checkDecode(decoder->GetFrame(0, frame.put()));

    UINT width = 0, height = 0;
    checkDecode(frame->GetSize(&width, &height));
    if (width == 0 || height == 0)
        fail(Kind::Unreadable, WINCODEC_ERR_BADIMAGE);
    if (std::uint64_t(width) * height > maxPixels || width > 0x7FFFFFFF / 8 || height > 0x7FFFFFFF)
        throw ImageFileError(Kind::TooLarge, S_OK, width, height);

    GrayPixels out;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.pixelAspect = pixelAspectOf(frame.get());
    try {
        out.pixels.resize(std::size_t(width) * height);
    } catch (const std::bad_alloc&) {
        throw ImageFileError(Kind::TooLarge, E_OUTOFMEMORY, width, height);
    }

    WICPixelFormatGUID format{};
    checkDecode(frame->GetPixelFormat(&format));
    if (const auto layout = layoutOf(format)) {
        std::optional<std::vector<std::uint32_t>> palette;
        if (!isIndexed(*layout) || (palette = paletteOf(factory.get(), frame.get()))) {
            copyAsGray(frame.get(), *layout, palette ? std::span<const std::uint32_t>(*palette)
                                                     : std::span<const std::uint32_t>(), out);
            return out;
        }
    }
    // Formats beyond our own conversion (half floats, 5-6-5, a palette that cannot be had) go through colour.
    ComPtr<IWICFormatConverter> converter;
    checkDecode(factory->CreateFormatConverter(converter.put()));
    checkDecode(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                      0.0, WICBitmapPaletteTypeCustom));
    copyAsGray(converter.get(), PixelLayout::Pbgra32, {}, out);
    return out;
}

GrayPixels decodePixels(std::span<const std::uint8_t> file, std::uint64_t maxPixels,
                        const std::function<ComPtr<IStream>()>& streamOver)
{
    if (const auto frame = jpegFrame(file); frame && frame->common() && frame->width * frame->height <= maxPixels) {
        if (auto pixels = worker::decodeJpeg(file, maxPixels))
            return std::move(*pixels);
        fail(Kind::Unreadable, 0);
    }
    const ComPtr<IStream> stream = streamOver();
    return decodeWithWic(stream.get(), maxPixels);
}

}  // namespace varnok
