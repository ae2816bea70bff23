#include "Instance.h"

#include <objbase.h>
#include <tlhelp32.h>

#include <cwchar>
#include <vector>

#include "platform/ComPtr.h"
#include "platform/Handle.h"
#include "Identity.h"

namespace varnok::instance {

namespace {

std::wstring hexText(DWORD value)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"%lX", static_cast<unsigned long>(value));
    return text;
}

const wchar_t* fileNameOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return path.c_str() + (slash == std::wstring::npos ? 0 : slash + 1);
}

bool samePath(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

std::wstring imagePath(HANDLE process)
{
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!::QueryFullProcessImageNameW(process, 0, path.data(), &size))
        return {};
    path.resize(size);
    return path;
}

// Handles of the other processes running this image, opened for waiting.
std::vector<Handle> serversRunning(const std::wstring& exePath)
{
    std::vector<Handle> servers;
    Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return servers;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == ::GetCurrentProcessId() || _wcsicmp(entry.szExeFile, fileNameOf(exePath)) != 0)
            continue;
        Handle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (process && samePath(imagePath(process.get()), exePath))
            servers.push_back(std::move(process));
    }
    return servers;
}

}  // namespace

DWORD integrityLevel() noexcept
{
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw))
        return unknownIntegrityLevel;
    const Handle token(raw);
    alignas(TOKEN_MANDATORY_LABEL) BYTE buffer[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer, sizeof buffer, &size))
        return unknownIntegrityLevel;
    const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
    if (!sid || !::IsValidSid(sid) || *::GetSidSubAuthorityCount(sid) == 0)
        return unknownIntegrityLevel;
    return *::GetSidSubAuthority(sid, *::GetSidSubAuthorityCount(sid) - 1u);
}

std::wstring mutexName(DWORD integrityLevel)
{
    return std::wstring(L"Local\\") + identity::progId + L"." + identity::clsidText + L".IL" + hexText(integrityLevel);
}

std::wstring leaveEventName(DWORD processId, bool global)
{
    // Global: an uninstaller runs as the system, in another session than the user's server.
    return std::wstring(global ? L"Global\\" : L"Local\\") + identity::progId + L"." + identity::clsidText +
           L".Leave." + std::to_wstring(processId);
}

int askServersToLeave(const std::wstring& exePath, DWORD timeoutMs) noexcept
{
    try {
        std::vector<Handle> servers = serversRunning(exePath);
        std::vector<HANDLE> waits;
        for (const Handle& server : servers) {
            const DWORD id = ::GetProcessId(server.get());
            for (bool global : {true, false}) {
                Handle request(::OpenEventW(EVENT_MODIFY_STATE, FALSE, leaveEventName(id, global).c_str()));
                if (request) {
                    ::SetEvent(request.get());
                    break;
                }
            }
            if (waits.size() < MAXIMUM_WAIT_OBJECTS)
                waits.push_back(server.get());
        }
        if (!waits.empty())
            ::WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), TRUE, timeoutMs);
        int running = 0;
        for (HANDLE server : waits)
            running += ::WaitForSingleObject(server, 0) == WAIT_TIMEOUT;
        return running;
    } catch (...) {
        return -1;
    }
}

HRESULT disableComExceptionHandling() noexcept
{
    ComPtr<IGlobalOptions> options;
    const HRESULT hr = ::CoCreateInstance(CLSID_GlobalOptions, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalOptions,
                                          options.putVoid());
    return SUCCEEDED(hr) ? disableComExceptionHandling(*options.get()) : hr;
}

HRESULT disableComExceptionHandling(IGlobalOptions& options) noexcept
{
    return options.Set(COMGLB_EXCEPTION_HANDLING, COMGLB_EXCEPTION_DONOT_HANDLE_ANY);
}

}  // namespace varnok::instance
