#include "HostileFiles.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>

#include "PdfBuilder.h"

namespace varnok::test {

namespace {

// `pages` pages under one node, each from `page(i)`, the page's dictionary keys; returns the file with its trailer.
std::string pagesOf(PdfBuilder& pdf, int pages, const std::function<std::string(int)>& page,
                    const std::string& trailerKeys = "")
{
    const int catalogue = pdf.reserve();
    const int root = pdf.reserve();
    std::string kids;
    kids.reserve(std::size_t(pages) * 12);
    for (int i = 0; i < pages; ++i)
        kids += ref(pdf.object("<< /Type /Page /Parent " + ref(root) + " /MediaBox [0 0 200 200] " + page(i) +
                               " >>")) +
                " ";
    pdf.object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>", root);
    pdf.object("<< /Type /Catalog /Pages " + ref(root) + " >>", catalogue);
    pdf.section("/Root " + ref(catalogue) + trailerKeys);
    return pdf.text();
}

// Arrays of two direct nodes, both pointing to the next level's array: 2^40 paths to one page.
std::string sharedArrays()
{
    PdfBuilder pdf;
    constexpr int depth = 40;
    const int catalogue = pdf.reserve();
    const int root = pdf.reserve();
    const int first = pdf.reserve();
    for (int level = 0; level < depth; ++level)
        pdf.reserve();
    const int page = pdf.object("<< /Type /Page /Parent " + ref(root) + " /MediaBox [0 0 200 200] /Contents " +
                                ref(pdf.stream("", "0 0 m 10 10 l S")) + " >>");
    for (int level = 0; level < depth; ++level) {
        const std::string node = "<< /Type /Pages /Kids " + ref(first + level + 1) + " /Count 1 >>";
        pdf.object("[" + node + " " + node + "]", first + level);
    }
    pdf.object("[" + ref(page) + "]", first + depth);
    pdf.object("<< /Type /Pages /Kids " + ref(first) + " /Count 1 >>", root);
    pdf.object("<< /Type /Catalog /Pages " + ref(root) + " >>", catalogue);
    pdf.section("/Root " + ref(catalogue));
    return pdf.text();
}

// One content stream of 64 MB of blanks behind two Flate filters, drawn by every page.
std::string doubleFlate()
{
    PdfBuilder pdf;
    const int content = pdf.stream("/Filter [/FlateDecode /FlateDecode]", deflate(deflate(std::string(64u << 20, ' '))));
    return pagesOf(pdf, 64, [&](int) { return "/Contents " + ref(content); });
}

// Ends a file of direct objects (their numbers and offsets) with a cross-reference stream of `size` entries: type 1
// for the direct objects, type 2 in object stream `holder` for the numbers from `firstCompressed` on, free for the
// others.
std::string withXrefStream(std::string text, std::vector<std::pair<int, std::size_t>> direct, int holder,
                           int firstCompressed, int size)
{
    const int xref = 3;
    const std::size_t xrefOffset = text.size();
    direct.emplace_back(xref, xrefOffset);
    std::string entries;
    const auto entry = [&](int type, std::uint32_t field, std::uint16_t index) {
        entries += static_cast<char>(type);
        for (int shift = 24; shift >= 0; shift -= 8)
            entries += static_cast<char>(field >> shift);
        entries += static_cast<char>(index >> 8);
        entries += static_cast<char>(index);
    };
    for (int number = 0; number < size; ++number) {
        std::size_t offset = 0;
        for (const auto& [n, at] : direct)
            if (n == number)
                offset = at;
        if (number >= firstCompressed)
            entry(2, static_cast<std::uint32_t>(holder), static_cast<std::uint16_t>(number - firstCompressed));
        else if (offset)
            entry(1, static_cast<std::uint32_t>(offset), 0);
        else
            entry(0, 0, 0);
    }
    text += std::to_string(xref) + " 0 obj\n<< /Type /XRef /W [1 4 2] /Size " + std::to_string(size) +
            " /Root 1 0 R /Length " + std::to_string(entries.size()) + " >>\nstream\n" + entries +
            "\nendstream\nendobj\nstartxref\n" + std::to_string(xrefOffset) + "\n%%EOF\n";
    return text;
}

// A catalogue (1), a page tree node (2) whose /Kids are `kids`, and object stream 10 holding `objects` objects
// (numbered from 11) under `header`, which the stream's data follows: the file with its cross-reference stream.
std::string inObjectStream(const std::string& kids, int objects, const std::string& header, const std::string& data)
{
    std::string text = "%PDF-1.5\n";
    std::vector<std::pair<int, std::size_t>> direct;
    const auto add = [&](int number, const std::string& body) {
        direct.emplace_back(number, text.size());
        text += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    };
    add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    add(2, "<< /Type /Pages /Kids " + kids + " /Count " + std::to_string(objects) + " >>");
    const std::string packed = deflate(header + data);
    add(10, "<< /Type /ObjStm /N " + std::to_string(objects) + " /First " + std::to_string(header.size()) +
                " /Filter /FlateDecode /Length " + std::to_string(packed.size()) + " >>\nstream\n" + packed +
                "\nendstream");
    return withXrefStream(std::move(text), std::move(direct), 10, 11, 11 + objects);
}

// Pages kept in an object stream that inflates to 64 MB and then fails its header check.
std::string failingObjectStream()
{
    constexpr int objects = 80;
    std::string text = "%PDF-1.5\n";
    std::vector<std::pair<int, std::size_t>> direct;
    const auto add = [&](int number, const std::string& body) {
        direct.emplace_back(number, text.size());
        text += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    };
    add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int i = 0; i < objects; ++i)
        kids += ref(11 + i) + " ";
    add(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(objects) + " >>");
    const std::string bomb = deflate(std::string(64u << 20, '\0'));
    add(10, "<< /Type /ObjStm /N " + std::to_string(objects) + " /First 999999999 /Filter /FlateDecode /Length " +
                std::to_string(bomb.size()) + " >>\nstream\n" + bomb + "\nendstream");
    return withXrefStream(std::move(text), std::move(direct), 10, 11, 11 + objects);
}

// Pages said to be in an object stream of 60 MB of blanks whose header puts every object at its start: an object
// parsed to wherever it ends costs a pass over all of them.
std::string objectsAtOffsetZero(int objects)
{
    std::string kids, header;
    for (int i = 0; i < objects; ++i) {
        kids += ref(11 + i) + " ";
        header += std::to_string(11 + i) + " 0 ";
    }
    return inObjectStream("[" + kids + "]", objects, header, std::string(60u << 20, ' '));
}

// A cross-reference stream of 60 million one-byte entries (all free) and nothing else.
std::string xrefStreamEntries()
{
    constexpr std::size_t entries = 60'000'000;
    const std::string packed = deflate(std::string(entries, '\0'));
    std::string text = "%PDF-1.5\n";
    const std::size_t offset = text.size();
    text += "1 0 obj\n<< /Type /XRef /W [1 0 0] /Size " + std::to_string(entries) +
            " /Root 2 0 R /Filter /FlateDecode /Length " + std::to_string(packed.size()) + " >>\nstream\n" + packed +
            "\nendstream\nendobj\nstartxref\n" + std::to_string(offset) + "\n%%EOF\n";
    return text;
}

// The page tree's /Kids as one object in an object stream: an array of 30 arrays of a million empty arrays.
std::string emptyArrays()
{
    std::string million;
    million.reserve(2'000'002);
    million += '[';
    for (int i = 0; i < 1'000'000; ++i)
        million += "[]";
    million += ']';
    std::string kids = "[";
    kids.reserve(30 * million.size() + 2);
    for (int i = 0; i < 30; ++i)
        kids += million;
    kids += ']';
    return inObjectStream(ref(11), 1, "11 0 ", kids);
}

// Three million direct objects, each "N 0 obj null endobj", with no cross-reference table to find them by.
std::string millionsOfObjects()
{
    std::string text = "%PDF-1.4\n";
    text.reserve(80u << 20);
    for (int i = 1; i <= 3'000'000; ++i)
        text += std::to_string(i) + " 0 obj null endobj\n";
    return text + "%%EOF\n";
}

// A million references to one empty stream, as the contents of every page.
std::string millionParts()
{
    PdfBuilder pdf;
    const std::string empty = ref(pdf.stream("", "")) + " ";
    std::string parts;
    parts.reserve(empty.size() * 1'000'000 + 2);
    for (int i = 0; i < 1'000'000; ++i)
        parts += empty;
    const int contents = pdf.object("[" + parts + "]");
    return pagesOf(pdf, 100, [&](int) { return "/Contents " + ref(contents); });
}

// A tiny stream whose PNG predictor claims rows of 64 MB, as the contents of every page.
std::string predictorRows()
{
    PdfBuilder pdf;
    const int content = pdf.stream("/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 8388608 /Colors 4 "
                                   "/BitsPerComponent 16 >>",
                                   deflate("q Q"));
    return pagesOf(pdf, 1000, [&](int) { return "/Contents " + ref(content); });
}

std::string manyTrailerKeys()
{
    PdfBuilder pdf;
    const int content = pdf.stream("", "0 0 m 10 10 l S");
    std::string keys;
    for (int i = 0; i < 80000; ++i)
        keys += " /K" + std::to_string(i) + " " + std::to_string(i);
    return pagesOf(pdf, 1, [&](int) { return "/Contents " + ref(content); }, keys);
}

// 200 x 200 pixels, 1 bit: modules of 4 pixels at random, and bull's-eyes (rings only) at random places.
std::string noiseImage(std::uint32_t seed)
{
    constexpr int side = 200, module = 4, modules = side / module;
    std::uint32_t state = seed * 2654435761u + 1;
    const auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    bool dark[modules][modules];
    for (auto& row : dark)
        for (bool& m : row)
            m = next() % 2;
    for (int eye = 0; eye < 3; ++eye) {
        const int cx = 6 + static_cast<int>(next() % (modules - 12)), cy = 6 + static_cast<int>(next() % (modules - 12));
        for (int y = -5; y <= 5; ++y)
            for (int x = -5; x <= 5; ++x) {
                const int ring = std::max(std::abs(x), std::abs(y));
                dark[cy + y][cx + x] = ring < 5 && ring % 2 == 0;
            }
    }
    std::string packed(std::size_t(side / 8) * side, '\0');
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            if (!dark[y / module][x / module])
                packed[std::size_t(y) * (side / 8) + x / 8] |= static_cast<char>(0x80 >> (x % 8));
    return packed;
}

std::string thousandImages()
{
    PdfBuilder pdf;
    const int content = pdf.stream("", "q 200 0 0 200 0 0 cm /I Do Q");
    std::vector<int> images;
    for (int i = 0; i < 1000; ++i)
        images.push_back(pdf.stream("/Type /XObject /Subtype /Image /Width 200 /Height 200 /ColorSpace /DeviceGray "
                                    "/BitsPerComponent 1 /Filter /FlateDecode",
                                    deflate(noiseImage(static_cast<std::uint32_t>(i)))));
    return pagesOf(pdf, 1000, [&](int i) {
        return "/Contents " + ref(content) + " /Resources << /XObject << /I " + ref(images[std::size_t(i)]) + " >> >>";
    });
}

// The headers of a progressive JPEG of `width` x `height` pixels in 16 scans, with no picture data in them: decoding
// it is 16 passes over all its pixels for a decoder that tries.
std::string progressiveJpegHeaders(int width, int height)
{
    std::string j = "\xFF\xD8\xFF\xC2";
    j += std::string("\x00\x0B\x08", 3);
    j += static_cast<char>(height >> 8);
    j += static_cast<char>(height & 0xFF);
    j += static_cast<char>(width >> 8);
    j += static_cast<char>(width & 0xFF);
    j += std::string("\x01\x01\x11\x00", 4);
    for (int scan = 0; scan < 16; ++scan)
        j += std::string("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\x12\x34", 12);
    return j + "\xFF\xD9";
}

}  // namespace

