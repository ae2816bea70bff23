#include "DataFile.h"

#include <new>
#include <optional>

#include "platform/ComError.h"
#include "platform/FileSystem.h"
#include "StatusTexts.h"

namespace varnok {

namespace {

std::u16string handlerMessage(const Failure& failure, ReadDataStep step)
{
    std::u16string message(status::readDataFailurePrefix);
    message += failure.description();
    message += status::stepPrefix;
    message += status::decimalText(static_cast<int>(step));
    return message;
}

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// "C:\x", "\\server\share\x", "\\?\...": a path that names the same file from any folder. "x.xml", "C:x.xml" and
// "\x.xml" depend on a current folder or drive, which a COM server shares with no client.
bool isFullyQualified(std::u16string_view path)
{
    if (path.size() >= 3 && path[1] == u':' && isSeparator(path[2]))
        return (path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z');
    return path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]);
}

}  // namespace

std::u16string ReadData(ReaderState& state, std::u16string_view filePath)
{
    if (filePath.empty())
        return std::u16string(status::readDataBadPath);

    if (!isFullyQualified(filePath))
        return std::u16string(status::readDataNoFile) + std::u16string(filePath);

    std::optional<FileSystem> fileSystem = FileSystem::create();
    if (!fileSystem->fileExists(filePath))
        return std::u16string(status::readDataNoFile) + std::u16string(filePath);

    ReadDataStep step = ReadDataStep::ArmHandler;
    try {
        try {
            step = ReadDataStep::CreateDocument;
            state.DataDocument = XmlDocument::create();

            step = ReadDataStep::LoadFile;
            const FileLoad load = state.DataDocument.loadFile(filePath);

            step = ReadDataStep::SelectRoot;
            state.DataRoot = load == FileLoad::Loaded ? state.DataDocument.selectRoot(u"dane") : XmlNode();
            // No property may hand a client more text than any certificate holds.
            const bool withinLimits = !state.DataRoot || fields::fieldTextsWithinLimit(state.DataRoot);
            if (!withinLimits)
                state.DataRoot = XmlNode();

            step = ReadDataStep::ReleaseFileSystem;
            fileSystem.reset();

            // A file that is not XML, or not a data document, must not pass for a successful load.
            step = ReadDataStep::SetStatus;
            if (state.DataRoot)
                return std::u16string(status::ok);
            // A file that cannot be opened (locked, no access) is as unreadable as one that is not XML, and one
            // with a DTD as one a DOM that prohibits DTDs refuses to parse.
            return std::u16string(load == FileLoad::Unreadable ? status::readDataParseError
                                                               : status::readDataInvalidDocument);
        } catch (const std::bad_alloc&) {
            throw Failure(E_OUTOFMEMORY, describeCode(E_OUTOFMEMORY));
        }
    } catch (const Failure& failure) {
        fileSystem.reset();
        state.DataDocument = XmlDocument();
        return handlerMessage(failure, step);
    }
}

void CloseData(ReaderState& state) noexcept
{
    state.DataDocument = XmlDocument();
    state.DataRoot.forgetLookups();
}

}  // namespace varnok
