#include "ConsoleOutput.h"

namespace varnok {

ConsoleOutput::ConsoleOutput(DWORD which) : handle_(::GetStdHandle(which))
{
    if (!handle_ || handle_ == INVALID_HANDLE_VALUE) {
        // Started from a console without redirection: a window program has no handles until it attaches.
        ::AttachConsole(ATTACH_PARENT_PROCESS);
        handle_ = ::GetStdHandle(which);
    }
    if (!handle_ || handle_ == INVALID_HANDLE_VALUE) {
        handle_ = nullptr;
        return;
    }
    DWORD mode = 0;
    if (::GetConsoleMode(handle_, &mode)) {
        kind_ = Kind::Console;
        return;
    }
    if (::GetFileType(handle_) != FILE_TYPE_PIPE) {
        kind_ = Kind::File;
        return;
    }
    kind_ = Kind::Pipe;
    UINT page = ::GetConsoleOutputCP();
    if (page == 0 && ::AttachConsole(ATTACH_PARENT_PROCESS))
        page = ::GetConsoleOutputCP();
    if (page != 0)
        codePage_ = page;
}

bool ConsoleOutput::atStart() const
{
    if (kind_ != Kind::File)
        return kind_ == Kind::Pipe;
    LARGE_INTEGER position{}, zero{};
    return ::SetFilePointerEx(handle_, zero, &position, FILE_CURRENT) && position.QuadPart == 0;
}

std::string ConsoleOutput::encoded(std::wstring_view text) const
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size = ::WideCharToMultiByte(codePage_, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(codePage_, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

void ConsoleOutput::text(std::wstring_view text) const
{
    if (kind_ == Kind::Console) {
        DWORD written = 0;
        if (!text.empty() && !::WriteConsoleW(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            error_ == ERROR_SUCCESS)
            error_ = ::GetLastError();
    } else {
        bytes(encoded(text));
    }
}

void ConsoleOutput::bytes(std::string_view bytes) const
{
    if (!handle_ || bytes.empty())
        return;
    // A full disk may take part of a write: the rest is written again, and a write that takes nothing has failed.
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) {
            const DWORD error = ::GetLastError();
            if (error_ == ERROR_SUCCESS)
                error_ = error != ERROR_SUCCESS ? error : ERROR_DISK_FULL;
            return;
        }
        bytes.remove_prefix(written);
    }
}

}  // namespace varnok
