#pragma once
// The MSXML 3 DOM as the server uses it: a DOMDocument30 and its nodes, each owned through ComPtr.

#include <windows.h>
#include <msxml2.h>

#include <string>
#include <string_view>

#include "fields/FieldReader.h"
#include "ComPtr.h"

namespace varnok {

// An element of a loaded document; keeps its owner document alive. Empty when no element was selected.
class XmlNode : public fields::ElementSource {
public:
    XmlNode() = default;
    explicit XmlNode(ComPtr<IXMLDOMNode> node) : node_(std::move(node)) {}

    explicit operator bool() const noexcept { return static_cast<bool>(node_); }

    // The first child element named exactly `name`, or an empty node.
    XmlNode selectChild(std::u16string_view name) const;
    // The character data of the node and all its descendants, as the DOM defines `text`.
    std::u16string text() const;

    std::u16string childText(std::u16string_view name) const override;

private:
    ComPtr<IXMLDOMNode> node_;
};

// Deeper than any data document; deep enough to refuse a file nested to exhaust the parser.
constexpr long maxElementDepth = 256;

class XmlDocument {
public:
    XmlDocument() = default;

    // A new, empty DOMDocument30 that loads synchronously, never fetches external entities or DTDs, refuses
    // DTDs altogether and limits the depth of elements.
    static XmlDocument create();

    explicit operator bool() const noexcept { return static_cast<bool>(doc_); }

    void loadXml(std::u16string_view text) const;
    // Parses the file at exactly this path: it is opened here (others may read and write it meanwhile) and its
    // bytes handed over, so that the path is never taken for a URL. False when the file cannot be opened or its
    // bytes are not a well-formed document.
    bool loadFile(std::u16string_view path) const;
    long parseErrorCode() const;
    // The root element if it is named exactly `name`, otherwise an empty node.
    XmlNode selectRoot(std::u16string_view name) const;

    // What create() sets, read back from the document.
    bool loadsSynchronously() const;
    Variant property(std::u16string_view name) const;

private:
    explicit XmlDocument(ComPtr<IXMLDOMDocument2> doc) : doc_(std::move(doc)) {}

    ComPtr<IXMLDOMDocument2> doc_;
};

}  // namespace varnok
