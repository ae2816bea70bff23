// VarnokImageWorker.exe: reads image files and PDF scans for the server and the console reader, one request after
// another, so that whatever a hostile file does to a parser, a codec or the Aztec reader happens here and never
// in the process that serves clients. Started by sandbox/ with the inherited end of a pipe as its only argument;
// ends when the pipe closes or a request cannot be served.

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <new>
#include <utility>

#include "LargeBlocks.h"
#include "Protocol.h"
#include "ReadFile.h"
#include "WicDecode.h"
#include "base/FloatingPoint.h"
#include "platform/ComPtr.h"
#include "platform/DllSearch.h"
#include "platform/Handle.h"

namespace varnok {
namespace {

bool readAll(HANDLE pipe, void* data, std::uint64_t size)
{
    auto* at = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(size, 1u << 20));
        if (!::ReadFile(pipe, at, chunk, &got, nullptr) || got == 0)
            return false;
        at += got;
        size -= got;
    }
    return true;
}

bool writeAll(HANDLE pipe, const void* data, std::uint64_t size)
{
    const auto* at = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        DWORD put = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(size, 1u << 20));
        if (!::WriteFile(pipe, at, chunk, &put, nullptr) || put == 0)
            return false;
        at += put;
        size -= put;
    }
    return true;
}

// The file in a block of ours, which WIC reads through a stream without another copy.
class FileBlock {
public:
    FileBlock() = default;
    FileBlock(const FileBlock&) = delete;
    FileBlock& operator=(const FileBlock&) = delete;
    ~FileBlock()
    {
        if (bytes_)
            ::GlobalUnlock(memory_);
        if (memory_)
            ::GlobalFree(memory_);
    }

    // False when no memory is to be had for it.
    bool allocate(std::uint64_t size)
    {
        memory_ = ::GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(std::max<std::uint64_t>(size, 1)));
        bytes_ = memory_ ? static_cast<std::uint8_t*>(::GlobalLock(memory_)) : nullptr;
        size_ = size;
        return bytes_ != nullptr;
    }
    std::uint8_t* data() const { return bytes_; }
    std::span<const std::uint8_t> bytes() const { return {bytes_, static_cast<std::size_t>(size_)}; }

    // A stream over `part`: this block's own bytes without a copy, anything else (a PDF's JPEG data) copied.
    ComPtr<IStream> streamOver(std::span<const std::uint8_t> part) const
    {
        ComPtr<IStream> stream;
        if (part.data() == bytes_ && part.size() <= size_) {
            if (SUCCEEDED(::CreateStreamOnHGlobal(memory_, FALSE, stream.put()))) {
                ULARGE_INTEGER length;
                length.QuadPart = part.size();
                stream->SetSize(length);
            }
        } else {
            stream = ComPtr<IStream>::attach(::SHCreateMemStream(part.data(), static_cast<UINT>(part.size())));
        }
        if (!stream)
            throw ImageFileError(ImageFileError::Kind::TooLarge, E_OUTOFMEMORY);
        return stream;
    }

private:
    HGLOBAL memory_ = nullptr;
    std::uint8_t* bytes_ = nullptr;
    std::uint64_t size_ = 0;
};

enum class Copy { Done, NoMemory, NotOurCaller };

// The caller's section copied into `block` through a moving view, so that the block and the view together take
// little more than the file's size of our address space. Our handle of the section is closed either way.
Copy copyOfFile(const worker::Request& request, FileBlock& block)
{
    const Handle section(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(request.section)));
    if (request.bytes > 0 && !section)
        return Copy::NotOurCaller;
    if (!block.allocate(request.bytes))
        return Copy::NoMemory;
    constexpr std::uint64_t window = 16u << 20;  // a multiple of the allocation granularity
    for (std::uint64_t at = 0; at < request.bytes; at += window) {
        const auto length = static_cast<std::size_t>(std::min(window, request.bytes - at));
        const void* view = ::MapViewOfFile(section.get(), FILE_MAP_READ, static_cast<DWORD>(at >> 32),
                                           static_cast<DWORD>(at), length);
        if (!view) {
            const DWORD error = ::GetLastError();
            // Out of address space is the file's size; anything else is a section that is not what was said.
            return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_COMMITMENT_LIMIT ? Copy::NoMemory
                                                                                      : Copy::NotOurCaller;
        }
        std::memcpy(block.data() + at, view, length);
        ::UnmapViewOfFile(view);
    }
    return Copy::Done;
}

worker::FileOutcome readRequest(const FileBlock& block, std::uint64_t fileSize)
{
    return worker::readFile(block.bytes(), fileSize, [&block](std::span<const std::uint8_t> part, std::uint64_t max) {
        const auto streamOver = [&] { return block.streamOver(part); };
        try {
            return decodePixels(part, max, streamOver);
        } catch (const ImageFileError& error) {
            // WIC allocates from its own heap: what our operator new keeps must not make it run short.
            if (error.kind() != ImageFileError::Kind::TooLarge || !worker::releaseKeptBlocks())
                throw;
        }
        return decodePixels(part, max, streamOver);
    });
}

int serve(HANDLE pipe)
{
    for (;;) {
        worker::Request request;
        if (!readAll(pipe, &request, sizeof request) || request.magic != worker::requestMagic ||
            request.bytes > worker::maxFileBytes || request.bytes > request.fileSize)
            return 0;
        worker::FileOutcome outcome;
        {
            FileBlock block;
            switch (copyOfFile(request, block)) {
            case Copy::NotOurCaller:
                return 1;
            case Copy::NoMemory:
                outcome.error = ImageFileError(ImageFileError::Kind::TooLarge, E_OUTOFMEMORY);
                break;
            case Copy::Done:
                outcome = readRequest(block, request.fileSize);
                break;
            }
        }
        std::vector<std::uint8_t> reply;
        try {
            reply = worker::encodeReply(outcome);
        } catch (const std::bad_alloc&) {
            return 1;
        }
        if (!writeAll(pipe, reply.data(), reply.size()))
            return 0;
    }
}

}  // namespace
}  // namespace varnok

int wmain(int argc, wchar_t** argv)
{
    // Before any library loads: a scans' folder is anyone's to fill.
    varnok::restrictProcessDllSearch();
    // A codec's crash ends this process quietly: no dialog waits for a user who is not there.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    if (argc != 2)
        return 2;
    const auto pipe = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(argv[1], nullptr, 10)));
    if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    const int code = varnok::serve(pipe);
    ::CoUninitialize();
    return code;
}
