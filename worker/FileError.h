#pragma once
// Why a file gave no image to read, as the worker reports it and its callers word it. Portable.

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/Result.h"

namespace varnok {

struct GrayPixels {
    std::vector<std::uint8_t> pixels;  // rows top to bottom, `width` bytes each
    int width = 0;
    int height = 0;
    double pixelAspect = 1;  // a pixel's height over its width, as the file's own resolution says (1: square)
};

class ImageFileError : public std::exception {
public:
    enum class Kind {
        NotFound,    // no such file (an empty path, a folder)
        NoAccess,    // the file is there but cannot be opened: permissions, locked by another program
        Unreadable,  // not an image the system decodes, or its data is damaged
        TooLarge,    // dimensions beyond the limit, or no memory for the pixels
        Refused,     // a PDF we do not read: encrypted, an image codec we lack, no image, too large a file
        NoDecoder,   // no decoder of the system accepts the file: format() names it when its signature is known
        TimedOut,    // the caller's wall clock ended the read
        NoWorker,    // the worker program is missing or cannot be started
    };
    static constexpr Kind lastKind = Kind::NoWorker;

    ImageFileError(Kind kind, long code, std::uint32_t width = 0, std::uint32_t height = 0) noexcept
        : kind_(kind), code_(code), width_(width), height_(height) {}

    // Something about a PDF: a refusal (Kind::Refused) or damage (Kind::Unreadable), with the page and object it
    // concerns where there is one, and the reader's own words (a codec's name, a stage and its reason).
    static ImageFileError inPdf(Kind kind, pdf::Refusal refusal, int page, int object, std::string detail)
    {
        ImageFileError error(kind, 0);
        error.detail_ = std::make_shared<const Detail>(Detail{{}, PdfDetail{refusal, page, object, std::move(detail)}, true});
        return error;
    }

    Kind kind() const noexcept { return kind_; }
    long code() const noexcept { return code_; }  // the HRESULT behind it, S_OK (0) when we refused
    std::uint32_t width() const noexcept { return width_; }
    std::uint32_t height() const noexcept { return height_; }
    // The format's name when no decoder took a file of a known signature; for NoWorker, the worker's path (UTF-8).
    std::string_view format() const noexcept { return detail_ ? std::string_view(detail_->format) : std::string_view(); }
    void setFormat(std::string name)
    {
        Detail detail = detail_ ? *detail_ : Detail{};
        detail.format = std::move(name);
        detail_ = std::make_shared<const Detail>(std::move(detail));
    }
    const char* what() const noexcept override { return "varnok::ImageFileError"; }

    struct PdfDetail {
        pdf::Refusal refusal = pdf::Refusal::None;
        int page = 0;
        int object = 0;
        std::string detail;
    };
    const PdfDetail* pdf() const noexcept { return detail_ && detail_->isPdf ? &detail_->pdf : nullptr; }

private:
    struct Detail {
        std::string format;
        PdfDetail pdf;
        bool isPdf = false;
    };
    Kind kind_;
    long code_;
    std::uint32_t width_, height_;
    std::shared_ptr<const Detail> detail_;  // shared, so that copying an exception cannot throw
};

}  // namespace varnok
