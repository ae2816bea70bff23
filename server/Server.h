#pragma once
// The server process: its single instance, its class object and how long it lives.

#include <windows.h>
#include <oaidl.h>

#include "platform/ComPtr.h"
#include "platform/Handle.h"
#include "Apartment.h"
#include "KeptStubs.h"

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace varnok {

class Server {
public:
    Server();
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // The one server of this process; valid while run() may be serving.
    static Server& current();

    // Serves objects of every served class until none is left; returns the process exit code. A start-up failure
    // that the user must learn about goes to `tell` (the console, if any) and the event log.
    int run(void (*tell)(const std::wstring& text));

    // Objects and class-object locks keep the process alive. Called from any thread.
    void lock() noexcept;
    void unlock() noexcept;

    // The type information of a served interface, from the type library embedded in this executable. Called from
    // any thread; the pointer lives as long as the server.
    ITypeInfo* typeInfo(REFIID iid);

private:
    bool acquireInstance();
    void armIdleTimer(UINT milliseconds) noexcept;
    HRESULT registerClassObjects() noexcept;
    // Revokes the class objects if still registered (then serves a moment longer); true when the process may leave.
    bool revokeWhenIdle(bool& registered) noexcept;
    void shutDown() noexcept;
    void releaseKeptStubs() noexcept;

    std::atomic<LONG> locks_{0};
    KeptStubs keptStubs_;
    LONG keptLocks_ = 0;
    const DWORD mainThread_ = ::GetCurrentThreadId();
    UINT_PTR idleTimer_ = 0;
    Handle instanceMutex_;
    std::vector<DWORD> registrations_;
    MultithreadedApartment multithreaded_;
    std::mutex typeInfoMutex_;
    std::vector<std::pair<IID, ComPtr<ITypeInfo>>> typeInfos_;
};

}  // namespace varnok
