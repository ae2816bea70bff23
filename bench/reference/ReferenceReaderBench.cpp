// The reference reader alone, on the same PGM files and with the same output as aztec-reader-bench: built by
// scripts/reader-bench.sh's companion scripts/reference-reader.sh against a zxing-cpp checkout fetched and built
// by hand, never by our build. Its options are the library's defaults (try harder, rotated, inverted and
// downscaled), as its command-line reader uses them, with the formats narrowed to Aztec.
//   reference-reader-bench <repeats> <image.pgm>...

#include "ReadBarcode.h"
#include "ReaderBenchSupport.h"

int main(int argc, char** argv)
{
    ZXing::ReaderOptions options;
    options.setFormats(ZXing::BarcodeFormat::Aztec);
    return varnok::bench::runBench("reference-reader-bench", argc, argv, [&](const varnok::bench::Gray& gray) {
        const ZXing::ImageView view(gray.pixels.data(), gray.width, gray.height, ZXing::ImageFormat::Lum);
        const ZXing::Barcodes found = ZXing::ReadBarcodes(view, options);
        return found.empty() ? std::pair{false, std::string("no symbol")}
                             : std::pair{true, varnok::bench::hex(found.front().bytes())};
    });
}
