#include "ScanFiles.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace varnok::scan {

using aztec::ReadFailure;
using aztec::ReadResult;

bool isImageFileName(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* known : {".png", ".jpg", ".jpeg", ".bmp", ".gif", ".tif", ".tiff"})
        if (extension == known)
            return true;
    return false;
}

std::vector<std::filesystem::path> imageFilesOf(const std::filesystem::path& argument)
{
    std::error_code error;
    if (!std::filesystem::is_directory(argument, error))
        return {argument};
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argument, error))
        if (entry.is_regular_file(error) && isImageFileName(entry.path()))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string scanLine(const std::string& file, const ReadResult& result)
{
    if (result.failure == ReadFailure::None)
        return file + '\t' + result.bytes;
    return file + "\t!\t" + result.reason;
}

std::string sequenceNote(const std::string& file, const ReadResult& result)
{
    if (result.failure != ReadFailure::None || !result.sequence)
        return {};
    const auto& s = *result.sequence;
    return file + ": part " + std::to_string(s.index) + " of " + std::to_string(s.count) +
           (s.id.empty() ? "" : ", id " + s.id);
}

int scanExitCode(int files, int failures) { return files > 0 && failures == 0 ? 0 : 1; }

}  // namespace varnok::scan