// `pages` pages, each a JPEG of width x height that its PDF says is one pixel.
std::string jpegsLargerThanDeclared(int pages, int width, int height)
{
    PdfBuilder pdf;
    const int content = pdf.stream("", "q 200 0 0 200 0 0 cm /I Do Q");
    const int image = pdf.stream("/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray "
                                 "/BitsPerComponent 8 /Filter /DCTDecode",
                                 progressiveJpegHeaders(width, height));
    return pagesOf(pdf, pages, [&](int) {
        return "/Contents " + ref(content) + " /Resources << /XObject << /I " + ref(image) + " >> >>";
    });
}

// `pages` pages, each with a content stream whose /Length points at the "(" of one literal string that is never
// closed: `stringBytes` bytes, running to the end of the file.
std::string lengthsIntoAString(int pages, std::size_t stringBytes)
{
    PdfBuilder pdf;
    constexpr std::size_t digits = 10;  // room for any length, leading zeros filled in later
    std::vector<int> contents;
    std::vector<std::size_t> lengthAt, dataAt;
    for (int i = 0; i < pages; ++i) {
        const std::size_t object = pdf.text().size();
        contents.push_back(pdf.object("<< /Length " + std::string(digits, '0') + " >>\nstream\nq Q\nendstream"));
        lengthAt.push_back(pdf.text().find("/Length ", object) + 8);
        dataAt.push_back(pdf.text().find("stream\n", object) + 7);
    }
    const std::size_t stringAt = pdf.text().size();
    pdf.text() += "(" + std::string(stringBytes, 'a') + "\n";
    for (std::size_t i = 0; i < contents.size(); ++i) {
        const std::string length = std::to_string(stringAt - dataAt[i]);
        pdf.text().replace(lengthAt[i], digits, std::string(digits - length.size(), '0') + length);
    }
    return pagesOf(pdf, pages, [&](int i) { return "/Contents " + ref(contents[std::size_t(i)]); });
}

