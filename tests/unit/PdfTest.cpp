// The PDF reader against the files scanners and converters write (made by tests/pdf/make-pdfs.sh) and against
// files built here to be damaged, hostile or unusual: what each page's images give, in the order they are tried.

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <fstream>
#include <map>
#include <sstream>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO_WRITE
#include <stb/stb_image.h>

#include "aztec/Reader.h"
#include "pdf/Fax.h"
#include "pdf/Filters.h"
#include "pdf/Objects.h"
#include "pdf/Reader.h"
#include "tests/pdf/HostileFiles.h"
#include "tests/pdf/PdfBuilder.h"

namespace varnok::pdf {
namespace {

using test::deflate;
using test::PdfBuilder;
using test::ref;

const std::string samples = VARNOK_PDF_SAMPLES;
const std::string corpus = VARNOK_AZTEC_CORPUS;

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Bytes bytesOf(const std::string& text) { return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}; }

struct Gray {
    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0;
};

Gray decodeJpeg(const std::vector<std::uint8_t>& bytes)
{
    Gray out;
    int channels = 0;
    stbi_uc* data = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &out.width, &out.height,
                                          &channels, 1);
    if (data) {
        out.pixels.assign(data, data + std::size_t(out.width) * out.height);
        stbi_image_free(data);
    }
    return out;
}

