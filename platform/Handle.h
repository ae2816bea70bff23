#pragma once
// Ownership of a kernel object handle: the one place that closes it.

#include <windows.h>

#include <utility>

namespace varnok {

class Handle {
public:
    Handle() noexcept = default;
    // Takes a handle as CreateX/OpenX returned it; both failure values (null and INVALID_HANDLE_VALUE) mean none.
    explicit Handle(HANDLE handle) noexcept : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Handle& operator=(Handle other) noexcept
    {
        std::swap(handle_, other.handle_);
        return *this;
    }
    ~Handle()
    {
        if (handle_)
            ::CloseHandle(handle_);
    }

    HANDLE get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace varnok
