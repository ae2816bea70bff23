#pragma once
// Decoding an Aztec payload into a FileReader's state, with its attempts and result files.

#include <functional>
#include <string>
#include <string_view>

#include "base/Failure.h"
#include "ReaderState.h"

namespace varnok {

// The numbered steps of ReadCodetData; a caught failure reports the step it happened in.
enum class CodetStep : int {
    ArmHandler = 10,
    InitStatus = 20,
    CheckTrailingBackslash = 30,
    StripTrailingBackslash = 40,
    ResetAttempts = 60,
    LoopTest = 70,
    CopyPayload = 80,
    CheckPayload = 100,
    Decode = 110,
    FirstRenaming = 120,  // one step per renaming, 120 to 180
    CreateDocument = 190,
    LoadXml = 200,
    CheckParse = 210,
    SelectRoot = 220,
    CheckRoot = 230,
    CheckDecoderVerdict = 240,
    SetOk = 250,
    NameSavedCopy = 260,
    SavedCopyPath = 270,
    CreateSavedCopy = 280,
    WriteSavedCopy = 290,
    CloseSavedCopy = 300,
    DecoderFailed = 320,
    InvalidDocument = 350,
    ParseFailed = 380,
    EmptyPayload = 410,
    NextAttempt = 460,
    CheckOutcome = 480,
    ErrorLogPath = 490,
    CreateErrorLog = 500,
    WriteErrorLog = 510,
    CloseErrorLog = 520,
    Handler = 550,
};

inline constexpr int maxCodetAttempts = 4;

// The decoding attempts of ReadCodetData without its result files: up to four, until one reads "OK". Returns the
// last status; `document` holds the last answer of the decoder, renamed, and `step` where it got to. A failure it
// cannot answer with a status is thrown, for the caller to report with codetFailureStatus.
std::u16string decodeCodet(ReaderState& state, std::u16string_view codetString, std::u16string& document,
                           CodetStep& step);

// "Błąd " + number + " (" + description + ") w procedurze ReadCodetData L:" + step
std::u16string codetFailureStatus(const Failure& failure, CodetStep step);

// Returns the status text. `registrationNumber` reads NrRejestracyjny as a client would; it throws on failure.
std::u16string ReadCodetData(ReaderState& state, std::u16string_view codetString, std::u16string_view localPath,
                             const std::function<std::u16string()>& registrationNumber);

}  // namespace varnok
