#include "Decoder.h"

#include <windows.h>

#include <mutex>

#include "decoder/DecodeError.h"
#include "Ansi.h"
#include "ComError.h"
#include "DecoderLibrary.h"

namespace varnok {

namespace {

using DecodeFunction = BSTR(__stdcall*)(char*);
using WideDecodeFunction = BSTR(__stdcall*)(const wchar_t*);

constexpr int fileNotFoundError = 53;
constexpr int loadingError = 48;
constexpr int entryPointNotFoundError = 453;

// The process's one decoder; found once, never unloaded. Calls into it take turns: a decoder library placed
// beside the program need not be safe on two threads at once.
std::mutex decoderTurn;
DecodeFunction loadedDecoder = nullptr;
WideDecodeFunction loadedWideDecoder = nullptr;

DecodeFunction findDecoder()
{
    if (loadedDecoder)
        return loadedDecoder;
    const DecoderLibrary found = loadDecoderLibrary(executableFolder());
    if (found.path.empty())
        throw Failure::runtimeError(fileNotFoundError, u"File not found: azteccodeQELM.dll");
    // There, but not loadable here: another architecture, a missing dependency, not a library at all.
    if (!found.module)
        throw Failure::runtimeError(loadingError, u"Error in loading DLL");
    HMODULE library = found.module;
    auto function = reinterpret_cast<DecodeFunction>(reinterpret_cast<void*>(::GetProcAddress(library, decoderFunctionName)));
    if (!function) {
        // Let go of it, so that a corrected library put in its place is loaded by the next call.
        ::FreeLibrary(library);
        throw Failure::runtimeError(entryPointNotFoundError,
                                    u"Can't find DLL entry point AZTECDeCode in azteccodeQELM.dll");
    }
    loadedWideDecoder = reinterpret_cast<WideDecodeFunction>(
        reinterpret_cast<void*>(::GetProcAddress(library, wideDecoderFunctionName)));
    loadedDecoder = function;
    return loadedDecoder;
}

// What our decoder answers for characters no certificate holds, given here for a payload no decoder may see.
Bstr refusedPayloadAnswer()
{
    using decoder::DecodeError;
    static_assert(static_cast<int>(DecodeError::BadText) == 8, "the number in the answer below");
    std::u16string xml(u"<?xml version=\"1.0\"?>\r\n<Dane>\r\n  <Error>8</Error>\r\n  <Error_name>");
    xml += decoder::errorName(DecodeError::BadText);
    xml += u"</Error_name>\r\n</Dane>\r\n";
    return Bstr(xml);
}

}  // namespace

Bstr decodePayload(std::u16string_view payload)
{
    const std::lock_guard turn(decoderTurn);
    const DecodeFunction decode = findDecoder();
    // A decoder takes NUL-terminated text: it would decode what comes before a NUL and the rest would pass
    // unseen. A scanner never sends one.
    if (payload.find(u'\0') != std::u16string_view::npos)
        return refusedPayloadAnswer();
    if (loadedWideDecoder) {
        const std::wstring text(wideView(payload));
        return Bstr::attach(loadedWideDecoder(text.c_str()));
    }
    std::string ansiPayload = toAnsi(payload);
    return Bstr::attach(decode(ansiPayload.data()));
}

}  // namespace varnok
