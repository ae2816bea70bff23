#include "ResultFile.h"

#include <bcrypt.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "Ansi.h"
#include "ComError.h"
#include "base/PathNames.h"

namespace varnok {

ResultFile::~ResultFile()
{
    discard();
}

namespace {

// Far more files of one name (one second) than any client writes.
constexpr unsigned maxCollisions = 9999;
// Names carry the second they were written in, so only the last few matter.
constexpr std::size_t maxRememberedNames = 256;

bool nameTaken(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

// The number to try after the plain name for each name this process has written: a client that saves the same
// certificate many times a second pays for two renames, not for one per earlier copy. The plain name is always
// tried first, so a name freed meanwhile is taken again, as it always was.
class NextFreeNumber {
public:
    unsigned after(const std::wstring& path)
    {
        const std::lock_guard lock(mutex_);
        const auto found = next_.find(path);
        return found == next_.end() ? 2 : found->second;
    }
    void taken(const std::wstring& path, unsigned n)
    {
        const std::lock_guard lock(mutex_);
        if (next_.size() >= maxRememberedNames && !next_.contains(path))
            next_.clear();
        next_[path] = n == 1 ? 2 : n + 1;
    }

private:
    std::mutex mutex_;
    std::map<std::wstring, unsigned> next_;
};

NextFreeNumber nextFreeNumber;

// 128 random bits: nobody can plant a link at a name that is not known before the file exists.
std::wstring randomSuffix()
{
    unsigned char bytes[16];
    const NTSTATUS status = ::BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) {
        const HRESULT hr = HRESULT_FROM_NT(status);
        throw Failure(hr, describeCode(hr));
    }
    static constexpr wchar_t digits[] = L"0123456789abcdef";
    std::wstring text;
    for (unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

// Renames the file behind the handle, so that what lands under the name is the file written here whatever
// happened to the temporary name meanwhile. False when the name is taken.
bool renameHandle(HANDLE handle, const std::wstring& target)
{
    const std::size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(buffer.data() + offsetof(FILE_RENAME_INFO, FileName), target.data(), nameBytes);
    if (::SetFileInformationByHandle(handle, FileRenameInfo, info, static_cast<DWORD>(buffer.size())))
        return true;
    if (!nameTaken(::GetLastError()))
        throwLastError();
    return false;
}

// The temporary name beside `path`, written in the form that lifts the length limit when it alone would pass it:
// a result whose own path fits is written whatever the temporary name adds.
std::wstring temporaryName(const std::wstring& path)
{
    const std::wstring temporary = path + L"." + randomSuffix() + L".tmp";
    if (temporary.size() < MAX_PATH)
        return temporary;
    const DWORD size = ::GetFullPathNameW(temporary.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        throwLastError();
    std::wstring full(size, L'\0');
    full.resize(::GetFullPathNameW(temporary.c_str(), size, full.data(), nullptr));
    if (full.rfind(L"\\\\?\\", 0) == 0)
        return full;
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace

void ResultFile::create(std::u16string_view path)
{
    discard();
    if (!isAbsolutePath(path)) {
        const HRESULT hr = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        throw Failure(hr, describeCode(hr));
    }
    path_.assign(wideView(path));
    // Beside the target, so that the rename stays within one volume. CREATE_NEW never opens what is already
    // there, a link included; no sharing, so nobody else opens, links or renames the file while it is ours.
    const std::wstring temporary = temporaryName(path_);
    handle_ = ::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
        throwLastError();
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
    // Without replacing, the rename fails on a taken name, atomically: two servers writing the same name in the
    // same second both keep their file.
    unsigned n = 1;
    if (!renameHandle(handle_, path_)) {
        for (n = nextFreeNumber.after(path_);; ++n) {
            if (n > maxCollisions) {
                const HRESULT hr = HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
                throw Failure(hr, describeCode(hr));
            }
            if (renameHandle(handle_, std::wstring(wideView(collisionName(u16View(path_), n)))))
                break;
        }
    }
    nextFreeNumber.taken(path_, n);
    const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    if (!::CloseHandle(handle))
        throwLastError();
}

void ResultFile::discard() noexcept
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return;
    // Deleted through the handle: only the file written here can go, whatever its name now leads to.
    FILE_DISPOSITION_INFO disposition{TRUE};
    ::SetFileInformationByHandle(handle_, FileDispositionInfo, &disposition, sizeof disposition);
    ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
}

}  // namespace varnok
