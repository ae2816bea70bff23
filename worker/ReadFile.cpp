#include "ReadFile.h"

#include <algorithm>
#include <new>
#include <vector>

#include "aztec/Image.h"
#include "pdf/Reader.h"
#include "imaging/BmpRle.h"
#include "imaging/ImageHeader.h"

namespace varnok::worker {

namespace {

using Kind = ImageFileError::Kind;
constexpr long noMemory = static_cast<long>(0x8007000EL);  // E_OUTOFMEMORY

ImageFileError workLimit() { return ImageFileError::inPdf(Kind::Refused, pdf::Refusal::WorkLimit, 0, 0, ""); }

// One image of a file, to be read on its own: its pixels, or why they could not be had.
struct Candidate {
    GrayPixels image;
    std::optional<ImageFileError> failure;
    Budget* work = nullptr;  // a PDF's image: the file's work left, which reading the image spends
};
using Visit = std::function<bool(const Candidate&)>;

Candidate pdfCandidate(pdf::Reader& reader, const pdf::ImageInfo& image, const PixelDecoder& decode)
{
    pdf::ImagePixels pixels = reader.pixels(image, aztec::maxPixels);
    Candidate candidate;
    const auto width = static_cast<std::uint32_t>(pixels.width);
    const auto height = static_cast<std::uint32_t>(pixels.height);
    switch (pixels.kind) {
    case pdf::ImagePixels::Kind::Gray:
        candidate.image = GrayPixels{std::move(pixels.bytes), static_cast<int>(pixels.width),
                                     static_cast<int>(pixels.height), image.pixelAspect.value_or(1)};
        break;
    case pdf::ImagePixels::Kind::Jpeg:
        try {
            candidate.image = decodeImageFile(pixels.bytes, decode);
            // The page's placement, where it says anything, before the JPEG's own resolution.
            if (image.pixelAspect)
                candidate.image.pixelAspect = *image.pixelAspect;
            if (pixels.invert)
                for (auto& p : candidate.image.pixels)
                    p = static_cast<std::uint8_t>(255 - p);
        } catch (const ImageFileError& error) {
            candidate.failure = error.kind() == Kind::Unreadable || error.kind() == Kind::NoDecoder
                                    ? ImageFileError::inPdf(Kind::Unreadable, pdf::Refusal::None, image.page,
                                                            image.object, "pixels: JPEG data the system cannot decode")
                                    : error;
        }
        break;
    case pdf::ImagePixels::Kind::TooLarge:
        candidate.failure = ImageFileError(Kind::TooLarge, 0, width, height);
        break;
    case pdf::ImagePixels::Kind::NoMemory:
        candidate.failure = ImageFileError(Kind::TooLarge, noMemory, width, height);
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

// A PDF's images page by page, the largest first on each. Throws ImageFileError for the file as a whole.
void visitPdfImages(std::span<const std::uint8_t> file, std::uint64_t fileSize, const PixelDecoder& decode,
                    const Visit& visit)
{
    if (fileSize > pdf::maxFileBytes || file.size() < fileSize)
        throw ImageFileError::inPdf(Kind::Refused, pdf::Refusal::FileTooLarge, 0, 0, "");
    pdf::Reader reader{pdf::Bytes(file.data(), file.size())};
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
        Candidate candidate;
        try {
            candidate = pdfCandidate(reader, image, decode);
        } catch (const std::bad_alloc&) {
            candidate.failure = ImageFileError(Kind::TooLarge, noMemory, static_cast<std::uint32_t>(image.width),
                                               static_cast<std::uint32_t>(image.height));
        }
        if (visit(candidate))
            return;
        if (reader.budget().exhausted()) {
            // The file ends here: the search weighs the limit against what it found so far.
            const auto* pdf = candidate.failure ? candidate.failure->pdf() : nullptr;
            if (!pdf || pdf->refusal != pdf::Refusal::WorkLimit)
                visit(Candidate{{}, workLimit()});
            return;
        }
    }
}

// Each image of the file in the order to try, until `visit` returns true.
void visitImages(std::span<const std::uint8_t> file, std::uint64_t fileSize, const PixelDecoder& decode,
                 const Visit& visit)
{
    if (pdf::looksLikePdf(pdf::Bytes(file.data(), std::min<std::size_t>(file.size(), 1024)))) {
        visitPdfImages(file, fileSize, decode, visit);
        return;
    }
    const auto head = file.first(std::min(file.size(), imageHeaderBytes));
    if (const auto size = declaredSize(head); size && size->width * size->height > aztec::maxPixels)
        throw ImageFileError(Kind::TooLarge, 0, static_cast<std::uint32_t>(size->width),
                             static_cast<std::uint32_t>(size->height));
    if (file.size() < fileSize)
        throw ImageFileError(Kind::TooLarge, noMemory);
    Candidate candidate;
    try {
        candidate.image = decodeImageFile(file, decode);
    } catch (ImageFileError& error) {
        if (error.kind() == Kind::NoDecoder)
            error.setFormat(std::string(formatName(head)));
        throw;
    }
    visit(candidate);
}

// Pages in order and the largest image first on each, until one has a symbol; otherwise the failure that says
// most. Throws ImageFileError for failures that are not a read's; never returns ReadFailure::BadImage.
aztec::ReadResult bestRead(std::span<const std::uint8_t> file, std::uint64_t fileSize, const PixelDecoder& decode)
{
    std::optional<aztec::ReadResult> read, damaged, noSymbol;
    std::optional<ImageFileError> refused, tooLarge, unreadable;
    const auto keepFirst = [](std::optional<ImageFileError>& slot, const ImageFileError& error) {
        if (!slot)
            slot = error;
    };
    visitImages(file, fileSize, decode, [&](const Candidate& candidate) {
        if (candidate.failure) {
            const Kind kind = candidate.failure->kind();
            keepFirst(kind == Kind::Refused ? refused : kind == Kind::TooLarge ? tooLarge : unreadable,
                      *candidate.failure);
            return false;
        }
        const GrayPixels& image = candidate.image;
        aztec::ReadResult result;
        try {
            aztec::GrayImage gray{image.pixels.data(), image.width, image.height, image.width};
            gray.pixelAspect = image.pixelAspect;
            // A PDF's images share the file's budget.
            result = candidate.work ? aztec::readAztec(gray, *candidate.work) : aztec::readAztec(gray);
        } catch (const std::bad_alloc&) {
            keepFirst(tooLarge, ImageFileError(Kind::TooLarge, noMemory, static_cast<std::uint32_t>(image.width),
                                               static_cast<std::uint32_t>(image.height)));
            return false;
        }
        switch (result.failure) {
        case aztec::ReadFailure::None:
            read = std::move(result);
            return true;
        case aztec::ReadFailure::TooDamaged:
            if (!damaged)
                damaged = std::move(result);
            break;
        case aztec::ReadFailure::NoSymbol:
            if (!noSymbol)
                noSymbol = std::move(result);
            break;
        case aztec::ReadFailure::BadImage:
            keepFirst(unreadable, ImageFileError(Kind::Unreadable, 0));
            break;
        }
        return false;
    });
    if (read)
        return *read;
    if (damaged)
        return *damaged;
    // The symbol may well be in the image we could not decode: asking for another scan helps most.
    if (refused)
        throw *refused;
    if (noSymbol)
        return *noSymbol;
    if (tooLarge)
        throw *tooLarge;
    if (unreadable)
        throw *unreadable;
    throw ImageFileError(Kind::Unreadable, 0);
}

}  // namespace

GrayPixels decodeImageFile(std::span<const std::uint8_t> file, const PixelDecoder& decode)
{
    const auto declared = declaredSize(file.first(std::min(file.size(), imageHeaderBytes)));
    if (declared && declared->width * declared->height > aztec::maxPixels)
        throw ImageFileError(Kind::TooLarge, 0, static_cast<std::uint32_t>(declared->width),
                             static_cast<std::uint32_t>(declared->height));
    const Structure structure = checkStructure(file);
    if (structure.verdict != Structure::Verdict::Fine)
        throw ImageFileError(Kind::Unreadable, 0);
    try {
        if (declared) {
            if (auto runs = decodeRleBitmap(file))
                return GrayPixels{std::move(runs->pixels), static_cast<int>(runs->width), static_cast<int>(runs->height)};
        }
        if (structure.gifTrailer) {
            // Only the first frame is ever read, and some decoders would load every frame.
            std::vector<std::uint8_t> first(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(structure.decodeBytes));
            first.push_back(0x3B);
            return decode(first, aztec::maxPixels);
        }
    } catch (const std::bad_alloc&) {
        throw ImageFileError(Kind::TooLarge, noMemory, declared ? static_cast<std::uint32_t>(declared->width) : 0,
                             declared ? static_cast<std::uint32_t>(declared->height) : 0);
    }
    return decode(file, aztec::maxPixels);
}

FileOutcome readFile(std::span<const std::uint8_t> file, std::uint64_t fileSize, const PixelDecoder& decode)
{
    FileOutcome outcome;
    try {
        outcome.read = bestRead(file, fileSize, decode);
    } catch (const ImageFileError& error) {
        outcome.error = error;
    } catch (const std::bad_alloc&) {
        outcome.error = ImageFileError(Kind::TooLarge, noMemory);
    }
    return outcome;
}

}  // namespace varnok::worker
