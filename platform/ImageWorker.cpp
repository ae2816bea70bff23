#include "ImageWorker.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Handle.h"
#include "WorkerProtocol.h"

namespace varnok {

namespace {

using Kind = ImageFileError::Kind;

constexpr std::size_t pipeBytes = 4096;

std::atomic<bool> lastBoxed{false};

// Fills `into` with up to its size in bytes and says how many; throws ImageFileError(NoAccess) when it cannot read.
using ByteReader = std::function<std::size_t(std::span<std::uint8_t> into)>;

[[noreturn]] void failed(HRESULT code) { throw ImageFileError(Kind::Unreadable, code); }

std::wstring workerPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            failed(HRESULT_FROM_WIN32(::GetLastError()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.resize(path.find_last_of(L"\\/") + 1);
    return path + L"VarnokImageWorker.exe";
}

// A name no other program can guess, so that none can take the pipe's place before the worker connects.
std::wstring pipeName()
{
    std::uint8_t random[16];
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        failed(E_FAIL);
    std::wstring name = L"\\\\.\\pipe\\VarnokImage-" + std::to_wstring(::GetCurrentProcessId()) + L"-";
    for (const std::uint8_t byte : random) {
        name += L"0123456789abcdef"[byte >> 4];
        name += L"0123456789abcdef"[byte & 15];
    }
    return name;
}

// Our own token without privileges or the administrators' group, at low integrity: what a codec exploit gets.
Handle boxToken()
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

class Worker {
public:
    static std::unique_ptr<Worker> start();

    bool alive() const { return healthy_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

    GrayPixels decode(HANDLE file, std::uint64_t size, std::uint64_t maxPixels);

private:
    void limit() const;
    [[noreturn]] void abandon(HRESULT code);
    void transfer(bool write, void* data, std::uint64_t size, ULONGLONG deadline);

    Handle process_, job_, pipe_, event_;
    bool healthy_ = true;
};

// Memory and CPU time capped, no second process, no desktop, ended with us. Setting the time limit again counts
// from the time used so far: each request gets the whole budget.
void Worker::limit() const
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                              JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION |
                                              JOB_OBJECT_LIMIT_ACTIVE_PROCESS | JOB_OBJECT_LIMIT_PROCESS_MEMORY |
                                              JOB_OBJECT_LIMIT_JOB_TIME;
    limits.BasicLimitInformation.ActiveProcessLimit = 1;
    limits.BasicLimitInformation.PerJobUserTimeLimit.QuadPart = std::int64_t(workerCpuMilliseconds) * 10'000;
    limits.ProcessMemoryLimit = static_cast<SIZE_T>(workerMemoryBytes);
    ::SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

std::unique_ptr<Worker> Worker::start()
{
    auto worker = std::make_unique<Worker>();
    const std::wstring path = workerPath(), name = pipeName();
    worker->pipe_ = Handle(::CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, pipeBytes, pipeBytes, 0,
        nullptr));
    worker->event_ = Handle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!worker->pipe_ || !worker->event_)
        failed(HRESULT_FROM_WIN32(::GetLastError()));
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const Handle client(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0,
                                      nullptr));
    if (!client)
        failed(HRESULT_FROM_WIN32(::GetLastError()));
    OVERLAPPED connect{};
    connect.hEvent = worker->event_.get();
    if (!::ConnectNamedPipe(worker->pipe_.get(), &connect) && ::GetLastError() != ERROR_PIPE_CONNECTED) {
        DWORD ignored = 0;
        if (::GetLastError() != ERROR_IO_PENDING || !::GetOverlappedResult(worker->pipe_.get(), &connect, &ignored, TRUE))
            failed(HRESULT_FROM_WIN32(::GetLastError()));
    }

    worker->job_ = Handle(::CreateJobObjectW(nullptr, nullptr));
    if (!worker->job_)
        failed(HRESULT_FROM_WIN32(::GetLastError()));
    JOBOBJECT_BASIC_UI_RESTRICTIONS ui{JOB_OBJECT_UILIMIT_DESKTOP | JOB_OBJECT_UILIMIT_DISPLAYSETTINGS |
                                       JOB_OBJECT_UILIMIT_EXITWINDOWS | JOB_OBJECT_UILIMIT_GLOBALATOMS |
                                       JOB_OBJECT_UILIMIT_HANDLES | JOB_OBJECT_UILIMIT_READCLIPBOARD |
                                       JOB_OBJECT_UILIMIT_SYSTEMPARAMETERS | JOB_OBJECT_UILIMIT_WRITECLIPBOARD};
    ::SetInformationJobObject(worker->job_.get(), JobObjectBasicUIRestrictions, &ui, sizeof ui);
    worker->limit();

