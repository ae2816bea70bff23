#pragma once
// Image files through the Windows Imaging Component, decoded in a worker process of our own (platform/ImageWorker):
// the first frame (the first page of a multi-page TIFF) as 8-bit gray, whatever the file's pixel format; PDF scans
// through the portable PDF reader (platform/PdfImages). The caller's thread must have COM initialised.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/Budget.h"
#include "pdf/Result.h"

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
        Refused,     // a PDF we do not read: encrypted, an image codec we lack, no image, too large a file
        NoDecoder,   // no decoder of the system accepts the file: format() names it when its signature is known
    };
    ImageFileError(Kind kind, long code, std::uint32_t width = 0, std::uint32_t height = 0) noexcept
        : kind_(kind), code_(code), width_(width), height_(height) {}

    // Something about a PDF: a refusal (Kind::Refused) or damage (Kind::Unreadable), with the page and object it
    // concerns where there is one, and the reader's own words (a codec's name, a stage and its reason).
    static ImageFileError inPdf(Kind kind, pdf::Refusal refusal, int page, int object, std::string detail)
    {
        ImageFileError error(kind, 0);
        error.pdf_ = std::make_shared<const PdfDetail>(PdfDetail{refusal, page, object, std::move(detail)});
        return error;
    }

    Kind kind() const noexcept { return kind_; }
    long code() const noexcept { return code_; }  // the HRESULT behind it, S_OK when we refused
    std::uint32_t width() const noexcept { return width_; }
    std::uint32_t height() const noexcept { return height_; }
    std::string_view format() const noexcept { return format_; }
    void setFormat(std::string_view name) noexcept { format_ = name; }  // a name of static storage (formatName)
    const char* what() const noexcept override { return "varnok::ImageFileError"; }

    struct PdfDetail {
        pdf::Refusal refusal = pdf::Refusal::None;
        int page = 0;
        int object = 0;
        std::string detail;
    };
    const PdfDetail* pdf() const noexcept { return pdf_.get(); }  // null for anything but a PDF

private:
    Kind kind_;
    long code_;
    std::uint32_t width_, height_;
    std::string_view format_;
    std::shared_ptr<const PdfDetail> pdf_;  // shared, so that copying an exception cannot throw
};

// One image of a file, to be read on its own: its pixels, or why they could not be had.
struct ImageCandidate {
    GrayPixels image;
    std::optional<ImageFileError> failure;
    pdf::Budget* work = nullptr;  // a PDF's image: the file's work left, which reading the image spends
};

// Hands `visit` each image of the file in the order to try, until it returns true: an image file's one image, or
// a PDF's images page by page, the largest first on each page. Throws ImageFileError for the file as a whole (an
// image file's every failure, a PDF refused or damaged beyond reading); the dimensions are checked against
// `maxPixels` before any pixel is decoded.
void visitGrayImages(std::wstring_view path, std::uint64_t maxPixels,
                     const std::function<bool(const ImageCandidate&)>& visit);

// Image data held in memory (a PDF's JPEG images), decoded as an image file is (in the worker).
GrayPixels decodeGrayImage(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels);

}  // namespace varnok
