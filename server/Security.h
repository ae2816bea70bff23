#pragma once
// Who may call the server: the process-wide COM security it sets before any class object is registered, instead
// of whatever the machine-wide defaults would admit.

#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace varnok::security {

// Local calls arrive through a channel that is private already, so privacy costs nothing here, and a remote
// caller (refused anyway) would need it. The server calls no other process, so nobody needs its identity.
inline constexpr DWORD authenticationLevel = RPC_C_AUTHN_LEVEL_PKT_PRIVACY;
inline constexpr DWORD impersonationLevel = RPC_C_IMP_LEVEL_IDENTIFY;
inline constexpr DWORD capabilities = EOAC_NO_CUSTOM_MARSHAL | EOAC_DISABLE_AAA;

inline constexpr DWORD localExecute = COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL;
inline constexpr DWORD anyExecute = localExecute | COM_RIGHTS_EXECUTE_REMOTE;

// The access permission: the NETWORK group refused first, then local execution for the user the process runs as
// and for SYSTEM; owner the user, group the token's primary group. Absolute, as CoInitializeSecurity takes it.
class AccessDescriptor {
public:
    AccessDescriptor();
    AccessDescriptor(const AccessDescriptor&) = delete;
    AccessDescriptor& operator=(const AccessDescriptor&) = delete;

    PSECURITY_DESCRIPTOR get() noexcept { return &descriptor_; }
    PSID user() const noexcept { return const_cast<BYTE*>(user_.data()); }

    // Owner, group and DACL in the security descriptor definition language.
    std::wstring sddl() const;

private:
    std::vector<BYTE> user_;
    std::vector<BYTE> group_;
    std::vector<BYTE> system_;
    std::vector<BYTE> network_;
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
};

using InitializeSecurity = decltype(&::CoInitializeSecurity);

// Sets the process's COM security once, before anything is marshaled; `initialize` is COM's own call unless a
// test records it.
HRESULT applyProcessSecurity(InitializeSecurity initialize = &::CoInitializeSecurity) noexcept;

// "0x80010119: " and the system's text for the code.
std::wstring codeAndReason(HRESULT hr);

// What a server that cannot set its security says before it leaves without serving.
std::wstring refusalText(HRESULT hr);

// Into the Application event log, where a user of a server started by COM (no console) can find it.
void reportToEventLog(const std::wstring& text) noexcept;

// DOMAIN\name of an account, or its SID when it has no name.
std::wstring accountName(PSID sid);

}  // namespace varnok::security
