#pragma once
// A thread of the server's own in the multithreaded apartment, where the class objects of classes that must not
// wait for one another are registered: their calls then run on COM's own threads, beside the main thread's.

#include <windows.h>
#include <unknwn.h>

#include <thread>
#include <vector>

#include "platform/Handle.h"

namespace varnok {

class MultithreadedApartment {
public:
    MultithreadedApartment() = default;
    MultithreadedApartment(const MultithreadedApartment&) = delete;
    MultithreadedApartment& operator=(const MultithreadedApartment&) = delete;
    ~MultithreadedApartment() { revoke(); }

    struct Registration {
        const CLSID* clsid;
        IUnknown* factory;
    };
    // Registers each class object suspended, as the main thread does, and waits until all are or one failed.
    HRESULT registerClassObjects(std::vector<Registration> registrations) noexcept;
    // Revokes them and ends the thread; harmless when nothing was registered.
    void revoke() noexcept;

private:
    void run(std::vector<Registration> registrations) noexcept;

    std::thread thread_;
    Handle registered_, leave_;
    HRESULT result_ = S_OK;
};

}  // namespace varnok
