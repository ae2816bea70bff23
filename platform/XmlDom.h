#pragma once
// The MSXML 3 DOM as the server uses it: a DOMDocument30 and its nodes, each owned through ComPtr.

#include <windows.h>
#include <msxml2.h>

#include <map>
#include <memory>
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

    // The text of selectChild(name); each name is looked up once per node, since nothing changes a loaded
    // document, and read afresh every time.
    std::u16string childText(std::u16string_view name) const override;
    // Drops what the look-ups found; the next read looks up again.
    void forgetLookups() noexcept { found_.reset(); }

private:
    using Found = std::map<std::u16string, ComPtr<IXMLDOMNode>, std::less<>>;

    ComPtr<IXMLDOMNode> node_;
    mutable std::shared_ptr<Found> found_;
};

// Deeper than any data document; deep enough to refuse a file nested to exhaust the parser.
constexpr long maxElementDepth = 256;

// A certificate's data file is a few kilobytes; a larger one is not parsed at all.
constexpr unsigned long long maxDataFileBytes = 4 * 1024 * 1024;

enum class FileLoad {
    Loaded,
    Unreadable,  // cannot be opened, is not well-formed, or declares a DTD
    TooLarge,    // more than maxDataFileBytes, refused unread
};

class XmlDocument {
public:
    XmlDocument() = default;

    // A new, empty DOMDocument30 that loads synchronously, never fetches external entities or DTDs, refuses
    // DTDs altogether and limits the depth of elements. A DOM that does not take the last two refuses a
    // document with a DOCTYPE itself, after parsing it, as a parse failure.
    static XmlDocument create();

    explicit operator bool() const noexcept { return static_cast<bool>(doc_); }

    void loadXml(std::u16string_view text) const;
    // Parses the file at exactly this path: it is opened here (others may read and write it meanwhile) and its
    // bytes handed over, so that the path is never taken for a URL.
    FileLoad loadFile(std::u16string_view path) const;
    long parseErrorCode() const;
    // The root element if it is named exactly `name`, otherwise an empty node.
    XmlNode selectRoot(std::u16string_view name) const;

    // What create() sets, read back from the document.
    bool loadsSynchronously() const;
    Variant property(std::u16string_view name) const;

private:
    explicit XmlDocument(ComPtr<IXMLDOMDocument2> doc) : doc_(std::move(doc)) {}

    bool declaresDtd() const;
    void refuseContent() const;

    ComPtr<IXMLDOMDocument2> doc_;
    // Whether the DOM took every limit create() sets.
};

}  // namespace varnok
