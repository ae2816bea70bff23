// Fuzzes what is read of an image file before any decoder sees it: its declared size and format, the structure
// checks, and our own RLE decoding (within a small pixel limit). Seeded with small bitmaps, GIFs, JPEGs and TIFFs;
// run as 32-bit code too, where an offset the file gives plus a length wraps.
// Besides sanitizer reports, it checks that the check and the decoder agree: a bitmap the decoder reads has no
// runs the check refuses.

#include <cstdint>
#include <cstdlib>

#include "imaging/BmpRle.h"
#include "imaging/ImageHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> file(data, size);
    const auto declared = varnok::declaredSize(file);
    varnok::formatName(file);
    const varnok::Structure structure = varnok::checkStructure(file);
    if (structure.decodeBytes > size)
        std::abort();
    if (declared && declared->width * declared->height <= 1'000'000) {
        const auto decoded = varnok::decodeRleBitmap(file);
        if (decoded && structure.verdict == varnok::Structure::Verdict::BadRle)
            std::abort();
    }
    return 0;
}