    // The worker inherits its end of the pipe and nothing else.
    SIZE_T listSize = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<std::uint8_t> listBytes(listSize);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBytes.data());
    HANDLE inherited = client.get();
    if (!::InitializeProcThreadAttributeList(list, 1, 0, &listSize))
        failed(HRESULT_FROM_WIN32(::GetLastError()));
    ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inherited, sizeof inherited, nullptr,
                                nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = list;
    std::wstring command = L"\"" + path + L"\" " + std::to_wstring(reinterpret_cast<std::uintptr_t>(client.get()));
    const DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT;
    PROCESS_INFORMATION created{};
    const Handle token = boxToken();
    const bool boxed = token && ::CreateProcessAsUserW(token.get(), path.c_str(), command.data(), nullptr, nullptr,
                                                       TRUE, flags, nullptr, nullptr, &startup.StartupInfo, &created);
    const bool started = boxed || ::CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                                   nullptr, &startup.StartupInfo, &created);
    const DWORD error = ::GetLastError();
    ::DeleteProcThreadAttributeList(list);
    if (!started)
        failed(HRESULT_FROM_WIN32(error));
    worker->process_ = Handle(created.hProcess);
    const Handle thread(created.hThread);
    if (!::AssignProcessToJobObject(worker->job_.get(), worker->process_.get())) {
        ::TerminateProcess(worker->process_.get(), 1);
        failed(HRESULT_FROM_WIN32(::GetLastError()));
    }
    ::ResumeThread(thread.get());
    lastBoxed = boxed;
    return worker;
}

void Worker::abandon(HRESULT code)
{
    healthy_ = false;
    ::TerminateJobObject(job_.get(), 1);
    failed(code);
}

// One direction of the pipe, bounded by the deadline and by the worker's life.
void Worker::transfer(bool write, void* data, std::uint64_t size, ULONGLONG deadline)
{
    auto* at = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        OVERLAPPED io{};
        io.hEvent = event_.get();
        const DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(size, pipeBytes));
        const BOOL done = write ? ::WriteFile(pipe_.get(), at, chunk, nullptr, &io)
                                : ::ReadFile(pipe_.get(), at, chunk, nullptr, &io);
        if (!done && ::GetLastError() != ERROR_IO_PENDING)
            abandon(HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE));
        const ULONGLONG now = ::GetTickCount64();
        const HANDLE waits[] = {event_.get(), process_.get()};
        const DWORD waited = ::WaitForMultipleObjects(2, waits, FALSE, now < deadline ? DWORD(deadline - now) : 0);
        DWORD moved = 0;
        if (waited != WAIT_OBJECT_0) {
            ::CancelIoEx(pipe_.get(), &io);
            ::GetOverlappedResult(pipe_.get(), &io, &moved, TRUE);
            abandon(HRESULT_FROM_WIN32(waited == WAIT_TIMEOUT ? ERROR_TIMEOUT : ERROR_PROCESS_ABORTED));
        }
        if (!::GetOverlappedResult(pipe_.get(), &io, &moved, FALSE) || moved == 0)
            abandon(HRESULT_FROM_WIN32(ERROR_PROCESS_ABORTED));
        at += moved;
        size -= moved;
    }
}

GrayPixels Worker::decode(HANDLE file, std::uint64_t size, std::uint64_t maxPixels)
{
    limit();
    worker::Request request;
    request.maxPixels = maxPixels;
    request.bytes = size;
    if (file) {
        HANDLE remote = nullptr;
        if (!::DuplicateHandle(::GetCurrentProcess(), file, process_.get(), &remote, FILE_MAP_READ, FALSE, 0))
            abandon(HRESULT_FROM_WIN32(::GetLastError()));
        request.section = reinterpret_cast<std::uintptr_t>(remote);
    }
    transfer(true, &request, sizeof request, ::GetTickCount64() + workerWaitMilliseconds);

    const ULONGLONG answerBy = ::GetTickCount64() + workerWaitMilliseconds;
    worker::Reply reply;
    transfer(false, &reply, sizeof reply, answerBy);
    if (reply.magic != worker::replyMagic || reply.outcome > 1 + static_cast<std::uint32_t>(Kind::NoDecoder))
        abandon(E_UNEXPECTED);
    if (reply.outcome != 0)
        throw ImageFileError(static_cast<Kind>(reply.outcome - 1), reply.code, reply.width, reply.height);
    const std::uint64_t pixels = std::uint64_t(reply.width) * reply.height;
    if (reply.width == 0 || reply.height == 0 || reply.width > 0x7FFFFFFF || reply.height > 0x7FFFFFFF ||
        pixels > maxPixels)
        abandon(E_UNEXPECTED);
    HANDLE taken = nullptr;
    if (!::DuplicateHandle(process_.get(), reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(reply.section)),
                           ::GetCurrentProcess(), &taken, FILE_MAP_READ, FALSE, DUPLICATE_CLOSE_SOURCE))
        abandon(E_UNEXPECTED);
    const Handle section(taken);
    // A view of the size claimed cannot be had of a smaller section (nor of anything but a section).
    const void* view = ::MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(pixels));
    if (!view)
        throw ImageFileError(Kind::TooLarge, HRESULT_FROM_WIN32(::GetLastError()), reply.width, reply.height);
    GrayPixels out;
    out.width = static_cast<int>(reply.width);
    out.height = static_cast<int>(reply.height);
    try {
        const auto* bytes = static_cast<const std::uint8_t*>(view);
        out.pixels.assign(bytes, bytes + pixels);
    } catch (const std::bad_alloc&) {
        ::UnmapViewOfFile(view);
        throw ImageFileError(Kind::TooLarge, E_OUTOFMEMORY, reply.width, reply.height);
    }
    ::UnmapViewOfFile(view);
    return out;
}

