#pragma once
// The Scripting runtime's FileSystemObject, reached late-bound: mingw-w64 ships no scrrun.h.

#include <windows.h>
#include <oaidl.h>

#include <string_view>

#include "ComPtr.h"

namespace varnok {

class FileSystem {
public:
    // A new FileSystemObject; throws the component's failure when it cannot be created.
    static FileSystem create();

    // True when a file, not a folder, exists at the path.
    bool fileExists(std::u16string_view path) const;

private:
    explicit FileSystem(ComPtr<IDispatch> fso) : fso_(std::move(fso)) {}

    ComPtr<IDispatch> fso_;
};

}  // namespace varnok
