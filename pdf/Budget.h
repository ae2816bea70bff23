#pragma once
// A file's budget (base/Budget.h): shared by everything a read of it does, parsing, decoding, walking the page
// tree and the contents, and the symbol reader on each image.

#include "base/Budget.h"

namespace varnok::pdf {

using Budget = varnok::Budget;
using WorkSpent = varnok::WorkSpent;

// About a second and a half: a hostile file ends within two, and a scan of a few pages at 300 dpi is read whole.
inline constexpr long long fileWork = 500'000'000;

}  // namespace varnok::pdf
