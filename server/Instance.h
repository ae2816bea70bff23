#pragma once
// What ties server processes together: the single-instance guard of a session and elevation, the request an
// uninstaller sends to leave, and the process-wide COM settings.

#include <windows.h>
#include <objidl.h>

#include <string>

namespace varnok::instance {

// The mandatory integrity level of this process (SECURITY_MANDATORY_MEDIUM_RID, ..._HIGH_RID, ...), or
// unknownIntegrityLevel when the token does not tell.
inline constexpr DWORD unknownIntegrityLevel = 0xFFFFFFFF;
DWORD integrityLevel() noexcept;

// Windows starts a separate server for an elevated client: servers of different integrity levels must never wait
// for each other's guard.
std::wstring mutexName(DWORD integrityLevel);

// The event through which the server of that process is asked to leave; a server only leaves when idle.
std::wstring leaveEventName(DWORD processId, bool global);

// Asks every server running from `exePath` to leave when idle and waits for them up to `timeoutMs`. Returns how
// many are still running (busy with clients).
int askServersToLeave(const std::wstring& exePath, DWORD timeoutMs) noexcept;

// A crash in our code or in the decoder ends the process instead of being swallowed by COM, which would leave a
// damaged heap serving every client.
HRESULT disableComExceptionHandling() noexcept;
HRESULT disableComExceptionHandling(IGlobalOptions& options) noexcept;

}  // namespace varnok::instance
