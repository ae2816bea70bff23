#include "ImageFile.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "ComPtr.h"
#include "imaging/ImageHeader.h"
#include "ImageWorker.h"
#include "PdfImages.h"

namespace varnok {

namespace {

using Kind = ImageFileError::Kind;

[[noreturn]] void fail(Kind kind, HRESULT hr) { throw ImageFileError(kind, hr); }

ComPtr<IStream> openFile(const std::wstring& path)
{
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = path.empty() ? ERROR_FILE_NOT_FOUND : ::GetLastError();
        fail(error == ERROR_ACCESS_DENIED ? Kind::NoAccess : Kind::NotFound, HRESULT_FROM_WIN32(error));
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        fail(Kind::NotFound, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    ComPtr<IStream> stream;
    const HRESULT hr = ::SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE, FILE_ATTRIBUTE_NORMAL,
                                                FALSE, nullptr, stream.put());
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
        fail(Kind::NotFound, hr);
    if (FAILED(hr))
        fail(Kind::NoAccess, hr);
    return stream;
}

// The file's first bytes, refused by the size they declare before any decoder sees them.
std::vector<std::uint8_t> refuseDeclaredSize(IStream* stream, std::uint64_t maxPixels)
{
    std::vector<std::uint8_t> head(imageHeaderBytes);
    ULONG read = 0;
    // The file opened but cannot be read (a range locked by another program): a matter of access, not of format.
    if (const HRESULT hr = stream->Read(head.data(), static_cast<ULONG>(head.size()), &read); FAILED(hr))
        fail(Kind::NoAccess, hr);
    const LARGE_INTEGER start{};
    if (const HRESULT hr = stream->Seek(start, STREAM_SEEK_SET, nullptr); FAILED(hr))
        fail(Kind::NoAccess, hr);
    if (const auto size = declaredSize(std::span<const std::uint8_t>(head.data(), read));
        size && size->width * size->height > maxPixels)
        throw ImageFileError(Kind::TooLarge, S_OK, static_cast<std::uint32_t>(size->width),
                             static_cast<std::uint32_t>(size->height));
    head.resize(read);
    return head;
}

}  // namespace

void visitGrayImages(std::wstring_view path, std::uint64_t maxPixels,
                     const std::function<bool(const ImageCandidate&)>& visit)
{
    const ComPtr<IStream> stream = openFile(std::wstring(path));
    if (isPdf(stream.get())) {
        visitPdfImages(stream.get(), maxPixels, visit);
        return;
    }
    std::vector<std::uint8_t> head = refuseDeclaredSize(stream.get(), maxPixels);
    STATSTG stat{};
    if (const HRESULT hr = stream->Stat(&stat, STATFLAG_NONAME); FAILED(hr))
        fail(Kind::NoAccess, hr);
    // The worker checks the whole file again; what the first bytes already show needs no trip there: a refusal
    // found in a part holds for the whole, and a GIF's first frame within them is all the worker needs.
    const Structure early = checkStructure(head);
    if (early.verdict != Structure::Verdict::Fine)
        fail(Kind::Unreadable, S_OK);
    ImageCandidate candidate;
    try {
        if (early.gifTrailer) {
            head.resize(static_cast<std::size_t>(early.decodeBytes));
            head.push_back(0x3B);
            candidate.image = decodeInWorker(head, maxPixels);
        } else {
            candidate.image = decodeInWorker(stream.get(), stat.cbSize.QuadPart, maxPixels);
        }
    } catch (ImageFileError& error) {
        if (error.kind() == Kind::NoDecoder)
            error.setFormat(formatName(head));
        throw;
    }
    visit(candidate);
}

GrayPixels decodeGrayImage(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels)
{
    try {
        return decodeInWorker(bytes, maxPixels);
    } catch (const ImageFileError& error) {
        if (error.kind() == Kind::NoDecoder)
            fail(Kind::Unreadable, error.code());
        throw;
    }
}

}  // namespace varnok
