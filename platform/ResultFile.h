#pragma once
// A result file written in three steps (create, write, close) so that the caller can report which one failed.
// The text goes to a temporary file in the same folder and is renamed into place on close: a result file is
// complete or absent, never partial, and no handle stays open after a failure.

#include <windows.h>

#include <string>
#include <string_view>

namespace varnok {

class ResultFile {
public:
    ResultFile() = default;
    ~ResultFile();
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;

    // Creates the file's temporary twin under a random name that must not exist yet (a link planted in the folder
    // is never opened); fails when the folder is missing, read-only or refuses the name, and like a missing folder
    // when the path is not absolute (it would land wherever the server happens to run).
    void create(std::u16string_view path);
    // Writes the text in the ANSI code page.
    void write(std::u16string_view text);
    // Renames the file this handle holds into place, then closes it. An existing file is never replaced: the name
    // gets "_2", "_3", ... before its extension instead.
    void close();

private:
    void discard() noexcept;

    std::wstring path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace varnok
