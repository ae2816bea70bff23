#pragma once
// What one FileReader object holds between calls.

#include "platform/XmlDom.h"

namespace varnok {

struct ReaderState {
    // The root element selected by the last load that reached its select step; what the properties read.
    XmlNode DataRoot;
    // The document created by the last load, until CloseData or a caught failure releases it.
    XmlDocument DataDocument;
};

}  // namespace varnok
