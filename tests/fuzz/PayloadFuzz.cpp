// Fuzzes the decode from payload to XML answer. The first input byte picks the entry: the whole path from the
// scanner's text (Base64 first), or the bytes after Base64, where a mutated byte reaches the decompressor.
// Besides sanitizer reports, it checks that every answer is a complete document with an error code.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Payload.h"
#include "PayloadEncoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::u16string xml =
        data[0] & 1 ? varnok::decoder::payloadToXml(text, varnok::generator::fromBase64)
                    : varnok::decoder::decodedBytesToXml({data + 1, size - 1});
    if (!xml.ends_with(u"</Dane>\r\n") || xml.find(u"<Error>") == std::u16string::npos)
        std::abort();
    return 0;
}
