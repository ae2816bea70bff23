#pragma once
// The reader spends from the one budget type of the house, so a file's budget can be handed to it as it is.

#include "base/Budget.h"

namespace varnok::aztec {

using Budget = varnok::Budget;

}  // namespace varnok::aztec
