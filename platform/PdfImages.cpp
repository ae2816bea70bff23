#include "PdfImages.h"

#include <windows.h>

#include <new>
#include <vector>

#include "pdf/Reader.h"

namespace varnok {

namespace {

using Kind = ImageFileError::Kind;

void rewind(IStream* stream)
{
    const LARGE_INTEGER start{};
    const HRESULT hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr))
        throw ImageFileError(Kind::Unreadable, hr);
}

std::vector<std::uint8_t> readAll(IStream* stream)
{
    STATSTG stat{};
    HRESULT hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr))
        throw ImageFileError(Kind::Unreadable, hr);
    if (stat.cbSize.QuadPart > pdf::maxFileBytes)
        throw ImageFileError::inPdf(Kind::Refused, pdf::Refusal::FileTooLarge, 0, 0, "");
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
    } catch (const std::bad_alloc&) {
        throw ImageFileError(Kind::TooLarge, E_OUTOFMEMORY);
    }
    rewind(stream);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ULONG read = 0;
        hr = stream->Read(bytes.data() + done, static_cast<ULONG>(bytes.size() - done), &read);
        if (FAILED(hr))
            throw ImageFileError(Kind::NoAccess, hr);
        if (read == 0)
            break;
        done += read;
    }
    bytes.resize(done);
    return bytes;
}

ImageFileError workLimit() { return ImageFileError::inPdf(Kind::Refused, pdf::Refusal::WorkLimit, 0, 0, ""); }

ImageCandidate candidateOf(pdf::Reader& reader, const pdf::ImageInfo& image, std::uint64_t maxPixels)
{
    pdf::ImagePixels pixels = reader.pixels(image, maxPixels);
    ImageCandidate candidate;
    const auto width = static_cast<std::uint32_t>(pixels.width);
    const auto height = static_cast<std::uint32_t>(pixels.height);
    switch (pixels.kind) {
    case pdf::ImagePixels::Kind::Gray:
        candidate.image = GrayPixels{std::move(pixels.bytes), static_cast<int>(pixels.width),
                                     static_cast<int>(pixels.height)};
        break;
    case pdf::ImagePixels::Kind::Jpeg:
        try {
            candidate.image = decodeGrayImage(pixels.bytes, maxPixels);
            if (pixels.invert)
                for (auto& p : candidate.image.pixels)
                    p = static_cast<std::uint8_t>(255 - p);
        } catch (const ImageFileError& error) {
            candidate.failure = error.kind() == Kind::Unreadable
                                    ? ImageFileError::inPdf(Kind::Unreadable, pdf::Refusal::None, image.page,
                                                            image.object, "pixels: JPEG data the system cannot decode")
                                    : error;
        }
        break;
    case pdf::ImagePixels::Kind::TooLarge:
        candidate.failure = ImageFileError(Kind::TooLarge, S_OK, width, height);
        break;
    case pdf::ImagePixels::Kind::NoMemory:
        candidate.failure = ImageFileError(Kind::TooLarge, E_OUTOFMEMORY, width, height);
        break;
    case pdf::ImagePixels::Kind::Unsupported:
        candidate.failure = ImageFileError::inPdf(Kind::Refused, pdf::Refusal::UnsupportedCompression, image.page,
                                                  image.object, pixels.fault.reason);
        break;
    case pdf::ImagePixels::Kind::Failed:
        candidate.failure = ImageFileError::inPdf(Kind::Unreadable, pdf::Refusal::None, image.page,
                                                  pixels.fault.object, pixels.fault.describe());
        break;
    case pdf::ImagePixels::Kind::WorkLimit:
        candidate.failure = workLimit();
        break;
    }
    candidate.work = &reader.budget();
    return candidate;
}

}  // namespace

bool isPdf(IStream* stream)
{
    std::uint8_t head[1024];
    ULONG read = 0;
    const HRESULT hr = stream->Read(head, sizeof head, &read);
    rewind(stream);
    if (FAILED(hr))
        return false;
    return pdf::looksLikePdf(pdf::Bytes(head, read));
}

void visitPdfImages(IStream* stream, std::uint64_t maxPixels, const std::function<bool(const ImageCandidate&)>& visit)
{
    const std::vector<std::uint8_t> file = readAll(stream);
    pdf::Reader reader{pdf::Bytes(file)};
    const pdf::Listing listing = reader.list();
    if (listing.refusal == pdf::Refusal::UnsupportedCompression) {
        const pdf::ImageInfo& first = listing.images.front();
        throw ImageFileError::inPdf(Kind::Refused, listing.refusal, first.page, first.object,
                                    pdf::codecName(first.codec));
    }
    if (listing.refusal != pdf::Refusal::None)
        throw ImageFileError::inPdf(Kind::Refused, listing.refusal, 0, 0, "");
    if (listing.fault)
        throw ImageFileError::inPdf(Kind::Unreadable, pdf::Refusal::None, 0, listing.fault->object,
                                    listing.fault->describe());
    for (const pdf::ImageInfo& image : listing.images) {
        ImageCandidate candidate;
        try {
            candidate = candidateOf(reader, image, maxPixels);
        } catch (const std::bad_alloc&) {
            candidate.failure = ImageFileError(Kind::TooLarge, E_OUTOFMEMORY, static_cast<std::uint32_t>(image.width),
                                               static_cast<std::uint32_t>(image.height));
        }
        if (visit(candidate))
            return;
        if (reader.budget().exhausted()) {
            // The file ends here: the caller weighs the limit against what it found so far.
            const auto* pdf = candidate.failure ? candidate.failure->pdf() : nullptr;
            if (!pdf || pdf->refusal != pdf::Refusal::WorkLimit)
                visit(ImageCandidate{{}, workLimit()});
            return;
        }
    }
}

}  // namespace varnok
