#include "Reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <new>
#include <set>
#include <string_view>
#include <unordered_map>

#include "Document.h"
#include "Fax.h"

namespace varnok::pdf {

namespace {

constexpr int maxTreeDepth = 64;
constexpr int maxPages = 100000;
constexpr int maxFormDepth = 8;
constexpr int maxDrawsPerPage = 100000;
constexpr std::size_t maxImagesPerPage = 1024;
constexpr std::size_t maxImageBytes = 512u << 20;

long long integerOf(const Object* object, long long fallback)
{
    const long long* v = object ? object->integer() : nullptr;
    return v ? *v : fallback;
}

bool flagOf(const Object* object)
{
    const bool* v = object ? std::get_if<bool>(&object->value) : nullptr;
    return v && *v;
}

bool isType(const Dict& dict, std::string_view type)
{
    const Object* t = lookup(dict, "Type");
    return t && t->isName(type);
}

Codec codecOf(const std::string& filter)
{
    if (filter == "DCTDecode" || filter == "DCT")
        return Codec::Dct;
    if (filter == "CCITTFaxDecode" || filter == "CCF")
        return Codec::Fax;
    if (filter == "JBIG2Decode")
        return Codec::Jbig2;
    if (filter == "JPXDecode")
        return Codec::Jpx;
    return Codec::None;
}

struct Page {
    const Dict* dict = nullptr;
    const Dict* resources = nullptr;
};

// The page tree in document order: depth-limited, each node visited once, so that /Kids and /Parent loops end.
std::vector<Page> pagesOf(Document& document, std::vector<Fault>& skipped)
{
    const Dict& root = *document.resolve(*lookup(document.trailer(), "Root")).dict();
    const Object* top = lookup(root, "Pages");
    if (!top)
        throw Fault{Stage::Pages, 0, "no page tree"};
    struct Node {
        const Object* object;
        const Dict* resources;
        int depth;
    };
    std::vector<Page> pages;
    std::set<int> visited;
    std::vector<Node> stack{{top, nullptr, 0}};
    while (!stack.empty()) {
        const Node node = stack.back();
        stack.pop_back();
        const int number = node.object->ref() ? node.object->ref()->number : 0;
        if (number && !visited.insert(number).second) {
            skipped.push_back({Stage::Pages, number, "page tree loop"});
            continue;
        }
        const Dict* dict = nullptr;
        try {
            dict = document.resolve(*node.object).dict();
        } catch (const Fault& fault) {
            skipped.push_back(fault);
            continue;
        }
        if (!dict) {
            skipped.push_back({Stage::Pages, number, "page tree node is not a dictionary"});
            continue;
        }
        const Dict* resources = node.resources;
        if (const Object* own = document.resolvedEntry(*dict, "Resources"); own && own->dict())
            resources = own->dict();
        const Object* kids = document.resolvedEntry(*dict, "Kids");
        if (kids && kids->array() && !isType(*dict, "Page")) {
            if (node.depth >= maxTreeDepth) {
                skipped.push_back({Stage::Pages, number, "page tree too deep"});
                continue;
            }
            const Array& list = *kids->array();
            for (auto it = list.rbegin(); it != list.rend(); ++it)
                stack.push_back({&*it, resources, node.depth + 1});
            continue;
        }
        if (pages.size() >= maxPages)
            throw Fault{Stage::Pages, number, "too many pages"};
        pages.push_back({dict, resources});
    }
    return pages;
}

// Images drawn by the pages' content streams ("Do" on an image XObject), also through form XObjects. One scanner
// serves all pages: they often share their resources, and an image drawn again is listed only where first drawn.
class ContentScanner {
public:
    explicit ContentScanner(Document& document) : document_(document) {}

    void startPage()
    {
        found_.clear();
        forms_.clear();
        draws_ = 0;
        inlineImages_ = 0;
    }
    const std::vector<int>& found() const { return found_; }
    int inlineImages() const { return inlineImages_; }

