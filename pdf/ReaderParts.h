#pragma once
// The reader's stages behind pdf::Reader, one file each: the page tree (PageTree.cpp), the images the contents draw
// (Content.cpp), colour models (Colour.cpp), and samples as gray pixels (Pixels.cpp).

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Document.h"

namespace varnok::pdf {

struct Page {
    const Dict* dict = nullptr;
    const Dict* resources = nullptr;
};

// The page tree in document order, each node visited once by identity; what cannot be walked goes to `skipped`.
// Throws Fault for a tree that cannot be walked at all, or WorkSpent.
std::vector<Page> pagesOf(Document& document, std::vector<Fault>& skipped);

// The linear part of a placement (the current transformation matrix without its translation): the unit square of
// an image's space goes to the parallelogram spanned by (a, b) along its rows and (c, d) down its columns.
struct Placement {
    double a = 1, b = 0, c = 0, d = 1;

    // This placement applied within `outer` ("cm" concatenates on the left).
    Placement within(const Placement& outer) const
    {
        return {a * outer.a + b * outer.c, a * outer.b + b * outer.d, c * outer.a + d * outer.c,
                c * outer.b + d * outer.d};
    }
};

// An image as first drawn: its object and where the page put it.
struct DrawnImage {
    int number = 0;
    Placement placement;
};

// Images drawn by the pages' content streams ("Do" on an image XObject), also through form XObjects. One scanner
// serves all pages: they often share their contents and resources, which are scanned once for each pairing, and an
// image drawn again is listed only where first drawn.
class ContentScanner {
public:
    explicit ContentScanner(Document& document) : document_(document) {}

    // The page's images, in the order drawn, that no earlier page drew. Throws Fault or WorkSpent.
    void scanPage(const Page& page);
    const std::vector<DrawnImage>& found() const { return found_; }
    int inlineImages() const { return inlineImages_; }

private:
    void scan(Bytes content, const Dict* resources, int depth, const Placement& placed);
    void draw(const std::string& name, const Dict* resources, int depth, const Placement& placed);
    const Object* xobject(const Dict& resources, const std::string& name);
    SharedBytes contentOf(const Object& contents, const Object& resolved);

    Document& document_;
    std::vector<DrawnImage> found_;
    std::set<int> listed_;
    // Contents (by the address of the resolved object) and forms (by number) with the resources they were scanned
    // with: drawn again, they draw nothing new.
    std::set<std::pair<const void*, const Dict*>> scanned_;
    std::set<std::pair<int, const Dict*>> forms_;
    std::map<const Dict*, std::unordered_map<std::string, const Object*>> names_;
    int draws_ = 0;
    int inlineImages_ = 0;
};

// How sample values become gray: the colour family, its components, and an index's palette.
struct ColourModel {
    enum class Family { Gray, Rgb, Cmyk, Separation };
    Family family = Family::Gray;
    int components = 1;
    bool indexed = false;
    int highest = 0;  // the largest palette index
    std::vector<std::uint8_t> palette;
};

ColourModel colourModel(Document& document, const Object& given, int number, bool allowIndexed);
std::uint8_t grayOf(ColourModel::Family family, const std::uint8_t* v);

// The samples of a `width` x `height` image as gray, rows the data does not reach as white paper. Throws Fault
// (a bad /Decode).
std::vector<std::uint8_t> toGray(const std::vector<std::uint8_t>& samples, long long width, long long height,
                                 int bits, const ColourModel& model, const Object* decode, int number);

}  // namespace varnok::pdf
