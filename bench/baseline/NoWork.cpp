// The baseline server's members: the same object, dispatch and error plumbing as VarnokSrv, with loading and
// field reading replaced by nothing, so that measuring both isolates the cost of our own work.

#include "fields/FieldReader.h"
#include "loading/CodetData.h"
#include "loading/DataFile.h"
#include "server/ClassFactory.h"
#include "server/FileReader.h"
#include "server/Identity.h"
#include "server/ServedClasses.h"

namespace varnok {

// Selects the root of a one-element document once, so that property reads reach the field reader.
std::u16string ReadData(ReaderState& state, std::u16string_view)
{
    if (!state.DataRoot) {
        state.DataDocument = XmlDocument::create();
        state.DataDocument.loadXml(u"<dane/>");
        state.DataRoot = state.DataDocument.selectRoot(u"dane");
    }
    return u"OK";
}

std::u16string ReadCodetData(ReaderState&, std::u16string_view, std::u16string_view,
                             const std::function<std::u16string()>&)
{
    return u"OK";
}

void CloseData(ReaderState&) noexcept {}

// The FileReader alone, under the baseline's identifiers.
std::span<const ServedClass> servedClasses()
{
    static const ServedClass classes[] = {
        {&CLSID_FileReader, &IID__FileReader, identity::progId, identity::clsidText, identity::iidText,
         identity::libidText, L"_FileReader", L"VarnokSrv", 1, &createObject<FileReader>, false},
    };
    return classes;
}

namespace fields {

std::u16string readField(Field, const ElementSource&, const NumberLocale&) { return u"WA 12345"; }

}  // namespace fields

}  // namespace varnok