    void scan(const std::vector<std::uint8_t>& content, const Dict* resources, int depth)
    {
        Lexer lexer{Bytes(content)};
        std::string operand;
        for (;;) {
            Lexer::Token t = lexer.next();
            if (t.kind == Lexer::Kind::End)
                return;
            if (t.kind == Lexer::Kind::Name) {
                operand = std::move(t.text);
                continue;
            }
            if (t.kind != Lexer::Kind::Keyword)
                continue;
            if (t.text == "Do" && !operand.empty()) {
                if (++draws_ > maxDrawsPerPage)
                    throw Fault{Stage::Pages, 0, "too many images drawn on one page"};
                draw(operand, resources, depth);
            }
            else if (t.text == "BI") {
                ++inlineImages_;
                skipInlineImage(lexer);
            }
            operand.clear();
        }
    }

private:
    void draw(const std::string& name, const Dict* resources, int depth)
    {
        if (!resources)
            return;
        const Object* entry = xobject(*resources, name);
        if (!entry || !entry->ref())
            return;
        const int number = entry->ref()->number;
        const Object& object = document_.get(number);
        const Dict* dict = object.dict();
        const Object* subtype = dict ? lookup(*dict, "Subtype") : nullptr;
        if (!object.stream() || !subtype)
            return;
        if (subtype->isName("Image")) {
            if (found_.size() < maxImagesPerPage && listed_.insert(number).second)
                found_.push_back(number);
        } else if (subtype->isName("Form") && depth < maxFormDepth && forms_.insert(number).second) {
            const Object* own = document_.resolvedEntry(*dict, "Resources");
            const StreamData data = document_.streamData(*object.stream(), number, maxStreamBytes);
            scan(data.bytes, own && own->dict() ? own->dict() : resources, depth + 1);
        }
    }

    // The resources' XObject names, indexed once: a page may draw many times from a large dictionary.
    const Object* xobject(const Dict& resources, const std::string& name)
    {
        auto known = names_.find(&resources);
        if (known == names_.end()) {
            known = names_.emplace(&resources, std::unordered_map<std::string, const Object*>{}).first;
            const Object* xobjects = document_.resolvedEntry(resources, "XObject");
            if (xobjects && xobjects->dict())
                for (const auto& [key, value] : *xobjects->dict())
                    known->second.emplace(key, &value);
        }
        const auto found = known->second.find(name);
        return found == known->second.end() ? nullptr : found->second;
    }

    // An inline image's data is binary: skip from "ID" to the "EI" that stands alone.
    static void skipInlineImage(Lexer& lexer)
    {
        for (;;) {
            const Lexer::Token t = lexer.next();
            if (t.kind == Lexer::Kind::End)
                return;
            if (t.kind == Lexer::Kind::Keyword && t.text == "ID")
                break;
        }
        const Bytes data = lexer.data();
        const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
        for (std::size_t at = text.find("EI", lexer.position()); at != std::string_view::npos;
             at = text.find("EI", at + 2)) {
            if (at > 0 && isSpace(data[at - 1]) && (at + 2 == data.size() || isSpace(data[at + 2]))) {
                lexer.seek(at + 2);
                return;
            }
        }
        lexer.seek(data.size());
    }

