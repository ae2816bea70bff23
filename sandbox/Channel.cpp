#include "Channel.h"

#include <bcrypt.h>

#include <algorithm>
#include <string>

namespace varnok::sandbox {

namespace {

constexpr DWORD pipeBytes = 4096;

[[noreturn]] void failed(DWORD error) { throw Win32Failure{error}; }

// A name no other program can guess, so that none can take the pipe's place before the worker connects.
std::wstring pipeName()
{
    std::uint8_t random[16];
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        failed(ERROR_GEN_FAILURE);
    std::wstring name = L"\\\\.\\pipe\\VarnokImage-" + std::to_wstring(::GetCurrentProcessId()) + L"-";
    for (const std::uint8_t byte : random) {
        name += L"0123456789abcdef"[byte >> 4];
        name += L"0123456789abcdef"[byte & 15];
    }
    return name;
}

}  // namespace

Channel Channel::open(Handle& workerEnd)
{
    Channel channel;
    const std::wstring name = pipeName();
    channel.pipe_ = Handle(::CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, pipeBytes, pipeBytes, 0,
        nullptr));
    channel.event_ = Handle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!channel.pipe_ || !channel.event_)
        failed(::GetLastError());
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    workerEnd = Handle(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0,
                                     nullptr));
    if (!workerEnd)
        failed(::GetLastError());
    OVERLAPPED connect{};
    connect.hEvent = channel.event_.get();
    if (!::ConnectNamedPipe(channel.pipe_.get(), &connect) && ::GetLastError() != ERROR_PIPE_CONNECTED) {
        DWORD ignored = 0;
        if (::GetLastError() != ERROR_IO_PENDING ||
            !::GetOverlappedResult(channel.pipe_.get(), &connect, &ignored, TRUE))
            failed(::GetLastError());
    }
    return channel;
}

Channel::Transfer Channel::write(const void* data, std::uint64_t size, ULONGLONG deadline, HANDLE process)
{
    return transfer(true, const_cast<void*>(data), size, deadline, process);
}

Channel::Transfer Channel::read(void* data, std::uint64_t size, ULONGLONG deadline, HANDLE process)
{
    return transfer(false, data, size, deadline, process);
}

Channel::Transfer Channel::transfer(bool write, void* data, std::uint64_t size, ULONGLONG deadline, HANDLE process)
{
    auto* at = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        OVERLAPPED io{};
        io.hEvent = event_.get();
        const DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(size, pipeBytes));
        const BOOL done = write ? ::WriteFile(pipe_.get(), at, chunk, nullptr, &io)
                                : ::ReadFile(pipe_.get(), at, chunk, nullptr, &io);
        if (!done && ::GetLastError() != ERROR_IO_PENDING)
            return Transfer::Broken;
        const ULONGLONG now = ::GetTickCount64();
        const HANDLE waits[] = {event_.get(), process};
        const DWORD waited = ::WaitForMultipleObjects(2, waits, FALSE, now < deadline ? DWORD(deadline - now) : 0);
        DWORD moved = 0;
        if (waited != WAIT_OBJECT_0) {
            ::CancelIoEx(pipe_.get(), &io);
            ::GetOverlappedResult(pipe_.get(), &io, &moved, TRUE);
            return waited == WAIT_TIMEOUT ? Transfer::TimedOut : Transfer::Broken;
        }
        if (!::GetOverlappedResult(pipe_.get(), &io, &moved, FALSE) || moved == 0)
            return Transfer::Broken;
        at += moved;
        size -= moved;
    }
    return Transfer::Done;
}

}  // namespace varnok::sandbox
