#include "Reader.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string_view>

#include "Document.h"
#include "Fax.h"
#include "ReaderParts.h"
#include "imaging/ImageHeader.h"

namespace varnok::pdf {

namespace {

constexpr std::size_t maxImageBytes = 512u << 20;

bool flagOf(const Object* object)
{
    const bool* v = object ? std::get_if<bool>(&object->value) : nullptr;
    return v && *v;
}

// The width and height the page gives one pixel, from the placement's sides over the image's pixel counts. An
// image drawn with no placement at all (a point square), squashed to nothing, or sized absurdly says nothing.
std::optional<double> pixelAspectOf(const Placement& placement, long long width, long long height)
{
    if (placement.a == 1 && placement.b == 0 && placement.c == 0 && placement.d == 1)
        return std::nullopt;
    const double across = std::hypot(placement.a, placement.b) / double(width);
    const double down = std::hypot(placement.c, placement.d) / double(height);
    const double aspect = down / across;
    if (width > 0 && height > 0 && std::isfinite(aspect) && aspect > 0)
        return aspect;
    return std::nullopt;
}

}  // namespace

bool looksLikePdf(Bytes head)
{
    const std::string_view text(reinterpret_cast<const char*>(head.data()), std::min<std::size_t>(head.size(), 1024));
    // An image whose metadata happens to hold "%PDF-" stays an image.
    for (const std::string_view image : {"\x89PNG", "\xFF\xD8", "GIF8", "BM", "II*", "MM"})
        if (text.starts_with(image))
            return false;
    return text.find("%PDF-") != std::string_view::npos;
}

Reader::Reader(Bytes file, long long work) : file_(file), budget_(work) {}

Reader::~Reader() = default;

Listing Reader::list()
{
    Listing out;
    if (file_.size() > maxFileBytes) {
        out.refusal = Refusal::FileTooLarge;
        return out;
    }
    try {
        document_ = std::make_unique<Document>(file_, budget_);
        if (lookup(document_->trailer(), "Encrypt")) {
            out.refusal = Refusal::Encrypted;
            return out;
        }
        const std::vector<Page> pages = pagesOf(*document_, out.skipped);
        ContentScanner scanner(*document_);
        for (std::size_t p = 0; p < pages.size(); ++p) {
            try {
                scanner.scanPage(pages[p]);
            } catch (const Fault& fault) {
                out.skipped.push_back(Fault{Stage::Pages, fault.object, fault.reason});
            }
            // Inline images are not read, but a page holding one is not a page without images.
            if (scanner.inlineImages() > 0)
                out.skipped.push_back(Fault{Stage::Images, 0, "inline images are not read"});
            std::vector<ImageInfo> images;
            for (const auto& [number, placement] : scanner.found()) {
                try {
                    const Dict& dict = *document_->get(number).dict();
                    ImageInfo image;
                    image.page = static_cast<int>(p + 1);
                    image.object = number;
                    image.width = integerOf(document_->resolvedEntry(dict, "Width"), 0);
                    image.height = integerOf(document_->resolvedEntry(dict, "Height"), 0);
                    image.pixelAspect = pixelAspectOf(placement, image.width, image.height);
                    if (const Object* filter = document_->resolvedEntry(dict, "Filter")) {
                        const Object* last = filter->array() && !filter->array()->empty()
                                                 ? &document_->resolve(filter->array()->back())
                                                 : filter;
                        if (last->name())
                            image.codec = codecOf(last->name()->text);
                    }
                    images.push_back(image);
                } catch (const Fault& fault) {
                    out.skipped.push_back(Fault{Stage::Images, number, fault.reason});
                }
            }
            std::stable_sort(images.begin(), images.end(), [](const ImageInfo& a, const ImageInfo& b) {
                // In double: a hostile /Width and /Height overflow a 64-bit product.
                return double(a.width) * double(a.height) > double(b.width) * double(b.height);
            });
            out.images.insert(out.images.end(), images.begin(), images.end());
        }
        if (pages.empty())
            out.fault = out.skipped.empty() ? Fault{Stage::Pages, 0, "no pages"} : out.skipped.front();
        else if (out.images.empty() && out.skipped.empty())
            out.refusal = Refusal::NoImage;
        else if (out.images.empty())
            out.fault = out.skipped.front();
        else if (std::all_of(out.images.begin(), out.images.end(), [](const ImageInfo& image) {
                     return image.codec == Codec::Jbig2 || image.codec == Codec::Jpx;
                 }))
            out.refusal = Refusal::UnsupportedCompression;
    } catch (const Fault& fault) {
        out.fault = fault;
    } catch (const WorkSpent&) {
        // Nothing found so far says more than the limit: the pages listed cannot be read with no work left.
        out = Listing{};
        out.refusal = Refusal::WorkLimit;
    } catch (const std::bad_alloc&) {
        out.fault = Fault{Stage::File, 0, "not enough memory"};
    }
    return out;
}

ImagePixels Reader::pixels(const ImageInfo& image, std::uint64_t maxPixels)
{
    ImagePixels out;
    out.width = image.width;
    out.height = image.height;
    const int number = image.object;
    try {
        if (!document_)
            throw Fault{Stage::File, 0, "the file was not listed"};
        if (budget_.exhausted())
            throw WorkSpent{};
        if (image.codec == Codec::Jbig2 || image.codec == Codec::Jpx) {
            out.kind = ImagePixels::Kind::Unsupported;
            out.fault = Fault{Stage::Pixels, number, codecName(image.codec)};
            return out;
        }
        const Object& object = document_->get(number);
        if (!object.stream())
            throw Fault{Stage::Pixels, number, "not an image stream"};
        const Dict& dict = *object.dict();
        if (image.width < 1 || image.height < 1)
            throw Fault{Stage::Pixels, number, "bad image size"};
        if (image.width > (1 << 24) || image.height > (1 << 24) ||
            static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height) > maxPixels) {
            out.kind = ImagePixels::Kind::TooLarge;
            return out;
        }
        const bool mask = flagOf(document_->resolvedEntry(dict, "ImageMask"));
        const Object* decode = document_->resolvedEntry(dict, "Decode");
        if (image.codec == Codec::Dct) {
            double low = 0, high = 1;
            out.invert = decode && decode->array() && decode->array()->size() >= 2 &&
                         (*decode->array())[0].number(low) && (*decode->array())[1].number(high) && low > high;
            out.bytes = document_->streamData(*object.stream(), number, maxFileBytes).bytes;
            // The caller decodes the JPEG data: charged here, before the decode and whatever its end, by what the
            // JPEG's own frame and scans make a decoder do; the size the PDF declares bounds nothing of that.
            const auto frame = jpegFrame(out.bytes);
            budget_.charge(std::max<long long>(image.width * image.height,
                                               frame ? static_cast<long long>(frame->decodeWork()) : 0));
            out.kind = ImagePixels::Kind::Jpeg;
            return out;
        }
        const int bits = mask ? 1 : static_cast<int>(integerOf(document_->resolvedEntry(dict, "BitsPerComponent"), 0));
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)
            throw Fault{Stage::Pixels, number, "bad bits per component"};
        ColourModel model;
        if (!mask) {
            const Object* space = lookup(dict, "ColorSpace");
            if (!space)
                throw Fault{Stage::Images, number, "no colour space"};
            model = colourModel(*document_, *space, number, true);
        }
        const std::size_t rowBytes = (std::size_t(image.width) * model.components * bits + 7) / 8;
        const std::size_t expected = rowBytes * std::size_t(image.height);
        if (expected > maxImageBytes) {
            out.kind = ImagePixels::Kind::NoMemory;
            return out;
        }
        StreamData data = document_->streamData(*object.stream(), number, expected);
        std::vector<std::uint8_t> samples;
        if (data.codec == Codec::Fax) {
            FaxParams params = faxParamsOf(data.codecParms);
            if (bits != 1 || model.components != 1 || params.columns != image.width)
                throw Fault{Stage::Pixels, number, "fax data that does not fit the image"};
            budget_.charge(static_cast<long long>(data.bytes.size()) * 8);
            samples = decodeFax(Bytes(data.bytes), params, static_cast<int>(image.height));
        } else if (data.codec != Codec::None) {
            throw Fault{Stage::Pixels, number, std::string("image filter ") + codecName(data.codec) +
                                                   " with this image type"};
        } else {
            samples = std::move(data.bytes);
        }
        if (samples.size() < rowBytes)
            throw Fault{Stage::Pixels, number, "no image data"};
        budget_.charge(image.width * image.height);
        out.bytes = toGray(samples, image.width, image.height, bits, model, decode, number);
        out.kind = ImagePixels::Kind::Gray;
    } catch (Fault& fault) {
        if (fault.object == 0)
            fault.object = number;
        out.kind = ImagePixels::Kind::Failed;
        out.fault = fault;
        out.bytes.clear();
    } catch (const WorkSpent&) {
        out.kind = ImagePixels::Kind::WorkLimit;
        out.bytes.clear();
    } catch (const std::bad_alloc&) {
        out.kind = ImagePixels::Kind::NoMemory;
        out.bytes.clear();
    }
    return out;
}

}  // namespace varnok::pdf
