#include "ImageRead.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "worker/Protocol.h"

namespace varnok::sandbox {

namespace {

using Kind = ImageFileError::Kind;

[[noreturn]] void fail(Kind kind, DWORD error) { throw ImageFileError(kind, static_cast<long>(HRESULT_FROM_WIN32(error))); }

Handle openFile(const std::wstring& path)
{
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = path.empty() ? ERROR_FILE_NOT_FOUND : ::GetLastError();
        fail(error == ERROR_ACCESS_DENIED ? Kind::NoAccess : Kind::NotFound, error);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        fail(Kind::NotFound, ERROR_FILE_NOT_FOUND);
    Handle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        fail(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Kind::NotFound : Kind::NoAccess, error);
    }
    return file;
}

// The file's first `size` bytes in a section of their own, filled through a moving view so that a large file
// never takes that much of our address space at once.
Handle fileSection(HANDLE file, std::uint64_t size)
{
    if (size == 0)
        return {};
    Handle section(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(size >> 32),
                                        static_cast<DWORD>(size), nullptr));
    if (!section)
        fail(Kind::TooLarge, ::GetLastError());
    constexpr std::uint64_t window = 16u << 20;  // a multiple of the allocation granularity
    for (std::uint64_t at = 0; at < size; at += window) {
        const auto length = static_cast<DWORD>(std::min(window, size - at));
        void* view = ::MapViewOfFile(section.get(), FILE_MAP_WRITE, static_cast<DWORD>(at >> 32),
                                     static_cast<DWORD>(at), length);
        if (!view)
            fail(Kind::TooLarge, ::GetLastError());
        DWORD done = 0;
        DWORD error = ERROR_SUCCESS;
        while (done < length) {
            DWORD got = 0;
            if (!::ReadFile(file, static_cast<std::uint8_t*>(view) + done, length - done, &got, nullptr)) {
                error = ::GetLastError();
                break;
            }
            if (got == 0)
                break;
            done += got;
        }
        ::UnmapViewOfFile(view);
        // A range locked by another program is a matter of access, not of format.
        if (error != ERROR_SUCCESS)
            fail(Kind::NoAccess, error);
        if (done < length)  // the file got shorter while we read it
            fail(Kind::Unreadable, ERROR_HANDLE_EOF);
    }
    return section;
}

worker::FileOutcome read(WorkerPool& workers, std::wstring_view path)
{
    const Handle file = openFile(std::wstring(path));
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size))
        fail(Kind::NoAccess, ::GetLastError());
    const auto fileSize = static_cast<std::uint64_t>(size.QuadPart);
    // A file too large to hand over whole is judged by its first bytes: they tell a PDF or the size it declares.
    const std::uint64_t bytes = fileSize > worker::maxFileBytes ? worker::headBytes : fileSize;
    const Handle section = fileSection(file.get(), bytes);
    return workers.with([&](WorkerProcess& worker) { return worker.read(section.get(), bytes, fileSize); });
}

}  // namespace

worker::FileOutcome readImageFile(WorkerPool& workers, std::wstring_view path)
{
    worker::FileOutcome outcome;
    try {
        outcome = read(workers, path);
    } catch (const ImageFileError& error) {
        outcome.error = error;
    } catch (const Win32Failure& failure) {
        outcome.error = ImageFileError(Kind::Unreadable, static_cast<long>(HRESULT_FROM_WIN32(failure.error)));
    } catch (const std::bad_alloc&) {
        outcome.error = ImageFileError(Kind::TooLarge, static_cast<long>(E_OUTOFMEMORY));
    }
    return outcome;
}

}  // namespace varnok::sandbox
