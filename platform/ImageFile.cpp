#include "ImageFile.h"

#include <windows.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "ImageHeader.h"

namespace varnok {

namespace {

using Kind = ImageFileError::Kind;

[[noreturn]] void fail(Kind kind, HRESULT hr) { throw ImageFileError(kind, hr); }

// A decoder's failure: out of memory means the image was too large for this process.
void checkDecode(HRESULT hr)
{
    if (hr == E_OUTOFMEMORY || hr == HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY))
        fail(Kind::TooLarge, hr);
    if (FAILED(hr))
        fail(Kind::Unreadable, hr);
}

ComPtr<IStream> openFile(const std::wstring& path)
{
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = path.empty() ? ERROR_FILE_NOT_FOUND : ::GetLastError();
        fail(error == ERROR_ACCESS_DENIED ? Kind::NoAccess : Kind::NotFound, HRESULT_FROM_WIN32(error));
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        fail(Kind::NotFound, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    ComPtr<IStream> stream;
    const HRESULT hr = ::SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE, FILE_ATTRIBUTE_NORMAL,
                                                FALSE, nullptr, stream.put());
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
        fail(Kind::NotFound, hr);
    if (FAILED(hr))
        fail(Kind::NoAccess, hr);
    return stream;
}

// A palette format never claims transparency, yet its palette may hold transparent entries (a PNG's tRNS, a GIF's
// transparent colour).
bool hasAlpha(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, const WICPixelFormatGUID& format)
{
    ComPtr<IWICComponentInfo> info;
    if (FAILED(factory->CreateComponentInfo(format, info.put())))
        return false;
    BOOL transparency = FALSE;
    if (auto formatInfo = info.query<IWICPixelFormatInfo2>(IID_IWICPixelFormatInfo2))
        formatInfo->SupportsTransparency(&transparency);
    if (transparency)
        return true;
    ComPtr<IWICPalette> palette;
    BOOL paletteAlpha = FALSE;
    return SUCCEEDED(factory->CreatePalette(palette.put())) && SUCCEEDED(frame->CopyPalette(palette.get())) &&
           SUCCEEDED(palette->HasAlpha(&paletteAlpha)) && paletteAlpha;
}

// Rows are copied a band at a time, a band within a byte budget (at least one row, whatever its width), so that
// no full-size colour copy of a large image is ever made.
struct Bands {
    UINT stride = 0;  // bytes per row
    UINT rows = 0;    // rows per band
    UINT bytes = 0;   // bytes per full band
};

Bands bandsOf(UINT width, UINT height, UINT bytesPerPixel)
{
    constexpr std::uint64_t budget = 1u << 20;
    const std::uint64_t stride = std::uint64_t(width) * bytesPerPixel;
    const std::uint64_t rows = std::clamp<std::uint64_t>(budget / stride, 1, height);
    const std::uint64_t bytes = stride * rows;
    if (bytes > std::numeric_limits<UINT>::max())
        throw ImageFileError(Kind::TooLarge, E_OUTOFMEMORY, width, height);
    return {static_cast<UINT>(stride), static_cast<UINT>(rows), static_cast<UINT>(bytes)};
}

void copyGray(IWICBitmapSource* gray, GrayPixels& out)
{
    const Bands bands = bandsOf(static_cast<UINT>(out.width), static_cast<UINT>(out.height), 1);
    for (UINT y = 0; y < static_cast<UINT>(out.height); y += bands.rows) {
        const UINT rows = std::min<UINT>(bands.rows, static_cast<UINT>(out.height) - y);
        const WICRect band{0, static_cast<INT>(y), out.width, static_cast<INT>(rows)};
        checkDecode(gray->CopyPixels(&band, bands.stride, bands.stride * rows,
                                     out.pixels.data() + std::size_t(y) * bands.stride));
    }
}

// Transparent parts count as white paper, as anyone looking at the image sees them.
void copyOverWhite(IWICBitmapSource* premultiplied, GrayPixels& out)
{
    const UINT width = static_cast<UINT>(out.width);
    const Bands bands = bandsOf(width, static_cast<UINT>(out.height), 4);
    std::vector<std::uint8_t> band;
    try {
        band.resize(bands.bytes);
    } catch (const std::bad_alloc&) {
        throw ImageFileError(Kind::TooLarge, E_OUTOFMEMORY, width, static_cast<std::uint32_t>(out.height));
    }
    for (UINT y = 0; y < static_cast<UINT>(out.height); y += bands.rows) {
        const UINT rows = std::min<UINT>(bands.rows, static_cast<UINT>(out.height) - y);
        const WICRect rect{0, static_cast<INT>(y), out.width, static_cast<INT>(rows)};
        checkDecode(premultiplied->CopyPixels(&rect, bands.stride, bands.stride * rows, band.data()));
        std::uint8_t* target = out.pixels.data() + std::size_t(y) * width;
        for (std::size_t i = 0; i < std::size_t(width) * rows; ++i) {
            const std::uint8_t* bgra = &band[i * 4];
            const unsigned paper = 255u - bgra[3];
            // ITU-R BT.601 weights, as WIC's own gray conversion uses.
            const unsigned luma = (bgra[2] * 299u + bgra[1] * 587u + bgra[0] * 114u + 500u) / 1000u;
            target[i] = static_cast<std::uint8_t>(std::min(255u, luma + paper));
        }
    }
}

void refuseDeclaredSize(IStream* stream, std::uint64_t maxPixels)
{
    std::vector<std::uint8_t> head(imageHeaderBytes);
    ULONG read = 0;
    // The file opened but cannot be read (a range locked by another program): a matter of access, not of format.
    if (const HRESULT hr = stream->Read(head.data(), static_cast<ULONG>(head.size()), &read); FAILED(hr))
        fail(Kind::NoAccess, hr);
    const LARGE_INTEGER start{};
    if (const HRESULT hr = stream->Seek(start, STREAM_SEEK_SET, nullptr); FAILED(hr))
        fail(Kind::NoAccess, hr);
    if (const auto size = declaredSize(std::span<const std::uint8_t>(head.data(), read));
        size && size->width * size->height > maxPixels)
        throw ImageFileError(Kind::TooLarge, S_OK, static_cast<std::uint32_t>(size->width),
                             static_cast<std::uint32_t>(size->height));
}

}  // namespace

