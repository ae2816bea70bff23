// Fuzzes the text handling that takes data from outside: NormalizeNumber (Polish and American settings), the
// seven renamings and the result-file names. Besides sanitizer reports it checks each one's promise.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fields/FieldReader.h"
#include "loading/CodetText.h"
#include "tests/unit/FakeLocale.h"

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text += static_cast<char16_t>(data[i] | data[i + 1] << 8);

    for (const auto& locale : {varnok::test::FakeLocale::polish(), varnok::test::FakeLocale::american()}) {
        const std::u16string number = varnok::fields::NormalizeNumber(text, locale);
        // Either the longest numeric beginning with its first comma written as ".", or "0".
        require(number == u"0" || number.size() <= text.size());
    }

    std::u16string renamed = text;
    varnok::applyRenamings(renamed);
    require(renamed.size() == text.size());
    for (const auto& renaming : varnok::renamings())
        require(renamed.find(renaming.from) == std::u16string::npos);

    const std::u16string part = varnok::fileNamePart(text);
    require(part.size() == text.size());
    for (char16_t c : part)
        require(c >= 0x20 && c != 0x7F && std::u16string_view(u" \\/:*?\"<>|").find(c) == std::u16string_view::npos);
    const std::u16string path = varnok::savedCopyPath(u"C:\\wyniki", text, text);
    require(path.starts_with(u"C:\\wyniki\\") && path.find(u'\\', 10) == std::u16string::npos);
    return 0;
}
