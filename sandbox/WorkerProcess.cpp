#include "WorkerProcess.h"

#include <new>
#include <vector>

#include "platform/Ansi.h"
#include "worker/Protocol.h"

namespace varnok::sandbox {

namespace {

using Kind = ImageFileError::Kind;

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/") + 1); }

}  // namespace

std::wstring workerPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            throw Win32Failure{::GetLastError()};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return folderOf(path) + L"VarnokImageWorker.exe";
}

std::unique_ptr<WorkerProcess> WorkerProcess::start()
{
    auto worker = std::make_unique<WorkerProcess>();
    const std::wstring path = workerPath();
    Handle workerEnd;
    worker->channel_ = Channel::open(workerEnd);
    worker->job_ = workerJob(worker->protections_);

    // The worker inherits its end of the pipe and nothing else.
    SIZE_T listSize = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<std::uint8_t> listBytes(listSize);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBytes.data());
    HANDLE inherited = workerEnd.get();
    if (!::InitializeProcThreadAttributeList(list, 1, 0, &listSize))
        throw Win32Failure{::GetLastError()};
    ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inherited, sizeof inherited, nullptr,
                                nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = list;
    std::wstring command = L"\"" + path + L"\" " + std::to_wstring(reinterpret_cast<std::uintptr_t>(workerEnd.get()));
    // Its own folder, never its caller's: a scans' folder is anyone's to fill.
    const std::wstring folder = folderOf(path);
    const DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT;
    PROCESS_INFORMATION created{};
    const Handle token = restrictedToken();
    const bool boxed = token && ::CreateProcessAsUserW(token.get(), path.c_str(), command.data(), nullptr, nullptr,
                                                       TRUE, flags, nullptr, folder.c_str(), &startup.StartupInfo,
                                                       &created);
    // Unboxed is still bounded by the job and the wall clock; /Diagnose says which protections took.
    const bool started = boxed || ::CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, flags,
                                                   nullptr, folder.c_str(), &startup.StartupInfo, &created);
    const DWORD error = ::GetLastError();
    ::DeleteProcThreadAttributeList(list);
    if (!started) {
        ImageFileError missing(Kind::NoWorker, static_cast<long>(HRESULT_FROM_WIN32(error)));
        missing.setFormat(toUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(path.data()), path.size())));
        throw missing;
    }
    worker->protections_.restrictedToken = boxed;
    worker->process_ = Handle(created.hProcess);
    const Handle thread(created.hThread);
    if (!worker->job_ || !::AssignProcessToJobObject(worker->job_.get(), worker->process_.get()))
        worker->protections_.jobObject = worker->protections_.memoryLimit = worker->protections_.timeLimit =
            worker->protections_.uiLimits = false;
    ::ResumeThread(thread.get());
    return worker;
}

WorkerProcess::~WorkerProcess()
{
    if (process_)
        ::TerminateProcess(process_.get(), 1);
}

bool WorkerProcess::alive() const
{
    return healthy_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

void WorkerProcess::abandon(Kind kind, DWORD error)
{
    healthy_ = false;
    if (job_)
        ::TerminateJobObject(job_.get(), 1);
    ::TerminateProcess(process_.get(), 1);
    throw ImageFileError(kind, static_cast<long>(HRESULT_FROM_WIN32(error)));
}

void WorkerProcess::abandonBroken()
{
    // The pipe breaks as the process goes: its exit code is there a moment later.
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(process_.get(), 2000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process_.get(), &code);
    if (worker::departureOf(code) == worker::Departure::OutOfTime)
        abandon(Kind::TimedOut, ERROR_NOT_ENOUGH_QUOTA);
    abandon(Kind::Unreadable, ERROR_PROCESS_ABORTED);
}

worker::FileOutcome WorkerProcess::read(HANDLE section, std::uint64_t bytes, std::uint64_t fileSize)
{
    if (job_)
        renewTimeLimit(job_.get());
    const ULONGLONG deadline = ::GetTickCount64() + workerWaitMilliseconds;
    const auto check = [&](Channel::Transfer transfer) {
        if (transfer == Channel::Transfer::TimedOut)
            abandon(Kind::TimedOut, ERROR_TIMEOUT);
        if (transfer == Channel::Transfer::Broken)
            abandonBroken();
    };
    worker::Request request;
    request.fileSize = fileSize;
    request.bytes = bytes;
    if (section) {
        HANDLE remote = nullptr;
        if (!::DuplicateHandle(::GetCurrentProcess(), section, process_.get(), &remote, FILE_MAP_READ, FALSE, 0)) {
            const DWORD error = ::GetLastError();
            // A worker that has already gone (its job's time ran out) cannot take the handle: its exit code says why.
            if (::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0)
                abandonBroken();
            abandon(Kind::Unreadable, error);
        }
        request.section = reinterpret_cast<std::uintptr_t>(remote);
    }
    check(channel_.write(&request, sizeof request, deadline, process_.get()));
    worker::ReplyHeader header;
    check(channel_.read(&header, sizeof header, deadline, process_.get()));
    const auto length = worker::payloadBytes(header);
    if (!length)
        abandon(Kind::Unreadable, ERROR_INVALID_DATA);
    std::vector<std::uint8_t> payload;
    try {
        payload.resize(*length);
    } catch (const std::bad_alloc&) {
        // Its payload would stay in the pipe, and the next read would begin in the middle of it.
        abandon(Kind::Unreadable, ERROR_NOT_ENOUGH_MEMORY);
    }
    check(channel_.read(payload.data(), payload.size(), deadline, process_.get()));
    auto outcome = worker::decodeReply(header, payload);
    if (!outcome)
        abandon(Kind::Unreadable, ERROR_INVALID_DATA);
    return std::move(*outcome);
}

}  // namespace varnok::sandbox