Gray loadImage(const std::string& path)
{
    const std::string bytes = fileText(path);
    return decodeJpeg(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

// Every image tried until a symbol is read, as "page:outcome" words; a refusal or a fault of the whole file alone.
struct Outcome {
    std::string trail;
    std::string text;
    int corner = -1;  // the top left pixel of the image read: white paper when the colours are right
};

// The images share the file's budget with the listing, as the programs read them; its end is the word "work limit".
Outcome readPdf(const std::string& file, long long work = fileWork)
{
    Reader reader(bytesOf(file), work);
    const Listing listing = reader.list();
    switch (listing.refusal) {
    case Refusal::Encrypted: return {"encrypted", ""};
    case Refusal::NoImage: return {"no image", ""};
    case Refusal::FileTooLarge: return {"file too large", ""};
    case Refusal::WorkLimit: return {"work limit", ""};
    case Refusal::UnsupportedCompression:
        return {std::string("unsupported ") + codecName(listing.images.front().codec), ""};
    case Refusal::None: break;
    }
    if (listing.fault)
        return {std::string("fault ") + stageName(listing.fault->stage), ""};
    Outcome outcome;
    for (const ImageInfo& image : listing.images) {
        ImagePixels pixels = reader.pixels(image, aztec::maxPixels);
        std::string what;
        if (pixels.kind == ImagePixels::Kind::Jpeg) {
            const Gray gray = decodeJpeg(pixels.bytes);
            pixels.bytes = gray.pixels;
            if (pixels.invert)
                for (auto& p : pixels.bytes)
                    p = static_cast<std::uint8_t>(255 - p);
            pixels.kind = gray.pixels.empty() ? ImagePixels::Kind::Failed : ImagePixels::Kind::Gray;
            pixels.width = gray.width;
            pixels.height = gray.height;
        }
        switch (pixels.kind) {
        case ImagePixels::Kind::Gray: {
            const aztec::ReadResult read = aztec::readAztec(
                {pixels.bytes.data(), static_cast<int>(pixels.width), static_cast<int>(pixels.height),
                 static_cast<std::ptrdiff_t>(pixels.width)},
                reader.budget());
            what = read.failure == aztec::ReadFailure::None         ? "symbol"
                   : read.failure == aztec::ReadFailure::TooDamaged ? "damaged"
                                                                     : "no symbol";
            if (read.failure == aztec::ReadFailure::None) {
                outcome.text = read.bytes;
                outcome.corner = pixels.bytes[0];
            }
            break;
        }
        case ImagePixels::Kind::TooLarge: what = "too large"; break;
        case ImagePixels::Kind::NoMemory: what = "no memory"; break;
        case ImagePixels::Kind::Unsupported: what = pixels.fault.reason; break;
        case ImagePixels::Kind::Failed: what = std::string("failed ") + stageName(pixels.fault.stage); break;
        case ImagePixels::Kind::WorkLimit:
        case ImagePixels::Kind::Jpeg: break;
        }
        if (!what.empty())
            outcome.trail += (outcome.trail.empty() ? "" : " ") + std::to_string(image.page) + ":" + what;
        if (!outcome.text.empty())
            break;
        if (reader.budget().exhausted()) {
            outcome.trail += (outcome.trail.empty() ? "" : " ") + std::string("work limit");
            break;
        }
    }
    return outcome;
}

TEST(PdfFiles, ScannersAndConvertersFilesGiveTheirSymbols)
{
    std::string certificate = fileText(VARNOK_EXAMPLES "/certificate-payload.txt");
    while (!certificate.empty() && (certificate.back() == '\n' || certificate.back() == '\r'))
        certificate.pop_back();
    const std::string clean = fileText(corpus + "/clean-1.png.txt");
    struct Case {
        const char* file;
        const char* trail;
        const std::string& text;
    };
    const std::string none;
    const Case cases[] = {
        {"jpeg.pdf", "1:symbol", certificate},
        {"png-gray.pdf", "1:symbol", clean},
        {"png-rgb.pdf", "1:symbol", clean},
        {"png-palette.pdf", "1:symbol", clean},
        {"png-bilevel.pdf", "1:symbol", clean},
        {"g4.pdf", "1:symbol", clean},
        {"ghostscript.pdf", "1:symbol", certificate},
        {"ghostscript-bilevel.pdf", "1:symbol", clean},
        {"object-streams.pdf", "1:symbol", clean},
        {"object-streams-g4.pdf", "1:symbol", clean},
        {"two-pages.pdf", "1:no symbol 2:symbol", clean},
        {"linearized.pdf", "1:no symbol 2:symbol", clean},
        {"other-second.pdf", "1:symbol", fileText(corpus + "/clean-2.png.txt")},
        {"encrypted.pdf", "encrypted", none},
        {"encrypted-rc4.pdf", "encrypted", none},
    };
    for (const Case& c : cases) {
        const Outcome outcome = readPdf(fileText(samples + "/" + c.file));
        EXPECT_EQ(outcome.trail, c.trail) << c.file;
        EXPECT_EQ(outcome.text, c.text) << c.file;
        if (!c.text.empty()) {
            EXPECT_GE(outcome.corner, 200) << c.file;  // paper stays light: palettes and colour spaces map right
        }
    }
}

// Our listing against pdfimages': the same images, pages and sizes, in the file's order within each page.
TEST(PdfFiles, ListingsAgreeWithPdfimages)
{
    int compared = 0;
    for (const char* file : {"jpeg.pdf", "png-gray.pdf", "png-rgb.pdf", "png-palette.pdf", "g4.pdf", "ghostscript.pdf",
                             "object-streams.pdf", "object-streams-g4.pdf", "two-pages.pdf", "linearized.pdf",
                             "other-second.pdf"}) {
        const std::string bytes = fileText(samples + "/" + file);
        Reader reader(bytesOf(bytes));
        const Listing listing = reader.list();
        std::istringstream theirs(fileText(samples + "/" + file + ".list"));
        std::map<std::string, std::string> encodings{{"jpeg", "DCTDecode"}, {"ccitt", "CCITTFaxDecode"}, {"image", ""}};
        std::string page, object, width, height, encoding;
        std::size_t i = 0;
        for (; theirs >> page >> object >> width >> height >> encoding; ++i, ++compared) {
            ASSERT_LT(i, listing.images.size()) << file;
            const ImageInfo& ours = listing.images[i];
            EXPECT_EQ(std::to_string(ours.page) + " " + std::to_string(ours.object) + " " + std::to_string(ours.width) +
                          " " + std::to_string(ours.height) + " " + codecName(ours.codec),
                      page + " " + object + " " + width + " " + height + " " + encodings[encoding])
                << file;
        }
        EXPECT_EQ(i, listing.images.size()) << file;
    }
    EXPECT_GE(compared, 13);
}

// The fax decoder, row for row against the image the encoders were given.
TEST(PdfFax, GroupThreeAndFourDecodeToTheOriginalPixels)
{
    const std::string pgm = fileText(samples + "/bilevel.pgm");
    std::istringstream header(pgm);
    std::string magic;
    int width = 0, height = 0, top = 0;
    header >> magic >> width >> height >> top;
    std::vector<int> levels;
    for (int v; header >> v;)
        levels.push_back(v);
    ASSERT_EQ(levels.size(), std::size_t(width) * height);

    const auto expectSame = [&](const std::vector<std::uint8_t>& rows, const char* what) {
        ASSERT_EQ(rows.size(), std::size_t((width + 7) / 8) * height) << what;
        int differences = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const bool white = rows[y * ((width + 7) / 8) + x / 8] & (0x80 >> (x % 8));
                differences += white != (levels[y * width + x] > top / 2);
            }
        EXPECT_EQ(differences, 0) << what;
    };
    for (const auto& [file, k] : {std::pair{"g3-1d.fax", 0}, std::pair{"g3-2d.fax", 1}}) {
        const std::string data = fileText(samples + "/" + file);
        FaxParams params;
        params.k = k;
        params.columns = width;
        expectSame(decodeFax(bytesOf(data), params, height), file);
    }
    // Group 4 through the whole reader: its gray is 0 or 255 for each pixel.
    const std::string g4 = fileText(samples + "/g4.pdf");
    Reader reader(bytesOf(g4));
    const Listing listing = reader.list();
    ASSERT_EQ(listing.images.size(), 1u);
    const ImagePixels pixels = reader.pixels(listing.images[0], aztec::maxPixels);
    ASSERT_EQ(pixels.kind, ImagePixels::Kind::Gray);
    std::vector<std::uint8_t> rows(std::size_t((width + 7) / 8) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (pixels.bytes[std::size_t(y) * width + x] == 255)
                rows[y * ((width + 7) / 8) + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    expectSame(rows, "g4.pdf");
}

TEST(PdfFax, DamagedDataStopsWithAFaultNotACrash)
{
    const std::string data = fileText(samples + "/g3-2d.fax");
    int faults = 0;
    for (std::size_t at = 0; at < data.size(); at += 97) {
        std::string damaged = data;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
        for (const int k : {-1, 0, 1}) {
            FaxParams params;
            params.k = k;
            params.columns = 285;
            try {
                EXPECT_LE(decodeFax(bytesOf(damaged), params, 285).size(), 37u * 285);
            } catch (const Fault& fault) {
                EXPECT_EQ(fault.stage, Stage::Pixels);
                ++faults;
            }
        }
    }
    EXPECT_GT(faults, 0);
}

// LZW as PDF writers use it: a clear code first, codes widened one early, a clear code when the table fills.
std::string lzwEncode(const std::string& data)
{
    std::string out;
    unsigned long long bits = 0;
    int pending = 0, width = 9;
    const auto emit = [&](int code) {
        bits = bits << width | static_cast<unsigned>(code);
        for (pending += width; pending >= 8; pending -= 8)
            out += static_cast<char>(bits >> (pending - 8));
    };
    std::map<std::string, int> table;
    const auto reset = [&] {
        table.clear();
        for (int b = 0; b < 256; ++b)
            table[std::string(1, static_cast<char>(b))] = b;
        width = 9;
    };
    emit(256);
    reset();
    std::string current;
    for (const char c : data) {
        if (table.count(current + c)) {
            current += c;
            continue;
        }
        emit(table[current]);
        const int next = static_cast<int>(table.size()) + 2;
        table[current + c] = next;
        if (next + 1 >= (1 << width) && width < 12)
            ++width;
        if (next >= 4000) {
            emit(256);
            reset();
        }
        current = std::string(1, c);
    }
    emit(table[current]);
    emit(257);
    if (pending > 0)
        out += static_cast<char>(bits << (8 - pending));
    return out;
}

std::string imageKeys(int width, int height, const std::string& more)
{
    return "/Type /XObject /Subtype /Image /Width " + std::to_string(width) + " /Height " + std::to_string(height) +
           " " + more;
}

// One page drawing the named images (name -> object) with `content`; returns the catalogue's number.
int page(PdfBuilder& pdf, const std::string& content, const std::string& xobjects, int pagesNumber = 0)
{
    const int catalogue = pdf.reserve();
    const int pages = pagesNumber ? pagesNumber : pdf.reserve();
    const int contents = pdf.stream("", content);
    const int page = pdf.object("<< /Type /Page /Parent " + std::to_string(pages) +
                                " 0 R /MediaBox [0 0 600 600] /Resources << /XObject << " + xobjects +
                                " >> >> /Contents " + std::to_string(contents) + " 0 R >>");
    pdf.object("<< /Type /Pages /Kids [" + std::to_string(page) + " 0 R] /Count 1 >>", pages);
    pdf.object("<< /Type /Catalog /Pages " + std::to_string(pages) + " 0 R >>", catalogue);
    return catalogue;
}


struct Symbol {
    Gray gray;
    std::string text;
    std::string raw() const { return {gray.pixels.begin(), gray.pixels.end()}; }
    std::string packed(bool darkIsZero) const
    {
        const int rowBytes = (gray.width + 7) / 8;
        std::string out(std::size_t(rowBytes) * gray.height, '\0');
        for (int y = 0; y < gray.height; ++y)
            for (int x = 0; x < gray.width; ++x)
                if ((gray.pixels[std::size_t(y) * gray.width + x] < 128) != darkIsZero)
                    out[std::size_t(y) * rowBytes + x / 8] |= static_cast<char>(0x80 >> (x % 8));
        return out;
    }
    std::string dims() const { return imageKeys(gray.width, gray.height, ""); }
};

const Symbol& symbol()
{
    static const Symbol s{loadImage(corpus + "/clean-1.png"), fileText(corpus + "/clean-1.png.txt")};
    return s;
}

std::string grayImage(PdfBuilder& pdf, const std::string& extraKeys = "", const std::string& data = "")
{
    const Symbol& s = symbol();
    return ref(pdf.stream(s.dims() + "/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /FlateDecode " + extraKeys,
                          deflate(data.empty() ? s.raw() : data)));
}

TEST(PdfBuilt, UnusualButSoundFilesGiveTheirSymbols)
{
    const Symbol& s = symbol();
    struct Case {
        const char* what;
        std::function<std::string()> make;
        std::string trail;
    };
    std::string inverted = s.raw();
    for (auto& p : inverted)
        p = static_cast<char>(255 - static_cast<unsigned char>(p));
    std::string tiffPredicted = s.raw();
    for (int y = 0; y < s.gray.height; ++y)
        for (int x = s.gray.width - 1; x > 0; --x)
            tiffPredicted[y * s.gray.width + x] =
                static_cast<char>(tiffPredicted[y * s.gray.width + x] - tiffPredicted[y * s.gray.width + x - 1]);
    const Case cases[] = {
        {"a 1-bit mask over a larger background",
         [&] {
             PdfBuilder pdf;
             const std::string paper = fileText(samples + "/paper.jpg");
             const int background = pdf.stream(imageKeys(800, 600, "/ColorSpace /DeviceGray /BitsPerComponent 8 "
                                                                   "/Filter /DCTDecode"),
                                               paper);
             const int mask = pdf.stream(s.dims() + "/ImageMask true /Filter /FlateDecode", deflate(s.packed(true)));
             pdf.section("/Root " + ref(page(pdf, "q /Bg Do Q q /Fg Do Q", "/Bg " + ref(background) + " /Fg " +
                                                                                  ref(mask))));
             return pdf.text();
         },
         "1:no symbol 1:symbol"},
        {"inverted samples with /Decode [1 0]",
         [&] {
             PdfBuilder pdf;
             const std::string image = grayImage(pdf, "/Decode [1 0]", inverted);
             pdf.section("/Root " + ref(page(pdf, "/I Do", "/I " + image)));
             return pdf.text();
         },
         "1:symbol"},
        {"a TIFF predictor",
         [&] {
             PdfBuilder pdf;
             const std::string image = grayImage(
                 pdf, "/DecodeParms << /Predictor 2 /Columns " + std::to_string(s.gray.width) + " >>", tiffPredicted);
             pdf.section("/Root " + ref(page(pdf, "/I Do", "/I " + image)));
             return pdf.text();
         },
         "1:symbol"},
        {"an ICC profile with one component, an indirect length, ASCII85 and hex filters",
         [&] {
             PdfBuilder pdf;
             const int profile = pdf.stream("/N 1", "profile");
             const int image = pdf.reserve();
             const int length = pdf.reserve();
             const std::string data = deflate(s.raw());
             std::string hex;
             for (const unsigned char c : data) {
                 char pair[3];
                 std::snprintf(pair, sizeof pair, "%02X", c);
                 hex += pair;
             }
             pdf.object("<< " + s.dims() + "/ColorSpace [/ICCBased " + ref(profile) +
                            "] /BitsPerComponent 8 /Filter [/AHx /Fl] /Length " + ref(length) + " >>\nstream\n" +
                            hex + ">\nendstream",
                        image);
             pdf.object(std::to_string(hex.size() + 1), length);
             pdf.section("/Root " + ref(page(pdf, "/I Do", "/I " + ref(image))));
             return pdf.text();
         },
         "1:symbol"},
        {"an image inside a form inside a form",
         [&] {
             PdfBuilder pdf;
             const std::string image = grayImage(pdf);
             const int inner = pdf.stream("/Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources << /XObject << "
                                          "/I " + image + " >> >>",
                                          "q /I Do Q");
             const int outer = pdf.stream("/Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources << /XObject << "
                                          "/F " + ref(inner) + " >> >>",
                                          "/F Do");
             pdf.section("/Root " + ref(page(pdf, "BI /W 2 /H 1 /BPC 8 /CS /G ID \x01)EI\nEI /O Do", "/O " +
                                                                                                           ref(outer))));
             return pdf.text();
         },
         "1:symbol"},
        {"LZW with a PNG predictor, the table cleared on the way",
         [&] {
             PdfBuilder pdf;
             std::string rows;
             for (int y = 0; y < s.gray.height; ++y)
                 rows += '\0' + s.raw().substr(std::size_t(y) * s.gray.width, s.gray.width);
             const int image = pdf.stream(s.dims() + "/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /LZWDecode "
                                                     "/DecodeParms << /Predictor 15 /Columns 285 >>",
                                          lzwEncode(rows));
             pdf.section("/Root " + ref(page(pdf, "/I Do", "/I " + ref(image))));
             return pdf.text();
         },
         "1:symbol"},
        {"Group 3 one-dimensional fax data",
         [&] {
             PdfBuilder pdf;
             const int image = pdf.stream(s.dims() + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCF "
                                                     "/DecodeParms << /K 0 /Columns 285 /Rows 285 >>",
                                          fileText(samples + "/g3-1d.fax"));
             pdf.section("/Root " + ref(page(pdf, "/I Do", "/I " + ref(image))));
             return pdf.text();
         },
         "1:symbol"},
        {"Group 3 two-dimensional fax data, black as 1 and inverted back by /Decode",
         [&] {
             PdfBuilder pdf;
             const int image = pdf.stream(s.dims() + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Decode [1 0] "
                                                     "/Filter [/CCITTFaxDecode] /DecodeParms [<< /K 4 /Columns 285 "
                                                     "/BlackIs1 true >>]",
                                          fileText(samples + "/g3-2d.fax"));
             pdf.section("/Root " + ref(page(pdf, "/I Do", "/I " + ref(image))));
             return pdf.text();
         },
         "1:symbol"},
        {"fax data of fewer rows than its /Height, the rest white paper",
         [&] {
             PdfBuilder pdf;
             const int g3 = pdf.stream(imageKeys(285, 400, "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCF "
                                                           "/DecodeParms << /K 0 /Columns 285 >>"),
                                       fileText(samples + "/g3-1d.fax"));
             const int g32d = pdf.stream(imageKeys(285, 300, "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCF "
                                                             "/DecodeParms << /K 4 /Columns 285 /BlackIs1 true >> "
                                                             "/Decode [1 0]"),
                                         fileText(samples + "/g3-2d.fax"));
             const int pages = pdf.reserve();
             std::string kids;
             for (const int image : {g3, g32d})
                 kids += ref(pdf.object("<< /Type /Page /Parent " + ref(pages) + " /Resources << /XObject << /I " +
                                        ref(image) + " >> >> /Contents " + ref(pdf.stream("", "/I Do")) + " >>")) +
                         " ";
             pdf.object("<< /Type /Pages /Kids [" + kids + "] /Count 2 >>", pages);
             pdf.section("/Root " + ref(pdf.object("<< /Type /Catalog /Pages " + ref(pages) + " >>")));
             return pdf.text();
         },
         "1:symbol"},
        {"every xref offset wrong",
         [&] {
             PdfBuilder pdf;
             const std::string image = grayImage(pdf);
             pdf.section("/Root " + ref(page(pdf, "/I Do", "/I " + image)));
             std::string& text = pdf.text();
             for (std::size_t at = text.find(" 00000 n"); at != std::string::npos; at = text.find(" 00000 n", at + 1))
                 text.replace(at - 10, 10, "0000000003");
             return text;
         },
         "1:symbol"},
        {"no xref and no trailer at all",
         [&] {
             PdfBuilder pdf;
             const std::string image = grayImage(pdf);
             page(pdf, "/I Do", "/I " + image);
             return pdf.text();
         },
         "1:symbol"},
        {"an incremental update replacing the page's image",
         [&] {
             PdfBuilder pdf;
             const std::string blank = grayImage(pdf, "", std::string(s.raw().size(), '\xF0'));
             const int catalogue = page(pdf, "/I Do", "/I " + blank);
             pdf.section("/Root " + ref(catalogue));
             pdf.stream(s.dims() + "/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /FlateDecode",
                        deflate(s.raw()), 1);
             pdf.section("/Root " + ref(catalogue));
             return pdf.text();
         },
         "1:symbol"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = readPdf(c.make());
        EXPECT_EQ(outcome.trail, c.trail) << c.what;
        if (c.trail.ends_with(":symbol")) {
            EXPECT_EQ(outcome.text, s.text) << c.what;
            EXPECT_EQ(outcome.corner, 255) << c.what;  // the reader reads light on dark too: check the colours
        }
    }
}

TEST(PdfFilters, PredictorRowsAreSizedIn64Bits)
{
    // Rows whose byte count wraps a 32-bit size, one just past the stream limit, and sound ones.
    struct Case {
        Predictor p;
        bool refused;
        std::vector<std::uint8_t> out;
    };
    const Case cases[] = {
        {{12, 32, 16, 8388608}, true, {}},
        {{2, 32, 16, 8388609}, true, {}},
        {{15, 32, 16, (1 << 20) + 1}, true, {}},
        {{15, 32, 16, 1 << 20}, false, {}},
        {{12, 1, 8, 1 << 24}, false, {}},
        {{2, 1, 8, 4}, false, {1, 2, 3, 4}},
        {{12, 1, 8, 2}, false, {1, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> in = c.p.predictor == 2 ? std::vector<std::uint8_t>{1, 1, 1, 1}
                                                                : std::vector<std::uint8_t>{0, 1, 1, 2, 1, 2};
        if (c.refused)
            EXPECT_THROW(unpredict(in, c.p), Fault) << c.p.predictor << " " << c.p.columns;
        else
            EXPECT_EQ(unpredict(in, c.p), c.out) << c.p.predictor << " " << c.p.columns;
    }
}

TEST(PdfBuilt, PredictedRowsAreReadWhole)
{
    std::string raw, predicted;
    for (int y = 0; y < 100; ++y) {
        predicted += '\0';
        for (int x = 0; x < 10; ++x) {
            raw += static_cast<char>(x * 20 + y);
            predicted += raw.back();
        }
    }
    const std::pair<const char*, std::string> filters[] = {{"/FlateDecode", deflate(predicted)},
                                                           {"/LZWDecode", lzwEncode(predicted)}};
    for (const auto& [filter, data] : filters) {
        PdfBuilder pdf;
        const int image = pdf.stream(imageKeys(10, 100,
                                               "/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter " +
                                                   std::string(filter) + " /DecodeParms << /Predictor 10 /Columns 10 >>"),
                                     data);
        pdf.section("/Root " + ref(page(pdf, "/I Do", "/I " + ref(image))));
        Reader reader(bytesOf(pdf.text()));
        const Listing listing = reader.list();
        ASSERT_EQ(listing.images.size(), 1u) << filter;
        const ImagePixels pixels = reader.pixels(listing.images[0], aztec::maxPixels);
        EXPECT_EQ(pixels.kind, ImagePixels::Kind::Gray) << filter;
        EXPECT_EQ(std::string(pixels.bytes.begin(), pixels.bytes.end()), raw) << filter;
    }
}

TEST(PdfBuilt, ImagesDrawnAgainAreListedWhereFirstDrawn)
{
    // Two pages sharing their parent's resources: A is the larger image, B a small blank one.
    struct Case {
        const char* first;
        const char* second;
        const char* listed;
    };
    const Case cases[] = {
        {"/A Do /B Do", "/B Do /A Do /B Do", "1:A 1:B"},
        {"/B Do /B Do", "/A Do /B Do", "1:B 2:A"},
        {"0 0 m 5 5 l S", "/B Do /A Do", "2:A 2:B"},
    };
    for (const Case& c : cases) {
        PdfBuilder pdf;
        const std::string a = grayImage(pdf);
        const std::string b = ref(pdf.stream(imageKeys(8, 8, "/ColorSpace /DeviceGray /BitsPerComponent 8"),
                                             std::string(64, '\xFF')));
        const int pages = pdf.reserve();
        std::string kids;
        for (const char* content : {c.first, c.second})
            kids += ref(pdf.object("<< /Type /Page /Parent " + ref(pages) + " /MediaBox [0 0 600 600] /Contents " +
                                   ref(pdf.stream("", content)) + " >>")) + " ";
        pdf.object("<< /Type /Pages /Kids [" + kids + "] /Count 2 /Resources << /XObject << /A " + a + " /B " + b +
                       " >> >> >>",
                   pages);
        pdf.section("/Root " + ref(pdf.object("<< /Type /Catalog /Pages " + ref(pages) + " >>")));
        Reader reader(bytesOf(pdf.text()));
        std::string listed;
        for (const ImageInfo& image : reader.list().images)
            listed += (listed.empty() ? "" : " ") + std::to_string(image.page) + ":" +
                      (image.object == std::stoi(a) ? "A" : "B");
        EXPECT_EQ(listed, c.listed) << c.first << " | " << c.second;
    }
}

TEST(PdfBuilt, AnImagesPixelAspectIsWhereThePagePutsIt)
{
    // A 100 x 50 image; "/F" is a form drawing it under its own /Matrix [1 0 0 2 0 0]. Aspect 0: none given.
    const struct {
        const char* content;
        double aspect;
    } cases[] = {
        {"/I Do", 0},                                          // no placement: says nothing
        {"0 1 -1 0 0 0 cm 100 0 0 50 0 0 cm /I Do", 1},        // turned after sizing: the order matters (not 4)
        {"1 0 0 3 cm 100 0 0 50 0 0 cm /I Do", 1},             // a cm of four numbers is no placement
        {"q 100 0 0 50 0 0 cm /I Do Q", 1},                    // a scanner's placement of square pixels
        {"q 100 0 0 100 0 0 cm /I Do Q", 2},                   // a fax at 204 x 98 dpi is placed so
        {"q 0 100 -50 0 0 0 cm /I Do Q", 1},                   // turned a quarter: the sides keep their lengths
        {"2 0 0 1 0 0 cm q 1 0 0 9 0 0 cm Q 50 0 0 50 0 0 cm /I Do", 1},  // Q restores what q saved
        {"50 0 0 25 0 0 cm /F Do", 2},                         // the form's matrix applies within the page's
        {"0 0 0 0 0 0 cm /I Do", 0},                           // squashed to nothing: says nothing
    };
    for (const auto& c : cases) {
        PdfBuilder pdf;
        const std::string image = ref(pdf.stream(imageKeys(100, 50, "/ColorSpace /DeviceGray /BitsPerComponent 8"),
                                                 std::string(5000, '\xFF')));
        const std::string form = ref(pdf.stream(
            "/Type /XObject /Subtype /Form /BBox [0 0 1 1] /Matrix [1 0 0 2 0 0] /Resources << /XObject << /I " +
                image + " >> >>",
            "/I Do"));
        pdf.section("/Root " + ref(page(pdf, c.content, "/I " + image + " /F " + form)));
        Reader reader(bytesOf(pdf.text()));
        const Listing listing = reader.list();
        ASSERT_EQ(listing.images.size(), 1u) << c.content;
        if (c.aspect == 0)
            EXPECT_FALSE(listing.images[0].pixelAspect) << c.content;
        else
            EXPECT_NEAR(listing.images[0].pixelAspect.value_or(-1), c.aspect, 1e-9) << c.content;
    }
}

TEST(PdfBuilt, RefusedDamagedAndHostileFilesEndCleanly)
{
    const Symbol& s = symbol();
    struct Case {
        const char* what;
        std::function<std::string()> make;
        std::string trail;
    };
    const auto onePage = [](const std::string& content, const std::function<std::string(PdfBuilder&)>& images) {
        PdfBuilder pdf;
        const std::string xobjects = images(pdf);
        pdf.section("/Root " + ref(page(pdf, content, xobjects)));
        return pdf.text();
    };
    const Case cases[] = {
        {"JBIG2 data",
         [&] {
             return onePage("/J Do", [&](PdfBuilder& pdf) {
                 return "/J " + ref(pdf.stream(s.dims() + "/ColorSpace /DeviceGray /BitsPerComponent 1 "
                                                          "/Filter /JBIG2Decode",
                                               "\x97JB2")); });
         },
         "unsupported JBIG2Decode"},
        {"JBIG2 data beside an image that is read",
         [&] {
             return onePage("/J Do /I Do", [&](PdfBuilder& pdf) {
                 return "/J " + ref(pdf.stream(s.dims() + "/ColorSpace /DeviceGray /BitsPerComponent 1 "
                                                          "/Filter /JBIG2Decode",
                                               "\x97JB2")) +
                        " /I " + grayImage(pdf); });
         },
         "1:JBIG2Decode 1:symbol"},
        {"a symbol drawn as vector paths",
         [&] { return onePage("0 0 m 10 10 l S 20 20 5 5 re f", [](PdfBuilder&) { return std::string(); }); },
         "no image"},
        {"a zip bomb under a small image",
         [&] {
             return onePage("/I Do", [&](PdfBuilder& pdf) {
                 return "/I " + ref(pdf.stream(imageKeys(100, 100, "/ColorSpace /DeviceGray /BitsPerComponent 8 "
                                                                   "/Filter /FlateDecode"),
                                               deflate(std::string(64u << 20, '\xFF')))); });
         },
         "1:no symbol"},
        {"predictor rows too long for any stream",
         [&] {
             return onePage("/I Do", [&](PdfBuilder& pdf) {
                 return "/I " + ref(pdf.stream(s.dims() + "/ColorSpace /DeviceGray /BitsPerComponent 8 "
                                                          "/Filter /FlateDecode /DecodeParms << /Predictor 12 "
                                                          "/Colors 32 /BitsPerComponent 16 /Columns 8388608 >>",
                                               deflate(s.raw()))); });
         },
         "1:failed pixels"},
        {"an image above the pixel limit",
         [&] {
             return onePage("/I Do", [&](PdfBuilder& pdf) {
                 return "/I " + ref(pdf.stream(imageKeys(20000, 20000, "/ColorSpace /DeviceGray /BitsPerComponent 8 "
                                                                       "/Filter /FlateDecode"),
                                               deflate("x"))); });
         },
         "1:too large"},
        {"an image whose width times height overflows",
         [&] {
             return onePage("/H Do /I Do", [&](PdfBuilder& pdf) {
                 return "/H " + ref(pdf.stream("/Type /XObject /Subtype /Image /Width 4000000000000 /Height "
                                               "4000000000000 /ColorSpace /DeviceGray /BitsPerComponent 8",
                                               "x")) +
                        " /I " + grayImage(pdf); });
         },
         "1:too large 1:symbol"},
        {"an image within the pixel limit whose samples exceed what one image may hold",
         [&] {
             return onePage("/I Do", [&](PdfBuilder& pdf) {
                 return "/I " + ref(pdf.stream(imageKeys(10000, 10000, "/ColorSpace /DeviceCMYK /BitsPerComponent 16 "
                                                                       "/Filter /FlateDecode"),
                                               deflate("x"))); });
         },
         "1:no memory"},
        {"a page whose only image is inline",
         [&] {
             return onePage("q BI /W 8 /H 8 /CS /G /BPC 8 ID\n" + std::string(64, 'E') + "\nEI Q",
                            [](PdfBuilder&) { return std::string(); });
         },
         "fault images"},
        {"image data cut short",
         [&] {
             return onePage("/I Do", [&](PdfBuilder& pdf) {
                 return "/I " + ref(pdf.stream(s.dims() + "/ColorSpace /DeviceGray /BitsPerComponent 8 "
                                                          "/Filter /FlateDecode",
                                               deflate(s.raw()).substr(0, 9))); });
         },
         "1:failed pixels"},
        {"a colour space with two components",
         [&] {
             return onePage("/I Do", [&](PdfBuilder& pdf) {
                 return "/I " + ref(pdf.stream(s.dims() + "/ColorSpace [/ICCBased << /N 2 >>] /BitsPerComponent 8",
                                               s.raw())); });
         },
         "1:failed images"},
        {"a page tree whose kids are itself",
         [] {
             PdfBuilder pdf;
             pdf.object("<< /Type /Catalog /Pages 2 0 R >>");
             pdf.object("<< /Type /Pages /Kids [2 0 R 2 0 R] /Count 2 >>");
             pdf.section("/Root 1 0 R");
             return pdf.text();
         },
         "fault pages"},
        {"a form drawing itself",
         [] {
             PdfBuilder pdf;
             pdf.stream("/Type /XObject /Subtype /Form /Resources << /XObject << /F 1 0 R >> >>", "/F Do");
             pdf.section("/Root " + ref(page(pdf, "/F Do", "/F 1 0 R")));
             return pdf.text();
         },
         "no image"},
        {"a length that refers to itself, objects nested too deeply",
         [] {
             PdfBuilder pdf;
             pdf.object("<< /Length 1 0 R >>\nstream\nxx\nendstream");
             pdf.object(std::string(100000, '[') + std::string(100000, ']'));
             pdf.object("<< /Type /Catalog /Pages 2 0 R >>");
             pdf.section("/Root 3 0 R");
             return pdf.text();
         },
         "fault objects"},
        {"an object stream holding itself",
         [] {
             PdfBuilder pdf;
             std::string text = pdf.text();
             const std::size_t offset = text.size();
             text += "1 0 obj\n<< /Type /ObjStm /N 1 /First 4 /Length 8 >>\nstream\n2 0 1 0 R\nendstream\nendobj\n";
             const std::size_t xref = text.size();
             const std::string entries = std::string("\x01") + char(0) + char(offset) + char(0) + "\x02" + char(0) +
                                         char(1) + char(0) + "\x02" + char(0) + char(2) + char(0);
             text += "3 0 obj\n<< /Type /XRef /W [1 2 1] /Index [1 3] /Size 4 /Root 2 0 R /Length " +
                     std::to_string(entries.size()) + " >>\nstream\n" + entries + "\nendstream\nendobj\nstartxref\n" +
                     std::to_string(xref) + "\n%%EOF\n";
             return text;
         },
         "fault pages"},
        {"many unterminated strings with no cross-reference table",
         [] {
             std::string text = "%PDF-1.4\n";
             for (int k = 1; k <= 20000; ++k)
                 text += std::to_string(k) + " 0 obj (\n" + (k % 10 ? "" : "trailer (\n");
             return text;
         },
         "fault xref"},
        {"a sound file behind many unterminated strings, its offsets shifted",
         [&] {
             PdfBuilder pdf;
             pdf.section("/Root " + ref(page(pdf, "/I Do", "/I " + grayImage(pdf))));
             std::string junk;
             for (int k = 100000; k < 120000; ++k)
                 junk += std::to_string(k) + " 0 obj (\n" + (k % 10 ? "" : "trailer (\n");
             return pdf.text().insert(pdf.text().find('\n') + 1, junk);
         },
         "1:symbol"},
        {"not a PDF at all", [] { return std::string("%PDF-1.4\nnothing here\n"); }, "fault xref"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readPdf(c.make()).trail, c.trail) << c.what;
}

// Each file built to hold a reader ends with its own failure within one file's budget, and a budget too small for
// a sound file ends it as spent, not as damage.
TEST(PdfBuilt, HostileFilesEndWithinTheBudget)
{
    int files = 0;
    for (const test::HostileFile& file : test::hostileFiles()) {
        // A file that ends at the limit ends there at any limit: a tenth of it keeps the sanitized run short.
        const long long work = std::string(file.outcome) == "work limit" ? fileWork / 10 : fileWork;
        const std::string trail = readPdf(file.make(), work).trail;
        EXPECT_TRUE(trail == file.outcome || trail.ends_with(std::string(" ") + file.outcome))
            << file.name << ": " << trail;
        ++files;
    }
    EXPECT_EQ(files, 14);

    PdfBuilder pdf;
    pdf.section("/Root " + ref(page(pdf, "/I Do", "/I " + grayImage(pdf))));
    const std::string sound = pdf.text();
    struct Case {
        long long work;
        const char* trail;
    };
    // Decoding the image and making its pixels gray cost some 170,000 units; its read some millions.
    const Case cases[] = {{fileWork, "1:symbol"}, {250'000, "1:no symbol work limit"}, {1'000, "work limit"}};
    for (const Case& c : cases)
        EXPECT_EQ(readPdf(sound, c.work).trail, c.trail) << c.work;
}

// A stream's /Length is trusted only where "endstream" follows it closely; the look never reads on through the
// token the length points into, so a length into an unclosed string costs a few bytes, not the rest of the file.
TEST(PdfStreams, EndstreamIsLookedForCloseToTheLength)
{
    struct Case {
        const char* what;
        std::string text;
        std::size_t at;
        bool found;
    };
    const std::string unclosed = "(" + std::string(100'000, 'x') + " endstream";
    const Case cases[] = {
        {"at once", "endstream", 0, true},
        {"after an end of line", "\r\nendstream\nendobj", 0, true},
        {"after spaces", "   \n endstream", 0, true},
        {"before a delimiter", "\nendstream%", 0, true},
        {"a longer word", "\nendstreamX", 0, false},
        {"cut short", "\nendstr", 0, false},
        {"past the end", "endstream", 10, false},
        {"too far after white space", std::string(40, ' ') + "endstream", 0, false},
        {"inside an unclosed string", unclosed, 0, false},
        {"data before it", "x endstream", 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(endstreamAt(bytesOf(c.text), c.at), c.found) << c.what;
}

TEST(PdfBuilt, FilesOverTheLimitAreRefusedUnread)
{
    const std::string magic = "%PDF-1.7\n";
    EXPECT_TRUE(looksLikePdf(bytesOf(std::string(1000, ' ') + magic)));
    EXPECT_FALSE(looksLikePdf(bytesOf(std::string(1030, ' ') + magic)));
    EXPECT_FALSE(looksLikePdf(bytesOf("%PDF")));
    for (const std::string image : {"\x89PNG\r\n", "\xFF\xD8\xFF\xE1", "GIF89a", "BM6", "II*", "MM"})
        EXPECT_FALSE(looksLikePdf(bytesOf(image + " %PDF-1.4 in a comment"))) << image;
    std::string huge(maxFileBytes + 1, ' ');
    huge.replace(0, magic.size(), magic);
    EXPECT_EQ(readPdf(huge).trail, "file too large");
}

}  // namespace
}  // namespace varnok::pdf
