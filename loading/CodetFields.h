#pragma once
// A payload decoded as ReadCodetData decodes it, and its 31 values as the properties give them: for readers
// that have no FileReader (the batch tool), so that both give the same cells.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "fields/FieldTable.h"

namespace varnok {

struct CodetFields {
    std::u16string status;  // ReadCodetData's status text
    // In the interface's member order; nullopt where the property raises an error (not decoded, element absent).
    std::array<std::optional<std::u16string>, fields::fieldCount> values;
};

// No result file is written.
CodetFields decodeCodetFields(std::u16string_view codetString);

}  // namespace varnok
