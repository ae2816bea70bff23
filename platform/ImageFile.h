#pragma once
// Image files through the Windows Imaging Component: the first frame (the first page of a multi-page TIFF) as
// 8-bit gray, whatever the file's pixel format. The caller's thread must have COM initialised.

#include <cstdint>
#include <exception>
#include <string_view>
#include <vector>

namespace varnok {

struct GrayPixels {
    std::vector<std::uint8_t> pixels;  // rows top to bottom, `width` bytes each
    int width = 0;
    int height = 0;
};

class ImageFileError : public std::exception {
public:
    enum class Kind {
        NotFound,    // no such file (an empty path, a folder)
        NoAccess,    // the file is there but cannot be opened: permissions, locked by another program
        Unreadable,  // not an image WIC decodes, or its data is damaged
        TooLarge,    // dimensions beyond the limit, or no memory for the pixels
    };
    ImageFileError(Kind kind, long code, std::uint32_t width = 0, std::uint32_t height = 0) noexcept
        : kind_(kind), code_(code), width_(width), height_(height) {}

    Kind kind() const noexcept { return kind_; }
    long code() const noexcept { return code_; }  // the HRESULT behind it, S_OK when we refused
    std::uint32_t width() const noexcept { return width_; }
    std::uint32_t height() const noexcept { return height_; }
    const char* what() const noexcept override { return "varnok::ImageFileError"; }

private:
    Kind kind_;
    long code_;
    std::uint32_t width_, height_;
};

// Throws ImageFileError; the dimensions are checked against `maxPixels` before any pixel is decoded.
GrayPixels loadGrayImage(std::wstring_view path, std::uint64_t maxPixels);

}  // namespace varnok
