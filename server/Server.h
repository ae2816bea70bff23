#pragma once
// The server process: its single instance, its class object and how long it lives.

#include <windows.h>
#include <oaidl.h>

#include "../platform/ComPtr.h"
#include "../platform/Handle.h"

namespace varnok {

class Server {
public:
    Server();
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // The one server of this process; valid while run() may be serving.
    static Server& current();

    // Serves FileReader objects until none is left; returns the process exit code.
    int run();

    // Objects and class-object locks keep the process alive.
    void lock() noexcept;
    void unlock() noexcept;

    // The _FileReader type information from the type library embedded in this executable.
    ITypeInfo* typeInfo();

private:
    bool acquireInstance();
    void armIdleTimer(UINT milliseconds) noexcept;
    void shutDown(DWORD registration) noexcept;

    LONG locks_ = 0;
    UINT_PTR idleTimer_ = 0;
    Handle instanceMutex_;
    ComPtr<ITypeInfo> typeInfo_;
};

}  // namespace varnok