// One worker per concurrent caller, up to one per processor (at least two); callers beyond that wait their turn.
class Pool {
public:
    std::unique_ptr<Worker> take()
    {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return !idle_.empty() || running_ < limit_; });
        while (!idle_.empty()) {
            std::unique_ptr<Worker> worker = std::move(idle_.back());
            idle_.pop_back();
            if (worker->alive())
                return worker;
            --running_;
        }
        ++running_;
        lock.unlock();
        try {
            return Worker::start();
        } catch (...) {
            lock.lock();
            --running_;
            freed_.notify_one();
            throw;
        }
    }

    void give(std::unique_ptr<Worker> worker)
    {
        {
            std::lock_guard lock(mutex_);
            if (worker->alive())
                idle_.push_back(std::move(worker));
            else
                --running_;
        }
        freed_.notify_one();
    }

private:
    static unsigned processors()
    {
        SYSTEM_INFO system{};
        ::GetSystemInfo(&system);
        return std::clamp<unsigned>(system.dwNumberOfProcessors, 2, 8);
    }

    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<std::unique_ptr<Worker>> idle_;
    unsigned running_ = 0;
    const unsigned limit_ = processors();
};

Pool& pool()
{
    static Pool instance;
    return instance;
}

// The whole file in a section of its own, filled through a moving view so that a large file never takes that
// much of our address space at once. What cannot be read fails here, before any worker is involved.
Handle fileSection(std::uint64_t size, const ByteReader& read)
{
    if (size == 0)
        return {};
    Handle section(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(size >> 32),
                                        static_cast<DWORD>(size), nullptr));
    if (!section)
        throw ImageFileError(Kind::TooLarge, HRESULT_FROM_WIN32(::GetLastError()));
    constexpr std::uint64_t window = 16u << 20;  // a multiple of the allocation granularity
    for (std::uint64_t at = 0; at < size; at += window) {
        const auto length = static_cast<std::size_t>(std::min(window, size - at));
        void* view = ::MapViewOfFile(section.get(), FILE_MAP_WRITE, static_cast<DWORD>(at >> 32),
                                     static_cast<DWORD>(at), length);
        if (!view)
            throw ImageFileError(Kind::TooLarge, HRESULT_FROM_WIN32(::GetLastError()));
        std::size_t got = 0;
        try {
            got = read(std::span(static_cast<std::uint8_t*>(view), length));
        } catch (...) {
            ::UnmapViewOfFile(view);
            throw;
        }
        ::UnmapViewOfFile(view);
        if (got < length)  // the file got shorter while we read it
            failed(HRESULT_FROM_WIN32(ERROR_HANDLE_EOF));
    }
    return section;
}

GrayPixels decodeWith(std::uint64_t size, std::uint64_t maxPixels, const ByteReader& read)
{
    if (size > worker::maxFileBytes)
        throw ImageFileError(Kind::TooLarge, E_OUTOFMEMORY);
    const Handle file = fileSection(size, read);
    std::unique_ptr<Worker> worker = pool().take();
    try {
        GrayPixels pixels = worker->decode(file.get(), size, maxPixels);
        pool().give(std::move(worker));
        return pixels;
    } catch (...) {
        pool().give(std::move(worker));
        throw;
    }
}

}  // namespace

GrayPixels decodeInWorker(IStream* stream, std::uint64_t size, std::uint64_t maxPixels)
{
    return decodeWith(size, maxPixels, [stream](std::span<std::uint8_t> into) {
        std::size_t done = 0;
        while (done < into.size()) {
            ULONG got = 0;
            const HRESULT hr = stream->Read(into.data() + done, static_cast<ULONG>(into.size() - done), &got);
            if (FAILED(hr))
                throw ImageFileError(Kind::NoAccess, hr);
            if (got == 0)
                break;
            done += got;
        }
        return done;
    });
}

GrayPixels decodeInWorker(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels)
{
    std::size_t at = 0;
    return decodeWith(bytes.size(), maxPixels, [bytes, &at](std::span<std::uint8_t> into) {
        const std::size_t count = std::min(into.size(), bytes.size() - at);
        std::memcpy(into.data(), bytes.data() + at, count);
        at += count;
        return count;
    });
}

bool workerIsBoxed() { return lastBoxed; }

}  // namespace varnok
