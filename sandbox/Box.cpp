#include "Box.h"

namespace varnok::sandbox {

namespace {

JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits()
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                              JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION |
                                              JOB_OBJECT_LIMIT_ACTIVE_PROCESS | JOB_OBJECT_LIMIT_PROCESS_MEMORY |
                                              JOB_OBJECT_LIMIT_JOB_TIME;
    limits.BasicLimitInformation.ActiveProcessLimit = 1;
    limits.BasicLimitInformation.PerJobUserTimeLimit.QuadPart = std::int64_t(workerCpuMilliseconds) * 10'000;
    limits.ProcessMemoryLimit = static_cast<SIZE_T>(workerMemoryBytes);
    return limits;
}

}  // namespace

Handle restrictedToken()
{
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(),
                            TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT, &raw))
        return {};
    const Handle own(raw);
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size))
        return {};
    SID_AND_ATTRIBUTES denied{administrators, 0};
    HANDLE restricted = nullptr;
    if (!::CreateRestrictedToken(own.get(), DISABLE_MAX_PRIVILEGE, 1, &denied, 0, nullptr, 0, nullptr, &restricted))
        return {};
    Handle token(restricted);
    BYTE low[SECURITY_MAX_SID_SIZE];
    size = sizeof low;
    if (!::CreateWellKnownSid(WinLowLabelSid, nullptr, low, &size))
        return {};
    TOKEN_MANDATORY_LABEL label{};
    label.Label.Sid = low;
    label.Label.Attributes = SE_GROUP_INTEGRITY;
    if (!::SetTokenInformation(token.get(), TokenIntegrityLevel, &label, sizeof label + ::GetLengthSid(low)))
        return {};
    return token;
}

Handle workerJob(Protections& protections)
{
    Handle job(::CreateJobObjectW(nullptr, nullptr));
    if (!job)
        return job;
    JOBOBJECT_BASIC_UI_RESTRICTIONS ui{JOB_OBJECT_UILIMIT_DESKTOP | JOB_OBJECT_UILIMIT_DISPLAYSETTINGS |
                                       JOB_OBJECT_UILIMIT_EXITWINDOWS | JOB_OBJECT_UILIMIT_GLOBALATOMS |
                                       JOB_OBJECT_UILIMIT_HANDLES | JOB_OBJECT_UILIMIT_READCLIPBOARD |
                                       JOB_OBJECT_UILIMIT_SYSTEMPARAMETERS | JOB_OBJECT_UILIMIT_WRITECLIPBOARD};
    protections.uiLimits = ::SetInformationJobObject(job.get(), JobObjectBasicUIRestrictions, &ui, sizeof ui);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION wanted = limits();
    const bool set = ::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &wanted, sizeof wanted);
    // What the system kept of them, where it says (Wine does not): a limit it dropped shows here as missing.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION kept = wanted;
    if (set)
        ::QueryInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &kept, sizeof kept, nullptr);
    const DWORD flags = set ? kept.BasicLimitInformation.LimitFlags : 0;
    protections.memoryLimit = (flags & JOB_OBJECT_LIMIT_PROCESS_MEMORY) && kept.ProcessMemoryLimit != 0;
    protections.timeLimit = (flags & JOB_OBJECT_LIMIT_JOB_TIME) != 0;
    protections.jobObject = (flags & JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE) != 0;
    return job;
}

bool renewTimeLimit(HANDLE job)
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION wanted = limits();
    return ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &wanted, sizeof wanted);
}

}  // namespace varnok::sandbox
