#include "XmlDom.h"

#include "ComError.h"

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
    return selectChild(name).text();
}

XmlDocument XmlDocument::create()
{
    ComPtr<IXMLDOMDocument2> doc;
    check(::CoCreateInstance(clsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER, iidXmlDomDocument2, doc.putVoid()));
    // MSXML 3 resolves external entities and DTDs by default: a data file could make the server read any file
    // or URL it names. Certificates need neither.
    check(doc->put_resolveExternals(VARIANT_FALSE));
    return XmlDocument(std::move(doc));
}

void XmlDocument::loadXml(std::u16string_view text) const
{
    Bstr xml(text);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    check(doc_->loadXML(xml.get(), &loaded));
}

void XmlDocument::load(std::u16string_view path) const
{
    Variant source{Bstr(path)};
    VARIANT_BOOL loaded = VARIANT_FALSE;
    check(doc_->load(*source.get(), &loaded));
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
