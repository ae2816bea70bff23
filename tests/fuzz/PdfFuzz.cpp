// The PDF reader on arbitrary bytes: listing, then every image's pixels (a small pixel limit and a tenth of a
// file's budget keep each run short, and reach the budget's end often). A first byte of 0xFA feeds the rest to the fax decoder alone, in each of its three modes.

#include <cstddef>
#include <cstdint>

#include "pdf/Fax.h"
#include "pdf/Reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace varnok::pdf;
    if (size > 0 && data[0] == 0xFA) {
        for (const int k : {-1, 0, 1}) {
            FaxParams params;
            params.k = k;
            params.columns = size > 1 ? 1 + data[1] * 4 : 1;
            try {
                decodeFax(Bytes(data + 1, size - 1), params, 512);
            } catch (const Fault&) {
            }
        }
        return 0;
    }
    Reader reader(Bytes(data, size), fileWork / 10);
    const Listing listing = reader.list();
    for (const ImageInfo& image : listing.images)
        reader.pixels(image, 4'000'000);
    return 0;
}
