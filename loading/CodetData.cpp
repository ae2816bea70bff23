#include "CodetData.h"

#include <new>

#include "platform/Clock.h"
#include "platform/ComError.h"
#include "platform/Decoder.h"
#include "platform/ResultFile.h"
#include "CodetText.h"
#include "StatusTexts.h"

namespace varnok {

std::u16string codetFailureStatus(const Failure& failure, CodetStep step)
{
    std::u16string message(status::codetFailurePrefix);
    message += status::decimalText(failure.errorNumber());
    message += u" (";
    message += failure.description();
    message += status::codetFailureProcedure;
    message += status::decimalText(static_cast<int>(step));
    return message;
}

namespace {

// An error log keeps this much of the payload and of the decoder's answer: more than the longest payload a
// certificate's code holds, so a real failure is logged whole, while a hostile 100-MB payload is not copied to disk.
constexpr std::size_t maxLoggedChars = 128 * 1024;

std::u16string_view logged(std::u16string_view text)
{
    return text.substr(0, maxLoggedChars);
}

void writeResultFile(const std::u16string& path, const std::u16string& text, CodetStep& step, CodetStep create,
                     CodetStep write, CodetStep close)
{
    ResultFile file;
    step = create;
    file.create(path);
    step = write;
    file.write(resultRecord(text));
    step = close;
    file.close();
}

}  // namespace

std::u16string decodeCodet(ReaderState& state, std::u16string_view codetString, std::u16string& document,
                           CodetStep& step)
{
    std::u16string statusText = u"Error 101";
    step = CodetStep::ResetAttempts;
    for (int attempt = 0;; ++attempt) {
        step = CodetStep::LoopTest;
        if (statusText == status::ok || attempt >= maxCodetAttempts)
            return statusText;

        step = CodetStep::CopyPayload;
        const std::u16string payload(codetString);

        step = CodetStep::CheckPayload;
        if (codetString.empty()) {
            step = CodetStep::EmptyPayload;
            statusText = status::codetEmptyPayload;
            step = CodetStep::NextAttempt;
            continue;
        }

        step = CodetStep::Decode;
        document = decodePayload(payload).text();
        for (std::size_t i = 0; i < renamings().size(); ++i) {
            step = static_cast<CodetStep>(static_cast<int>(CodetStep::FirstRenaming) + 10 * static_cast<int>(i));
            replaceAll(document, renamings()[i].from, renamings()[i].to);
        }

        step = CodetStep::CreateDocument;
        state.DataDocument = XmlDocument::create();
        step = CodetStep::LoadXml;
        state.DataDocument.loadXml(document);

        step = CodetStep::CheckParse;
        if (state.DataDocument.parseErrorCode() != 0) {
            step = CodetStep::ParseFailed;
            statusText = status::codetParseError;
            step = CodetStep::NextAttempt;
            continue;
        }

        step = CodetStep::SelectRoot;
        state.DataRoot = state.DataDocument.selectRoot(u"Dane");
        step = CodetStep::CheckRoot;
        if (!state.DataRoot) {
            step = CodetStep::InvalidDocument;
            statusText = status::codetInvalidDocument;
            step = CodetStep::NextAttempt;
            continue;
        }

        step = CodetStep::CheckDecoderVerdict;
        if (state.DataRoot.childText(u"Error") != u"0") {
            step = CodetStep::DecoderFailed;
            statusText = std::u16string(status::codetDecoderFailed) + state.DataRoot.childText(u"Error_name");
            step = CodetStep::NextAttempt;
            continue;
        }

        step = CodetStep::SetOk;
        statusText = status::ok;
        step = CodetStep::NextAttempt;
    }
}

std::u16string ReadCodetData(ReaderState& state, std::u16string_view codetString, std::u16string_view localPath,
                             const std::function<std::u16string()>& registrationNumber)
{
    std::u16string folder(localPath);
    CodetStep step = CodetStep::ArmHandler;
    std::u16string statusText;
    try {
        try {
            step = CodetStep::InitStatus;
            statusText = u"Error 101";

            step = CodetStep::CheckTrailingBackslash;
            if (!folder.empty() && folder.back() == u'\\') {
                step = CodetStep::StripTrailingBackslash;
                folder.pop_back();
            }

            std::u16string document;
            statusText = decodeCodet(state, codetString, document, step);

            if (statusText == status::ok) {
                step = CodetStep::NameSavedCopy;
                const std::u16string number = registrationNumber();
                step = CodetStep::SavedCopyPath;
                folder = savedCopyPath(folder, number, currentDateTimeText());
                writeResultFile(folder, document, step, CodetStep::CreateSavedCopy, CodetStep::WriteSavedCopy,
                                CodetStep::CloseSavedCopy);
            }

            step = CodetStep::CheckOutcome;
            if (statusText == status::ok)
                return statusText;

            step = CodetStep::ErrorLogPath;
            folder = errorLogPath(folder, currentDateTimeText());
            writeResultFile(folder, errorLogText(logged(codetString), statusText, logged(document)), step, CodetStep::CreateErrorLog,
                            CodetStep::WriteErrorLog, CodetStep::CloseErrorLog);
            return statusText;
        } catch (const std::bad_alloc&) {
            throw Failure(E_OUTOFMEMORY, describeCode(E_OUTOFMEMORY));
        }
    } catch (const Failure& failure) {
        statusText = codetFailureStatus(failure, step);
        state.DataDocument = XmlDocument();
        return statusText;
    }
}

}  // namespace varnok
