// The worker's reading of a whole file (the most telling result over a file's images) and the checks the caller
// makes of its reply, which a worker taken over by a hostile file may have written.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "AztecSymbols.h"
#include "tests/pdf/PdfBuilder.h"
#include "worker/Protocol.h"
#include "worker/ReadFile.h"

namespace varnok::worker {
namespace {

using Kind = ImageFileError::Kind;
using test::PdfBuilder;
using test::ref;

// The committed symbol v01 at 4 pixels a module in a quiet zone of 4 modules, white paper.
GrayPixels symbolImage()
{
    const aztec::ModuleMatrix m = aztec::test::symbolMatrix("v01");
    const int scale = 4, margin = 4 * scale, side = m.size() * scale + 2 * margin;
    GrayPixels image{std::vector<std::uint8_t>(std::size_t(side) * side, 255), side, side};
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const int mx = (x - margin) / scale, my = (y - margin) / scale;
            if (x >= margin && y >= margin && mx < m.size() && my < m.size() && m.at(mx, my))
                image.pixels[std::size_t(y) * side + x] = 0;
        }
    return image;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// Stands in for WIC: "SYMBOL" decodes to the symbol, "BLANK" to white paper, anything else is not an image.
GrayPixels fakeDecode(std::span<const std::uint8_t> file, std::uint64_t)
{
    const std::string text(file.begin(), file.end());
    if (text == "SYMBOL")
        return symbolImage();
    if (text == "BLANK")
        return GrayPixels{std::vector<std::uint8_t>(200 * 200, 255), 200, 200};
    if (text.rfind("RIFF", 0) == 0)
        throw ImageFileError(Kind::NoDecoder, 0);
    throw ImageFileError(Kind::Unreadable, 0);
}

// One page for each image: "jpeg:DATA" is a DCT image of those bytes, "symbol" the symbol as 8-bit gray.
std::vector<std::uint8_t> pdfOf(const std::vector<std::string>& images)
{
    PdfBuilder pdf;
    const int pages = pdf.reserve();
    std::string kids;
    for (const std::string& image : images) {
        int object = 0;
        int side = 100;
        if (image.rfind("jpeg:", 0) == 0) {
            object = pdf.stream("/Type /XObject /Subtype /Image /Width 100 /Height 100 /ColorSpace /DeviceGray "
                                "/BitsPerComponent 8 /Filter /DCTDecode",
                                image.substr(5));
        } else {
            const GrayPixels gray = symbolImage();
            side = gray.width;
            object = pdf.stream("/Type /XObject /Subtype /Image /Width " + std::to_string(side) + " /Height " +
                                    std::to_string(side) + " /ColorSpace /DeviceGray /BitsPerComponent 8",
                                std::string(gray.pixels.begin(), gray.pixels.end()));
        }
        const std::string size = std::to_string(side);
        const int content = pdf.stream("", "q " + size + " 0 0 " + size + " 0 0 cm /I Do Q");
        const int page = pdf.object("<< /Type /Page /Parent " + ref(pages) + " /MediaBox [0 0 " + size + " " + size +
                                    "] /Contents " + ref(content) + " /Resources << /XObject << /I " + ref(object) +
                                    " >> >> >>");
        kids += ref(page) + " ";
    }
    pdf.object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(images.size()) + " >>", pages);
    const int catalog = pdf.object("<< /Type /Catalog /Pages " + ref(pages) + " >>");
    pdf.section("/Root " + ref(catalog));
    return bytesOf(pdf.text());
}

FileOutcome read(const std::vector<std::uint8_t>& file) { return readFile(file, file.size(), fakeDecode); }

TEST(WorkerRead, ReadsTheSymbolOfAnImageFile)
{
    const FileOutcome outcome = read(bytesOf("SYMBOL"));
    ASSERT_FALSE(outcome.error);
    EXPECT_EQ(outcome.read.failure, aztec::ReadFailure::None);
    EXPECT_EQ(outcome.read.bytes, aztec::test::symbolText("v01"));
}

TEST(WorkerRead, KeepsTheFailureThatSaysMost)
{
    struct Case {
        const char* name;
        std::vector<std::string> pages;
        bool read;
        aztec::ReadFailure failure;
        Kind kind;  // when not read
    };
    const Case cases[] = {
        {"a symbol after an image that cannot be decoded", {"jpeg:broken", "symbol"}, true, aztec::ReadFailure::None, {}},
        {"a JPEG image that decodes to the symbol", {"jpeg:SYMBOL"}, true, aztec::ReadFailure::None, {}},
        {"blank paper weighs more than an image that cannot be decoded", {"jpeg:broken", "jpeg:BLANK"}, true,
         aztec::ReadFailure::NoSymbol, {}},
        {"only an image that cannot be decoded", {"jpeg:broken"}, false, {}, Kind::Unreadable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FileOutcome outcome = read(pdfOf(c.pages));
        ASSERT_EQ(!outcome.error, c.read);
        if (c.read) {
            EXPECT_EQ(outcome.read.failure, c.failure);
            continue;
        }
        EXPECT_EQ(outcome.error->kind(), c.kind);
        ASSERT_NE(outcome.error->pdf(), nullptr);
        EXPECT_EQ(outcome.error->pdf()->page, 1);
        EXPECT_EQ(outcome.error->pdf()->detail, "pixels: JPEG data the system cannot decode");
    }
}

TEST(WorkerRead, NamesTheFormatNoDecoderTakes)
{
    const FileOutcome outcome = read(bytesOf(std::string("RIFF\x10\0\0\0WEBPVP8 ", 16)));
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->kind(), Kind::NoDecoder);
    EXPECT_EQ(outcome.error->format(), "WebP");
}

TEST(WorkerRead, JudgesAFileTooLargeToHandOverByItsHead)
{
    const std::vector<std::uint8_t> image = bytesOf("SYMBOL"), pdf = pdfOf({"symbol"});
    const FileOutcome tooLarge = readFile(image, maxFileBytes + 1, fakeDecode);
    ASSERT_TRUE(tooLarge.error);
    EXPECT_EQ(tooLarge.error->kind(), Kind::TooLarge);
    EXPECT_NE(tooLarge.error->code(), 0);  // no memory for it, not a size it declares
    const FileOutcome tooLargePdf = readFile(pdf, maxFileBytes + 1, fakeDecode);
    ASSERT_TRUE(tooLargePdf.error && tooLargePdf.error->pdf());
    EXPECT_EQ(tooLargePdf.error->pdf()->refusal, pdf::Refusal::FileTooLarge);
}

// What the caller makes of a reply, after it crossed the pipe.
std::optional<FileOutcome> crossed(const FileOutcome& outcome)
{
    const std::vector<std::uint8_t> bytes = encodeReply(outcome);
    ReplyHeader header;
    std::memcpy(&header, bytes.data(), sizeof header);
    return decodeReply(header, std::span(bytes).subspan(sizeof header));
}

// A worker its job ended for processor time is a file that took too long; any other silent end is a crash.
TEST(WorkerReply, AWorkerEndedByItsJobRanOutOfTime)
{
    const struct {
        std::uint32_t exitCode;
        Departure departure;
    } cases[] = {{1816, Departure::OutOfTime},   {0, Departure::Crashed},          {1, Departure::Crashed},
                 {259, Departure::Crashed},      {0xC0000005, Departure::Crashed}, {0xC0000409, Departure::Crashed},
                 {1817, Departure::Crashed}};
    for (const auto& c : cases)
        EXPECT_EQ(departureOf(c.exitCode), c.departure) << c.exitCode;
}

TEST(WorkerReply, CarriesEveryOutcomeWhole)
{
    FileOutcome symbol;
    symbol.read.bytes = std::string("A\0B\xFF", 4);
    symbol.read.readerInitialisation = true;
    symbol.read.gs1 = true;
    symbol.read.sequence = aztec::SequencePosition{2, 3, "ID 7"};
    auto back = crossed(symbol);
    ASSERT_TRUE(back && !back->error);
    EXPECT_EQ(back->read.bytes, symbol.read.bytes);
    EXPECT_TRUE(back->read.readerInitialisation && back->read.gs1);
    ASSERT_TRUE(back->read.sequence);
    EXPECT_EQ(back->read.sequence->index, 2);
    EXPECT_EQ(back->read.sequence->count, 3);
    EXPECT_EQ(back->read.sequence->id, "ID 7");

    FileOutcome large;
    large.error = ImageFileError(Kind::TooLarge, 0, 20000, 9000);
    back = crossed(large);
    ASSERT_TRUE(back && back->error);
    EXPECT_EQ(back->error->kind(), Kind::TooLarge);
    EXPECT_EQ(back->error->width(), 20000u);
    EXPECT_EQ(back->error->height(), 9000u);

    FileOutcome refused;
    refused.error = ImageFileError::inPdf(Kind::Refused, pdf::Refusal::UnsupportedCompression, 3, 17, "JBIG2Decode");
    back = crossed(refused);
    ASSERT_TRUE(back && back->error && back->error->pdf());
    EXPECT_EQ(back->error->pdf()->refusal, pdf::Refusal::UnsupportedCompression);
    EXPECT_EQ(back->error->pdf()->page, 3);
    EXPECT_EQ(back->error->pdf()->object, 17);
    EXPECT_EQ(back->error->pdf()->detail, "JBIG2Decode");
}

TEST(WorkerReply, RefusesWhatNoWorkerOfOursSends)
{
    FileOutcome noDecoder;
    noDecoder.error = ImageFileError(Kind::NoDecoder, 0);
    noDecoder.error->setFormat("WebP");
    const std::vector<std::uint8_t> sound = encodeReply(noDecoder);
    ReplyHeader base;
    std::memcpy(&base, sound.data(), sizeof base);
    const std::span<const std::uint8_t> payload = std::span(sound).subspan(sizeof base);
    ASSERT_TRUE(decodeReply(base, payload));

    struct Case {
        const char* name;
        void (*spoil)(ReplyHeader&);
    };
    const Case cases[] = {
        {"another magic", [](ReplyHeader& h) { h.magic ^= 1; }},
        {"a kind past the last", [](ReplyHeader& h) { h.outcome = 2 + static_cast<std::uint32_t>(ImageFileError::lastKind); }},
        {"the caller's own not found", [](ReplyHeader& h) { h.outcome = 1 + static_cast<std::uint32_t>(Kind::NotFound); }},
        {"the caller's own wall clock", [](ReplyHeader& h) { h.outcome = 1 + static_cast<std::uint32_t>(Kind::TimedOut); }},
        {"a length past the cap", [](ReplyHeader& h) { h.lengths[3] = maxReplyText + 1; }},
        {"lengths that disagree with the payload", [](ReplyHeader& h) { h.lengths[3] += 1; }},
        {"a PDF refusal past the last", [](ReplyHeader& h) {
             h.outcome = 1 + static_cast<std::uint32_t>(Kind::Refused);
             h.flags = replyFlag::pdf;
             h.refusal = 99;
         }},
        {"a refusal that is not a PDF's", [](ReplyHeader& h) { h.outcome = 1 + static_cast<std::uint32_t>(Kind::Refused); }},
        {"a read that failed as a bad image", [](ReplyHeader& h) {
             h.outcome = 0;
             h.failure = static_cast<std::uint32_t>(aztec::ReadFailure::BadImage);
         }},
        {"unknown flags", [](ReplyHeader& h) { h.flags = 0x100; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReplyHeader header = base;
        c.spoil(header);
        EXPECT_FALSE(decodeReply(header, payload));
    }
}

}  // namespace
}  // namespace varnok::worker
