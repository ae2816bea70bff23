#pragma once
// Text for a standard handle as whoever reads it shows it: UTF-16 to a console; the console's code page to a pipe
// when the process has a console (so that "| more" and "| findstr" show Polish letters); UTF-8 otherwise, to a file
// or to a pipe of a program that started us without a console.

#include <windows.h>

#include <string>
#include <string_view>

namespace varnok {

class ConsoleOutput {
public:
    enum class Kind { None, Console, Pipe, File };

    // A window program (no console of its own) borrows its parent's console, if any, to learn its code page.
    explicit ConsoleOutput(DWORD which);

    Kind kind() const { return kind_; }
    bool console() const { return kind_ == Kind::Console; }
    // What text goes out as on a file or pipe: a code page, CP_UTF8 where there is no console to follow.
    UINT codePage() const { return codePage_; }
    // A file still empty where we write (not one appended to with ">>"), or a pipe: where a byte-order mark belongs.
    bool atStart() const;
    HANDLE handle() const { return handle_; }

    // Each write is checked: after the first that fails, failed() is true and error() says why.
    void text(std::wstring_view text) const;
    void bytes(std::string_view bytes) const;
    bool failed() const { return error_ != ERROR_SUCCESS; }
    DWORD error() const { return error_; }
    // Text in codePage(); characters it lacks become the system's replacement.
    std::string encoded(std::wstring_view text) const;

private:
    HANDLE handle_ = nullptr;
    Kind kind_ = Kind::None;
    UINT codePage_ = CP_UTF8;
    mutable DWORD error_ = ERROR_SUCCESS;
};

}  // namespace varnok
