#include "XmlDom.h"

#include <shlwapi.h>

#include <vector>

#include "ComError.h"
#include "Handle.h"

namespace varnok {

namespace {

// Declared in msxml2.h but not defined by mingw-w64's libuuid.
const CLSID clsidDomDocument30 = {0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
const IID iidXmlDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

ComPtr<IXMLDOMNode> selectSingleNode(IXMLDOMNode* context, std::u16string_view query)
{
    Bstr q(query);
    ComPtr<IXMLDOMNode> found;
    check(context->selectSingleNode(q.get(), found.put()));
    return found;
}

bool setOptionalProperty(IXMLDOMDocument2* doc, std::u16string_view name, const Variant& value)
{
    Bstr text(name);
    return SUCCEEDED(doc->setProperty(text.get(), value.value()));
}

}  // namespace

XmlNode XmlNode::selectChild(std::u16string_view name) const
{
    if (!node_)
        throw Failure::objectNotSet();
    return XmlNode(selectSingleNode(node_.get(), name));
}

std::u16string XmlNode::text() const
{
    if (!node_)
        throw Failure::objectNotSet();
    Bstr value;
    check(node_->get_text(value.put()));
    return value.text();
}

std::u16string XmlNode::childText(std::u16string_view name) const
{
    if (!node_)
        throw Failure::objectNotSet();
    if (!found_)
        found_ = std::make_shared<Found>();
    auto at = found_->find(name);
    if (at == found_->end())
        at = found_->emplace(std::u16string(name), selectSingleNode(node_.get(), name)).first;
    return XmlNode(ComPtr<IXMLDOMNode>::copy(at->second.get())).text();
}

XmlDocument XmlDocument::create()
{
    ComPtr<IXMLDOMDocument2> doc;
    check(::CoCreateInstance(clsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER, iidXmlDomDocument2, doc.putVoid()));
    // Asynchronous is MSXML's default: load would return before the document is there.
    check(doc->put_async(VARIANT_FALSE));
    // MSXML 3 resolves external entities and DTDs by default: a data file could make the server read any file
    // or URL it names. Certificates need neither.
    check(doc->put_resolveExternals(VARIANT_FALSE));
    // No DTD means no entity expansion to exhaust memory. Both properties arrived in service packs of MSXML 3: an
    // older one refuses the name (Wine's does); a DOCTYPE is refused after every parse all the same.
    setOptionalProperty(doc.get(), u"ProhibitDTD", Variant(true));
    setOptionalProperty(doc.get(), u"MaxElementDepth", Variant(maxElementDepth));
    return XmlDocument(std::move(doc));
}

bool XmlDocument::declaresDtd() const
{
    ComPtr<IXMLDOMDocumentType> type;
    check(doc_->get_doctype(type.put()));
    return static_cast<bool>(type);
}

// Leaves the document as a DOM that prohibits DTDs leaves one with a DOCTYPE: without content, a parse error set.
// Nothing of the DTD's entities is ever expanded, since nothing reads the document before this.
void XmlDocument::refuseContent() const
{
    Bstr empty(u"");
    VARIANT_BOOL loaded = VARIANT_FALSE;
    check(doc_->loadXML(empty.get(), &loaded));
}

void XmlDocument::loadXml(std::u16string_view text) const
{
    Bstr xml(text);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    check(doc_->loadXML(xml.get(), &loaded));
    // Whatever the DOM promised about DTDs, its answer is checked: a version that takes ProhibitDTD and ignores it
    // must not pass entities through.
    if (loaded == VARIANT_TRUE && declaresDtd())
        refuseContent();
}

FileLoad XmlDocument::loadFile(std::u16string_view path) const
{
    // The bytes are read here, at most one past the limit, and the DOM parses those: a file that grows after it
    // was measured can neither pass the limit nor keep the caller waiting for what is appended.
    const std::wstring name(wideView(path));
    const Handle file(::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return FileLoad::Unreadable;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(maxDataFileBytes) + 1);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr))
            return FileLoad::Unreadable;
        if (got == 0)
            break;
        done += got;
    }
    if (done > maxDataFileBytes)
        return FileLoad::TooLarge;
    const auto stream = ComPtr<IStream>::attach(::SHCreateMemStream(bytes.data(), static_cast<UINT>(done)));
    if (!stream)
        check(E_OUTOFMEMORY);
    Variant source{ComPtr<IUnknown>::copy(stream.get())};
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT hr = doc_->load(*source.get(), &loaded);
    // Unreadable bytes are a parse failure; some parsers say so through the HRESULT (Wine's, for an empty stream).
    if (hr == E_OUTOFMEMORY)
        check(hr);
    if (FAILED(hr) || loaded != VARIANT_TRUE)
        return FileLoad::Unreadable;
    if (declaresDtd()) {
        refuseContent();
        return FileLoad::Unreadable;
    }
    return FileLoad::Loaded;
}

bool XmlDocument::loadsSynchronously() const
{
    VARIANT_BOOL async = VARIANT_TRUE;
    check(doc_->get_async(&async));
    return async == VARIANT_FALSE;
}

Variant XmlDocument::property(std::u16string_view name) const
{
    Bstr text(name);
    Variant value;
    check(doc_->getProperty(text.get(), value.put()));
    return value;
}

long XmlDocument::parseErrorCode() const
{
    ComPtr<IXMLDOMParseError> error;
    check(doc_->get_parseError(error.put()));
    long code = 0;
    check(error->get_errorCode(&code));
    return code;
}

XmlNode XmlDocument::selectRoot(std::u16string_view name) const
{
    std::u16string query = u"/";
    query += name;
    return XmlNode(selectSingleNode(doc_.get(), query));
}

}  // namespace varnok
