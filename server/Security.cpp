#include "Security.h"

#include <sddl.h>

#include <cwchar>
#include <new>

#include "platform/ComError.h"
#include "platform/Handle.h"

namespace varnok::security {

namespace {

void checkCall(BOOL succeeded)
{
    if (!succeeded)
        throwLastError();
}

std::vector<BYTE> copyOf(PSID sid)
{
    std::vector<BYTE> copy(::GetLengthSid(sid));
    checkCall(::CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid));
    return copy;
}

std::vector<BYTE> wellKnown(WELL_KNOWN_SID_TYPE type)
{
    DWORD size = SECURITY_MAX_SID_SIZE;
    std::vector<BYTE> sid(size);
    checkCall(::CreateWellKnownSid(type, nullptr, sid.data(), &size));
    sid.resize(size);
    return sid;
}

std::vector<BYTE> tokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS type)
{
    DWORD size = 0;
    ::GetTokenInformation(token, type, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    checkCall(::GetTokenInformation(token, type, buffer.data(), size, &size));
    return buffer;
}

DWORD aceSize(const std::vector<BYTE>& sid)
{
    // Both ACE kinds end in the SID, whose first DWORD is counted in the structure already.
    return static_cast<DWORD>(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sid.size());
}

}  // namespace

AccessDescriptor::AccessDescriptor()
{
    HANDLE raw = nullptr;
    checkCall(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw));
    const Handle token(raw);
    const std::vector<BYTE> user = tokenInformation(token.get(), TokenUser);
    user_ = copyOf(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
    const std::vector<BYTE> group = tokenInformation(token.get(), TokenPrimaryGroup);
    group_ = copyOf(reinterpret_cast<const TOKEN_PRIMARY_GROUP*>(group.data())->PrimaryGroup);
    system_ = wellKnown(WinLocalSystemSid);
    network_ = wellKnown(WinNetworkSid);

    acl_.resize(sizeof(ACL) + aceSize(network_) + aceSize(user_) + aceSize(system_));
    const auto acl = reinterpret_cast<PACL>(acl_.data());
    checkCall(::InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION));
    // A deny entry decides only when it comes before the entries that allow.
    checkCall(::AddAccessDeniedAce(acl, ACL_REVISION, anyExecute, network_.data()));
    checkCall(::AddAccessAllowedAce(acl, ACL_REVISION, localExecute, user_.data()));
    checkCall(::AddAccessAllowedAce(acl, ACL_REVISION, localExecute, system_.data()));

    checkCall(::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION));
    checkCall(::SetSecurityDescriptorOwner(&descriptor_, user_.data(), FALSE));
    checkCall(::SetSecurityDescriptorGroup(&descriptor_, group_.data(), FALSE));
    checkCall(::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE));
}

std::wstring AccessDescriptor::sddl() const
{
    LPWSTR text = nullptr;
    checkCall(::ConvertSecurityDescriptorToStringSecurityDescriptorW(
        const_cast<SECURITY_DESCRIPTOR*>(&descriptor_), SDDL_REVISION_1,
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr));
    std::wstring result(text);
    ::LocalFree(text);
    return result;
}

HRESULT applyProcessSecurity(InitializeSecurity initialize) noexcept
{
    try {
        AccessDescriptor descriptor;
        // -1 and no list: COM picks the authentication services; the descriptor is copied by the call.
        return initialize(descriptor.get(), -1, nullptr, nullptr, authenticationLevel, impersonationLevel, nullptr,
                          capabilities, nullptr);
    } catch (const Failure& failure) {
        return failure.code();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

std::wstring codeAndReason(HRESULT hr)
{
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    const std::u16string reason = describeCode(hr);
    return code + (L": " + std::wstring(reason.begin(), reason.end()));
}

std::wstring refusalText(HRESULT hr)
{
    return L"VarnokSrv: COM security could not be set (" + codeAndReason(hr) +
           L"); the server does not serve without it and exits.";
}

void reportToEventLog(const std::wstring& text) noexcept
{
    // No event source is registered (the registry keeps only the classes): the viewer shows the text as the
    // event's data.
    if (HANDLE log = ::RegisterEventSourceW(nullptr, L"VarnokSrv")) {
        const wchar_t* strings[] = {text.c_str()};
        ::ReportEventW(log, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
        ::DeregisterEventSource(log);
    }
}

std::wstring accountName(PSID sid)
{
    wchar_t name[256] = {};
    wchar_t domain[256] = {};
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use;
    if (::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return *domain ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text))
        return {};
    std::wstring result(text);
    ::LocalFree(text);
    return result;
}

}  // namespace varnok::security
