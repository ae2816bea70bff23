#pragma once
// The caller's end of a worker's pipe: a named pipe no other program can guess or reach from the network, and
// transfers bounded by the caller's deadline and by the worker's life.

#include <windows.h>

#include <cstdint>

#include "platform/Handle.h"

namespace varnok::sandbox {

class Channel {
public:
    // The pipe and, in `workerEnd`, its other end, inheritable, for the worker. Throws Win32Failure.
    static Channel open(Handle& workerEnd);

    enum class Transfer { Done, TimedOut, Broken };
    // Moves all of `size` bytes, unless the deadline (GetTickCount64) passes or `process` ends first.
    Transfer write(const void* data, std::uint64_t size, ULONGLONG deadline, HANDLE process);
    Transfer read(void* data, std::uint64_t size, ULONGLONG deadline, HANDLE process);

private:
    Transfer transfer(bool write, void* data, std::uint64_t size, ULONGLONG deadline, HANDLE process);

    Handle pipe_, event_;
};

// A Win32 error on the caller's side of the worker: the pipe, the section, the process.
struct Win32Failure {
    DWORD error;
};

}  // namespace varnok::sandbox
