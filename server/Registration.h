#pragma once
// Self-registration of the server: machine-wide (administrators) or for the current user only.

#include <windows.h>

namespace varnok {

enum class RegistrationScope { Machine, User };

// Both return S_OK or the first failure; unregistering what is not registered succeeds.
HRESULT registerServer(RegistrationScope scope);
HRESULT unregisterServer(RegistrationScope scope);

}  // namespace varnok
