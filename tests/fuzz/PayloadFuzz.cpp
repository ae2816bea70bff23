// Fuzzes the decode from payload to XML answer. The first input byte picks the entry: the whole path from the
// scanner's text (Base64 first; with bit 1 set, through the retypings of Caps Lock and the keyboard layouts, the
// text taken as Windows-1250; with bit 2 set, the wide entry, the bytes taken as UTF-16LE), or the bytes after
// Base64, where a mutated byte reaches the decompressor.
// Besides sanitizer reports, it checks that every answer is a complete document with an error code.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Payload.h"
#include "PayloadEncoder.h"

namespace {

// Windows-1250's letters for the layouts' accented characters; other bytes map to themselves, as in Latin-1.
std::u16string windows1250(std::string_view bytes)
{
    static const std::u16string_view high = u"€\u0081‚\u0083„…†‡\u0088‰Š‹ŚŤŽŹ\u0090‘’“”•–—\u0098™š›śťžź\u00A0ˇ˘Ł¤Ą¦§¨©Ş«¬\u00AD®Ż°±˛ł´µ¶·¸ąş»Ľ˝ľż"
                                            u"ŔÁÂĂÄĹĆÇČÉĘËĚÍÎĎĐŃŇÓÔŐÖ×ŘŮÚŰÜÝŢßŕáâăäĺćçčéęëěíîďđńňóôőö÷řůúűüýţ˙";
    std::u16string text;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        text += u < 0x80 ? char16_t(u) : high[u - 0x80];
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::u16string wide;
    for (std::size_t i = 1; i + 1 < size; i += 2)
        wide += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    const std::u16string xml =
        !(data[0] & 1) ? varnok::decoder::decodedBytesToXml({data + 1, size - 1})
        : data[0] & 4  ? varnok::decoder::payloadToXml(std::u16string_view(wide), varnok::generator::fromBase64)
                       : varnok::decoder::payloadToXml(text, varnok::generator::fromBase64,
                                                      data[0] & 2 ? windows1250 : nullptr);
    if (!xml.ends_with(u"</Dane>\r\n") || xml.find(u"<Error>") == std::u16string::npos)
        std::abort();
    return 0;
}
