#include "ResultFile.h"

#include "Ansi.h"
#include "ComError.h"

namespace varnok {

namespace {

[[noreturn]] void throwLastError()
{
    const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
    throw Failure(FAILED(hr) ? hr : E_FAIL, describeFailure(FAILED(hr) ? hr : E_FAIL));
}

}  // namespace

ResultFile::~ResultFile()
{
    discard();
}

void ResultFile::create(std::u16string_view path)
{
    discard();
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
    if (!::CloseHandle(handle) || !::MoveFileExW(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING))
        throwLastError();
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
