#pragma once
// Path rules shared by every file the server reads or writes; portable, so they are unit-tested natively.

#include <string>
#include <string_view>

namespace varnok {

// Whether a Windows path names its drive or share: "C:\x", "\\server\share\x", "\\?\C:\x". An empty path,
// "x", "\x" and "C:x" depend on the current folder or drive, which for a COM server is nobody's choice.
bool isAbsolutePath(std::u16string_view path);

// The name tried for the n-th file of the same name (n >= 2): "_n" before the extension of the last component.
std::u16string collisionName(std::u16string_view path, unsigned n);

}  // namespace varnok
