// Which files the arguments name: folders walked with their subfolders, hidden and system entries and our own
// outputs passed over, every name from a listing checked before it becomes part of a path.

#include <algorithm>
#include <filesystem>

#include "platform/Ansi.h"
#include "platform/ComError.h"
#include "scan/ScanTool.h"

namespace varnok::scantool {

std::wstring inQuotes(const std::wstring& path) { return L"\"" + path + L"\""; }
std::u16string u16(const std::wstring& text) { return {text.begin(), text.end()}; }
std::wstring wide(std::u16string_view text) { return {text.begin(), text.end()}; }
std::string utf8(const std::wstring& text) { return varnok::toUtf8(u16(text)); }

std::wstring fromUtf8(std::string_view bytes)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    if (size > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

std::wstring joined(const std::wstring& folder, const std::wstring& name)
{
    if (name.empty())
        return folder;
    return folder + (folder.ends_with(L'\\') || folder.ends_with(L'/') ? L"" : L"\\") + name;
}

std::wstring fullPath(const std::wstring& path)
{
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    full.resize(::GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

std::wstring accessPath(const std::wstring& path)
{
    if (path.size() < 240 || path.starts_with(L"\\\\?\\"))
        return path;
    std::wstring full = fullPath(path);
    std::replace(full.begin(), full.end(), L'/', L'\\');
    if (full.starts_with(L"\\\\?\\"))
        return full;
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring systemReason(DWORD error) { return wide(varnok::describeCode(HRESULT_FROM_WIN32(error))); }

std::wstring fileNameOf(const std::wstring& path) { return std::filesystem::path(path).filename().wstring(); }

std::wstring finalPathOf(HANDLE file)
{
    std::wstring path(::GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED), L'\0');
    if (path.empty())
        return {};
    path.resize(::GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED));
    return path;
}

std::optional<FileIdentity> identityOf(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info))
        return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

std::optional<FileIdentity> identityOf(const std::wstring& path)
{
    HANDLE file = ::CreateFileW(accessPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const auto identity = identityOf(file);
    ::CloseHandle(file);
    return identity;
}

namespace {

// Up to `size` bytes from the start of a file, or from its end.
std::string bytesOf(const std::wstring& path, DWORD size, bool fromEnd)
{
    HANDLE file = ::CreateFileW(accessPath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    LARGE_INTEGER length{};
    std::string bytes;
    if (::GetFileSizeEx(file, &length)) {
        const LONGLONG take = std::min<LONGLONG>(length.QuadPart, size);
        LARGE_INTEGER at{};
        at.QuadPart = fromEnd ? length.QuadPart - take : 0;
        bytes.resize(static_cast<std::size_t>(take));
        DWORD read = 0;
        if (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
            !::ReadFile(file, bytes.data(), static_cast<DWORD>(take), &read, nullptr))
            read = 0;
        bytes.resize(read);
    }
    ::CloseHandle(file);
    return bytes;
}

}  // namespace

bool isOwnOutput(const std::wstring& path)
{
    std::string head = bytesOf(path, 4096, false);
    if (head.starts_with("\xEF\xBB\xBF"))
        head.erase(0, 3);
    if (head.starts_with("{\"NumerDR\":"))
        return true;
    // The header of our CSV, with whichever list separator it was written.
    constexpr std::string_view first = "NumerDR";
    if (head.starts_with(first) && head.size() > first.size()) {
        const std::string header = scan::csvHeader(head.substr(first.size(), 1));
        if (head.starts_with(header))
            return true;
    }
    // The workbook: its zip directory's end record, comment and all, closes the file.
    const std::string tail = bytesOf(path, 22 + static_cast<DWORD>(workbookMark.size()), true);
    return tail.size() == 22 + workbookMark.size() && tail.starts_with("PK\x05\x06") &&
           static_cast<unsigned char>(tail[20]) == (workbookMark.size() & 0xFF) &&
           static_cast<unsigned char>(tail[21]) == (workbookMark.size() >> 8) && tail.ends_with(workbookMark);
}

namespace {

bool isOutput(const OutputFile& output, const std::wstring& path, const std::wstring& name)
{
    if (output.name.empty())
        return false;
    // The workbook being written under its temporary name (Outputs.cpp) beside the old one.
    const std::wstring temporary = output.name + L".~";
    if (name.size() > temporary.size() + 4 && name.ends_with(L".tmp") &&
        ::CompareStringOrdinal(name.c_str(), static_cast<int>(temporary.size()), temporary.c_str(), -1, TRUE) == CSTR_EQUAL)
        return true;
    if (::CompareStringOrdinal(name.c_str(), -1, output.name.c_str(), -1, TRUE) != CSTR_EQUAL)
        return false;
    if (!output.full.empty() &&
        ::CompareStringOrdinal(fullPath(path).c_str(), -1, output.full.c_str(), -1, TRUE) == CSTR_EQUAL)
        return true;
    return output.identity && identityOf(path) == output.identity;
}

// One folder's entries; hidden and system ones, the output and our other outputs are counted, not listed.
scan::FolderListing listFolder(const std::wstring& folder, const OutputFile& output)
{
    scan::FolderListing listing;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW(joined(accessPath(folder), L"*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
            listing.error = utf8(systemReason(error));
        return listing;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        scan::FolderEntry entry;
        entry.name = name;
        entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A name that is not one name is the walk's to refuse, before anything joins it to a path.
        const bool plain = name.find_first_of(L"\\/:") == std::wstring::npos;
        // Links to folders are not followed: a walk never loops or leaves the folder given.
        entry.skipped = plain && ((found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0 ||
                                  (entry.folder && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) ||
                                  (!entry.folder && isOutput(output, joined(folder, name), name)) ||
                                  (!entry.folder && !scan::isImageFileName(name) && isOwnOutput(joined(folder, name))));
        listing.entries.push_back(std::move(entry));
    } while (::FindNextFileW(search, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(search);
    if (error != ERROR_NO_MORE_FILES)
        listing.error = utf8(systemReason(error));
    return listing;
}

}  // namespace

std::vector<Item> itemsOf(const std::vector<std::wstring>& arguments, const OutputFile& output, int& skipped)
{
    std::vector<Item> items;
    for (const std::wstring& argument : arguments) {
        const DWORD attributes = ::GetFileAttributesW(accessPath(argument).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            items.push_back({argument, argument, Item::Kind::File, {}});
            continue;
        }
        const scan::Walk walk = scan::walkFolder(
            [&](const std::filesystem::path& relative) { return listFolder(joined(argument, relative.wstring()), output); });
        skipped += walk.skipped;
        for (const scan::WalkedFile& file : walk.files) {
            using K = scan::WalkedFile::Kind;
            const std::wstring relative = file.relative.wstring(), path = joined(argument, relative);
            // Rows of several folders keep the folder as given, so that they cannot look alike.
            const std::wstring shown = arguments.size() == 1 && !relative.empty() ? relative : path;
            items.push_back({shown, path,
                             file.kind == K::File          ? Item::Kind::File
                             : file.kind == K::Unsupported ? Item::Kind::Unsupported
                             : file.kind == K::BadName     ? Item::Kind::BadName
                                                           : Item::Kind::UnreadableFolder,
                             fromUtf8(file.error)});
        }
    }
    return items;
}

}  // namespace varnok::scantool
