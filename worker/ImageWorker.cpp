// VarnokImageWorker.exe: decodes images for the server and the console reader, one request after another, so that
// a codec we do not control can only ever take this process down. Started by platform/ImageWorker with the
// inherited end of a pipe as its only argument; ends when the pipe closes or a request cannot be served.

#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>
#include <new>
#include <optional>

#include "WicDecode.h"
#include "imaging/BmpRle.h"
#include "platform/ComPtr.h"
#include "platform/Handle.h"
#include "imaging/ImageHeader.h"
#include "platform/WorkerProtocol.h"

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

worker::Reply failureReply(const ImageFileError& error)
{
    worker::Reply reply;
    reply.outcome = 1 + static_cast<std::uint32_t>(error.kind());
    reply.code = static_cast<std::int32_t>(error.code());
    reply.width = error.width();
    reply.height = error.height();
    return reply;
}

// The pixels in a section of their own; the caller takes its handle over (closing ours) when it reads the reply.
std::uint64_t sectionOf(const std::vector<std::uint8_t>& pixels)
{
    const auto size = static_cast<std::uint64_t>(pixels.size());
    HANDLE section = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(size >> 32),
                                          static_cast<DWORD>(size), nullptr);
    void* view = section ? ::MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, pixels.size()) : nullptr;
    if (!view) {
        if (section)
            ::CloseHandle(section);
        throw ImageFileError(ImageFileError::Kind::TooLarge, E_OUTOFMEMORY);
    }
    std::memcpy(view, pixels.data(), pixels.size());
    ::UnmapViewOfFile(view);
    return reinterpret_cast<std::uintptr_t>(section);
}

// The structure checks run on the whole file, then WIC decodes it from the memory that holds it.
GrayPixels decode(HGLOBAL memory, std::uint64_t size, std::uint64_t maxPixels)
{
    using Kind = ImageFileError::Kind;
    Structure structure;
    std::optional<RleGray> runs;
    {
        auto* bytes = static_cast<std::uint8_t*>(::GlobalLock(memory));
        const std::span<const std::uint8_t> file(bytes, static_cast<std::size_t>(size));
        const auto declared = declaredSize(file);
        if (declared && declared->width * declared->height > maxPixels) {
            ::GlobalUnlock(memory);
            throw ImageFileError(Kind::TooLarge, S_OK, static_cast<std::uint32_t>(declared->width),
                                 static_cast<std::uint32_t>(declared->height));
        }
        structure = checkStructure(file);
        if (structure.gifTrailer)
            bytes[structure.decodeBytes] = 0x3B;
        if (structure.verdict == Structure::Verdict::Fine && declared) {
            try {
                runs = decodeRleBitmap(file);
            } catch (const std::bad_alloc&) {
                ::GlobalUnlock(memory);
                throw ImageFileError(Kind::TooLarge, E_OUTOFMEMORY, static_cast<std::uint32_t>(declared->width),
                                     static_cast<std::uint32_t>(declared->height));
            }
        }
        ::GlobalUnlock(memory);
    }
    if (structure.verdict != Structure::Verdict::Fine)
        throw ImageFileError(Kind::Unreadable, 0);
    if (runs)
        return GrayPixels{std::move(runs->pixels), static_cast<int>(runs->width), static_cast<int>(runs->height)};
    ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(memory, FALSE, stream.put())))
        throw ImageFileError(Kind::TooLarge, E_OUTOFMEMORY);
    ULARGE_INTEGER length;
    length.QuadPart = structure.gifTrailer ? structure.decodeBytes + 1 : size;
    stream->SetSize(length);
    return decodeWithWic(stream.get(), maxPixels);
}

// The caller's section copied into a block of ours (null when there is no memory for it), because the decoders
// read from a block and a GIF's trailer is written into it; through a moving view, so that the block and the view
// together take little more than the file's size of our address space. Our handle of the section is closed
// either way. False when there is no section to be read as the request says: the caller is not one of ours.
bool copyOfFile(const worker::Request& request, HGLOBAL& memory)
{
    const Handle owned(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(request.section)));
    const HANDLE section = owned.get();
    if (request.bytes > 0 && !section)
        return false;
    memory = ::GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(std::max<std::uint64_t>(request.bytes, 1)));
    if (!memory || request.bytes == 0)
        return true;
    auto* into = static_cast<std::uint8_t*>(::GlobalLock(memory));
    constexpr std::uint64_t window = 16u << 20;  // a multiple of the allocation granularity
    for (std::uint64_t at = 0; at < request.bytes; at += window) {
        const auto length = static_cast<std::size_t>(std::min(window, request.bytes - at));
        const void* view = ::MapViewOfFile(section, FILE_MAP_READ, static_cast<DWORD>(at >> 32), static_cast<DWORD>(at),
                                           length);
        if (!view) {
            const DWORD error = ::GetLastError();
            ::GlobalUnlock(memory);
            ::GlobalFree(std::exchange(memory, nullptr));
            // Out of address space is the file's size; anything else is a section that is not what was said.
            return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_COMMITMENT_LIMIT;
        }
        std::memcpy(into + at, view, length);
        ::UnmapViewOfFile(view);
    }
    ::GlobalUnlock(memory);
    return true;
}

int serve(HANDLE pipe)
{
    for (;;) {
        worker::Request request;
        if (!readAll(pipe, &request, sizeof request) || request.magic != worker::requestMagic ||
            request.bytes > worker::maxFileBytes)
            return 0;
        // The block outlives the stream over it: both end with this request.
        HGLOBAL memory = nullptr;
        if (!copyOfFile(request, memory))
            return 1;
        worker::Reply reply;
        try {
            if (!memory)
                throw ImageFileError(ImageFileError::Kind::TooLarge, E_OUTOFMEMORY);
            const GrayPixels pixels = decode(memory, request.bytes, request.maxPixels);
            ::GlobalFree(std::exchange(memory, nullptr));
            reply.width = static_cast<std::uint32_t>(pixels.width);
            reply.height = static_cast<std::uint32_t>(pixels.height);
            reply.section = sectionOf(pixels.pixels);
        } catch (const ImageFileError& error) {
            reply = failureReply(error);
        } catch (const std::bad_alloc&) {
            reply = failureReply(ImageFileError(ImageFileError::Kind::TooLarge, E_OUTOFMEMORY));
        }
        if (memory)
            ::GlobalFree(memory);
        if (!writeAll(pipe, &reply, sizeof reply))
            return 0;
    }
}

}  // namespace
}  // namespace varnok

int wmain(int argc, wchar_t** argv)
{
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