    Document& document_;
    std::vector<int> found_;
    std::set<int> listed_;
    std::set<int> forms_;
    std::map<const Dict*, std::unordered_map<std::string, const Object*>> names_;
    int draws_ = 0;
    int inlineImages_ = 0;
};

std::vector<std::uint8_t> contentOf(Document& document, const Dict& page)
{
    std::vector<std::uint8_t> content;
    const Object* contents = lookup(page, "Contents");
    if (!contents)
        return content;
    const Object& resolved = document.resolve(*contents);
    std::vector<const Object*> parts;
    if (resolved.array()) {
        for (const auto& item : *resolved.array())
            parts.push_back(&item);
    } else {
        parts.push_back(contents);
    }
    for (const Object* part : parts) {
        const int number = part->ref() ? part->ref()->number : 0;
        const Object& stream = document.resolve(*part);
        if (!stream.stream())
            continue;
        const StreamData data =
            document.streamData(*stream.stream(), number, maxStreamBytes - std::min(maxStreamBytes, content.size()));
        content.insert(content.end(), data.bytes.begin(), data.bytes.end());
        content.push_back('\n');  // parts split only between tokens
    }
    return content;
}

// How sample values become gray: the colour family, its components, and an index's palette.
struct ColourModel {
    enum class Family { Gray, Rgb, Cmyk, Separation };
    Family family = Family::Gray;
    int components = 1;
    bool indexed = false;
    int highest = 0;  // the largest palette index
    std::vector<std::uint8_t> palette;
};

ColourModel::Family familyOf(int components, int number)
{
    switch (components) {
    case 1: return ColourModel::Family::Gray;
    case 3: return ColourModel::Family::Rgb;
    case 4: return ColourModel::Family::Cmyk;
    default: break;
    }
    throw Fault{Stage::Images, number, "colour space with " + std::to_string(components) + " components"};
}

ColourModel colourModel(Document& document, const Object& given, int number, bool allowIndexed)
{
    const Object& space = document.resolve(given);
    ColourModel model;
    const Name* name = space.name();
    const Array* array = space.array();
    if (array && !array->empty())
        name = document.resolve((*array)[0]).name();
    if (!name)
        throw Fault{Stage::Images, number, "no colour space"};
    const std::string& family = name->text;
    if (family == "DeviceGray" || family == "G" || family == "CalGray")
        return model;
    if (family == "DeviceRGB" || family == "RGB" || family == "CalRGB") {
        model.family = ColourModel::Family::Rgb;
        model.components = 3;
        return model;
    }
    if (family == "DeviceCMYK" || family == "CMYK") {
        model.family = ColourModel::Family::Cmyk;
        model.components = 4;
        return model;
    }
    if (family == "ICCBased" && array && array->size() >= 2) {
        const Object& profile = document.resolve((*array)[1]);
        const int components = static_cast<int>(integerOf(profile.dict() ? lookup(*profile.dict(), "N") : nullptr, 0));
        model.family = familyOf(components, number);
        model.components = components;
        return model;
    }
    if ((family == "Separation" || family == "DeviceN") && array && array->size() >= 2) {
        const Object& names = document.resolve((*array)[1]);
        if (family == "DeviceN" && (!names.array() || names.array()->size() != 1))
            throw Fault{Stage::Images, number, "DeviceN colour space with several inks"};
        model.family = ColourModel::Family::Separation;  // the amount of one ink: 1 is full ink, dark
        return model;
    }
    if ((family == "Indexed" || family == "I") && allowIndexed && array && array->size() >= 4) {
        ColourModel base = colourModel(document, (*array)[1], number, false);
        const long long highest = integerOf(&document.resolve((*array)[2]), -1);
        if (highest < 0 || highest > 255)
            throw Fault{Stage::Images, number, "bad palette size"};
        base.indexed = true;
        base.highest = static_cast<int>(highest);
        const std::size_t size = std::size_t(highest + 1) * base.components;
        const Object* lookupObject = &(*array)[3];
        const int lookupNumber = lookupObject->ref() ? lookupObject->ref()->number : number;
        const Object& table = document.resolve(*lookupObject);
        if (const std::string* bytes = table.string())
            base.palette.assign(bytes->begin(), bytes->end());
        else if (table.stream())
            base.palette = document.streamData(*table.stream(), lookupNumber, size).bytes;
        base.palette.resize(size, 0);
        base.components = 1;
        return base;
    }
    throw Fault{Stage::Images, number, "unsupported colour space " + family};
}

unsigned sampleAt(const std::uint8_t* row, std::size_t index, int bits)
{
    switch (bits) {
    case 8: return row[index];
    case 16: return row[2 * index];  // the high byte is precision enough for gray
    default: break;
    }
    const std::size_t bit = index * bits;
    return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

std::uint8_t grayOf(ColourModel::Family family, const std::uint8_t* v)
{
    switch (family) {
    case ColourModel::Family::Gray:
        return v[0];
    case ColourModel::Family::Separation:
        return static_cast<std::uint8_t>(255 - v[0]);
    case ColourModel::Family::Rgb:
        return static_cast<std::uint8_t>((v[0] * 299u + v[1] * 587u + v[2] * 114u + 500u) / 1000u);
    case ColourModel::Family::Cmyk:
        return static_cast<std::uint8_t>(255 - std::min(255u, (v[0] * 30u + v[1] * 59u + v[2] * 11u) / 100u + v[3]));
    }
    return 255;
}

// Each component's sample values through the /Decode array, as 0-255 (or a palette index).
std::vector<std::array<std::uint8_t, 256>> decodeTables(const ColourModel& model, const Object* decode, int bits,
                                                        int number)
{
    const int levels = bits == 16 ? 256 : 1 << bits;
    const double top = levels - 1;
    std::vector<std::array<std::uint8_t, 256>> tables(model.components);
    for (int c = 0; c < model.components; ++c) {
        double low = 0, high = model.indexed ? top : 1;
        if (decode && decode->array()) {
            const Array& ranges = *decode->array();
            if (ranges.size() < std::size_t(2 * model.components) || !ranges[2 * c].number(low) ||
                !ranges[2 * c + 1].number(high))
                throw Fault{Stage::Images, number, "bad /Decode"};
        }
        for (int s = 0; s < levels; ++s) {
            const double value = low + s * (high - low) / (top > 0 ? top : 1);
            tables[c][s] = model.indexed
                               ? static_cast<std::uint8_t>(std::clamp<double>(std::lround(value), 0, model.highest))
                               : static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
        }
    }
    return tables;
}

std::vector<std::uint8_t> toGray(const std::vector<std::uint8_t>& samples, long long width, long long height,
                                 int bits, const ColourModel& model, const Object* decode, int number)
{
    const auto tables = decodeTables(model, decode, bits, number);
    const std::size_t perRow = std::size_t(width) * model.components;
    const std::size_t rowBytes = (perRow * bits + 7) / 8;
    const std::size_t rows = std::min<std::size_t>(samples.size() / rowBytes, std::size_t(height));
    // Rows the data does not reach stay white paper.
    std::vector<std::uint8_t> gray(std::size_t(width) * height, 255);
    std::uint8_t values[4] = {};
    for (std::size_t y = 0; y < rows; ++y) {
        const std::uint8_t* row = samples.data() + y * rowBytes;
        std::uint8_t* out = gray.data() + y * width;
        for (std::size_t x = 0; x < std::size_t(width); ++x) {
            for (int c = 0; c < model.components; ++c)
                values[c] = tables[c][sampleAt(row, x * model.components + c, bits)];
            if (model.indexed) {
                const int baseComponents = static_cast<int>(model.palette.size() / (model.highest + 1));
                out[x] = grayOf(model.family, &model.palette[std::size_t(values[0]) * baseComponents]);
            } else {
                out[x] = grayOf(model.family, values);
            }
        }
    }
    return gray;
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

const char* codecName(Codec codec)
{
    switch (codec) {
    case Codec::None: return "";
    case Codec::Dct: return "DCTDecode";
    case Codec::Fax: return "CCITTFaxDecode";
    case Codec::Jbig2: return "JBIG2Decode";
    case Codec::Jpx: return "JPXDecode";
    }
    return "";
}

Reader::Reader(Bytes file) : file_(file) {}

Reader::~Reader() = default;

Listing Reader::list()
{
    Listing out;
    if (file_.size() > maxFileBytes) {
        out.refusal = Refusal::FileTooLarge;
        return out;
    }
    try {
        document_ = std::make_unique<Document>(file_);
        if (lookup(document_->trailer(), "Encrypt")) {
            out.refusal = Refusal::Encrypted;
            return out;
        }
        const std::vector<Page> pages = pagesOf(*document_, out.skipped);
        ContentScanner scanner(*document_);
        for (std::size_t p = 0; p < pages.size(); ++p) {
            scanner.startPage();
            try {
                scanner.scan(contentOf(*document_, *pages[p].dict), pages[p].resources, 0);
            } catch (const Fault& fault) {
                out.skipped.push_back(Fault{Stage::Pages, fault.object, fault.reason});
            }
            // Inline images are not read, but a page holding one is not a page without images.
            if (scanner.inlineImages() > 0)
                out.skipped.push_back(Fault{Stage::Images, 0, "inline images are not read"});
            std::vector<ImageInfo> images;
            for (const int number : scanner.found()) {
                try {
                    const Dict& dict = *document_->get(number).dict();
                    ImageInfo image;
                    image.page = static_cast<int>(p + 1);
                    image.object = number;
                    image.width = integerOf(document_->resolvedEntry(dict, "Width"), 0);
                    image.height = integerOf(document_->resolvedEntry(dict, "Height"), 0);
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
    } catch (const Fault& fault) {
        out.fault = fault;
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
        if (data.codec == "CCITTFaxDecode") {
            FaxParams params = faxParamsOf(data.codecParms);
            if (bits != 1 || model.components != 1 || params.columns != image.width)
                throw Fault{Stage::Pixels, number, "fax data that does not fit the image"};
            samples = decodeFax(Bytes(data.bytes), params, static_cast<int>(image.height));
        } else if (!data.codec.empty()) {
            throw Fault{Stage::Pixels, number, "image filter " + data.codec + " with this image type"};
        } else {
            samples = std::move(data.bytes);
        }
        if (samples.size() < rowBytes)
            throw Fault{Stage::Pixels, number, "no image data"};
        out.bytes = toGray(samples, image.width, image.height, bits, model, decode, number);
        out.kind = ImagePixels::Kind::Gray;
    } catch (Fault& fault) {
        if (fault.object == 0)
            fault.object = number;
        out.kind = ImagePixels::Kind::Failed;
        out.fault = fault;
        out.bytes.clear();
    } catch (const std::bad_alloc&) {
        out.kind = ImagePixels::Kind::NoMemory;
        out.bytes.clear();
    }
    return out;
}

}  // namespace varnok::pdf
