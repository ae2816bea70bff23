#include "Decoder.h"

#include <windows.h>

#include "ComError.h"
#include "DecoderLibrary.h"

namespace varnok {

namespace {

using DecodeFunction = BSTR(__stdcall*)(char*);

constexpr int fileNotFoundError = 53;
constexpr int loadingError = 48;
constexpr int entryPointNotFoundError = 453;

// The process's one decoder; found once, never unloaded.
DecodeFunction loadedDecoder = nullptr;

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
    loadedDecoder = function;
    return loadedDecoder;
}

}  // namespace

Bstr decodePayload(std::string& ansiPayload)
{
    const DecodeFunction decode = findDecoder();
    ansiPayload.push_back('\0');
    Bstr result = Bstr::attach(decode(ansiPayload.data()));
    ansiPayload.pop_back();
    return result;
}

}  // namespace varnok