GrayPixels loadGrayImage(std::wstring_view path, std::uint64_t maxPixels)
{
    const ComPtr<IStream> stream = openFile(std::wstring(path));
    refuseDeclaredSize(stream.get(), maxPixels);

    ComPtr<IWICImagingFactory> factory;
    const HRESULT created = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_IWICImagingFactory, factory.putVoid());
    if (FAILED(created))
        fail(Kind::Unreadable, created);

    ComPtr<IWICBitmapDecoder> decoder;
    checkDecode(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put()));
    ComPtr<IWICBitmapFrameDecode> frame;
    checkDecode(decoder->GetFrame(0, frame.put()));

    UINT width = 0, height = 0;
    checkDecode(frame->GetSize(&width, &height));
    if (width == 0 || height == 0)
        fail(Kind::Unreadable, WINCODEC_ERR_BADIMAGE);
    if (std::uint64_t(width) * height > maxPixels || width > 0x7FFFFFFF / 4 || height > 0x7FFFFFFF)
        throw ImageFileError(Kind::TooLarge, S_OK, width, height);

    WICPixelFormatGUID format{};
    checkDecode(frame->GetPixelFormat(&format));
    const bool alpha = hasAlpha(factory.get(), frame.get(), format);

    GrayPixels out;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    try {
        out.pixels.resize(std::size_t(width) * height);
    } catch (const std::bad_alloc&) {
        throw ImageFileError(Kind::TooLarge, E_OUTOFMEMORY, width, height);
    }

    ComPtr<IWICFormatConverter> converter;
    checkDecode(factory->CreateFormatConverter(converter.put()));
    const auto convertTo = [&](const WICPixelFormatGUID& target) {
        checkDecode(converter->Initialize(frame.get(), target, WICBitmapDitherTypeNone, nullptr, 0.0,
                                          WICBitmapPaletteTypeCustom));
    };
    if (!alpha) {
        try {
            convertTo(GUID_WICPixelFormat8bppGray);
            copyGray(converter.get(), out);
            return out;
        } catch (const ImageFileError& error) {
            // Some converters (Wine's, from 1-bit images) have no way to gray: colour is the way round.
            if (error.kind() != Kind::Unreadable)
                throw;
        }
        checkDecode(factory->CreateFormatConverter(converter.put()));
    }
    convertTo(GUID_WICPixelFormat32bppPBGRA);
    copyOverWhite(converter.get(), out);
    return out;
}

}  // namespace varnok
