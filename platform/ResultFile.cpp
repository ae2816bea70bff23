#include "ResultFile.h"

#include "Ansi.h"
#include "ComError.h"
#include "PathNames.h"

namespace varnok {

ResultFile::~ResultFile()
{
    discard();
}

namespace {

// Far more files of one name (one second) than any client writes.
constexpr unsigned maxCollisions = 9999;

bool nameTaken(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

}  // namespace

void ResultFile::create(std::u16string_view path)
{
    discard();
    if (!isAbsolutePath(path)) {
        const HRESULT hr = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        throw Failure(hr, describeCode(hr));
    }
    path_.assign(wideView(path));
    // Beside the target, so that the rename stays within one volume; the process id keeps servers apart.
    temporary_ = path_ + L"." + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
    handle_ = ::CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        temporary_.clear();
        throwLastError();
    }
}

void ResultFile::write(std::u16string_view text)
{
    const std::string bytes = toAnsi(text);
    DWORD written = 0;
    if (!::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        throwLastError();
}

void ResultFile::close()
{
    const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    if (!::CloseHandle(handle))
        throwLastError();
    // Without MOVEFILE_REPLACE_EXISTING the rename fails on a taken name, atomically: two servers writing the
    // same name in the same second both keep their file.
    std::wstring target = path_;
    for (unsigned n = 2; !::MoveFileExW(temporary_.c_str(), target.c_str(), 0); ++n) {
        if (!nameTaken(::GetLastError()) || n > maxCollisions)
            throwLastError();
        target.assign(wideView(collisionName(u16View(path_), n)));
    }
    temporary_.clear();
}

void ResultFile::discard() noexcept
{
    if (handle_ != INVALID_HANDLE_VALUE)
        ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
    if (!temporary_.empty())
        ::DeleteFileW(temporary_.c_str());
    temporary_.clear();
}

}  // namespace varnok