const std::vector<HostileFile>& hostileFiles()
{
    static const std::vector<HostileFile> files = {
        {"shared-arrays", "a page tree of direct nodes in shared arrays, 2^40 paths", sharedArrays, "fault pages"},
        {"double-flate", "64 pages sharing a content stream that inflates twice to 64 MB", doubleFlate, "no image"},
        {"failing-object-stream", "80 pages in an object stream that inflates to 64 MB and fails its header",
         failingObjectStream, "fault objects"},
        {"million-parts", "100 pages sharing contents of a million references", millionParts, "no image"},
        {"predictor-rows", "1,000 pages sharing a stream whose predictor claims rows of 64 MB", predictorRows,
         "no image"},
        {"trailer-keys", "a trailer of 80,000 keys", manyTrailerKeys, "no image"},
        {"noise-images", "1,000 pages, each an image of bull's-eyes in module noise", thousandImages, "work limit"},
        {"offset-zero-500", "500 pages in an object stream of 60 MB of blanks, each said to be at its start",
         [] { return objectsAtOffsetZero(500); }, "fault objects"},
        {"offset-zero-5000", "5,000 pages in an object stream of 60 MB of blanks, each said to be at its start",
         [] { return objectsAtOffsetZero(5000); }, "fault objects"},
        {"xref-stream-entries", "a cross-reference stream of 60 million one-byte entries", xrefStreamEntries,
         "fault xref"},
        {"empty-arrays", "a page tree's kids of 30 million empty arrays in an object stream", emptyArrays, "work limit"},
        {"millions-of-objects", "3 million objects \"N 0 obj null endobj\" without a table", millionsOfObjects,
         "work limit"},
        {"jpegs-larger-than-declared", "200 pages, each a JPEG said to be 1 x 1 but 10000 x 12000 in 16 scans",
         [] { return jpegsLargerThanDeclared(200, 10000, 12000); }, "work limit"},
        {"lengths-into-a-string", "400 pages whose content streams' /Length all point into one unclosed 100 MB string",
         [] { return lengthsIntoAString(400, 100u << 20); }, "no image"},
    };
    return files;
}

}  // namespace varnok::test
