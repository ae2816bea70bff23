#pragma once
// Under Wine, one object of each served class stays marshaled while the server runs. Wine's RPC runtime
// unregisters an interface when the last stub of it goes, and can miss the end of a call made on it a moment
// before (the call's count falls outside the lock the unregistering takes): the client's final Release then waits
// for ever, and with it every later marshaling in this process. While a stub of each interface stays, none is
// ever unregistered. Windows has no such race, and nothing is kept there.

#include <windows.h>
#include <objidl.h>

#include <cstddef>
#include <vector>

#include "platform/ComPtr.h"

namespace varnok {

class KeptStubs {
public:
    KeptStubs() = default;
    KeptStubs(const KeptStubs&) = delete;
    KeptStubs& operator=(const KeptStubs&) = delete;
    ~KeptStubs() { release(); }

    // Marshals the objects under Wine; does nothing elsewhere. Returns how many objects of the served classes it
    // holds: each holds a server lock. A failure only leaves the race open, so nothing here fails the server.
    std::size_t keep() noexcept;
    // Disconnects and lets go of what keep() holds, while the apartment is still there.
    void release() noexcept;

private:
    void keepOne(const ComPtr<IUnknown>& object, REFIID iid) noexcept;

    std::vector<ComPtr<IUnknown>> objects_;
    std::vector<ComPtr<IStream>> marshaled_;
};

}  // namespace varnok
