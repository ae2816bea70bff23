// By hand on Windows: whether a client of another user can call into a server it did not start. COM gives every
// user a server of their own, so only a reference handed over (here through a file) reaches someone else's.
//   ShareReader share FILE   creates a FileReader, writes a reference to it into FILE and keeps the object until
//                            Enter; each Enter writes a fresh reference (one is used up by one `call`), q ends
//   ShareReader call FILE    calls ReadData through the reference: "served: ..." (exit 0), "refused: 0x80070005"
//                            or "failed: 0x..." (exit 1)

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "VarnokSrv.h"
#include "platform/ComPtr.h"

using namespace varnok;

namespace {

int refused(const char* step, HRESULT hr)
{
    std::printf("%s: 0x%08lX (%s)\n", hr == E_ACCESSDENIED ? "refused" : "failed", static_cast<unsigned long>(hr),
                step);
    return 1;
}

bool writeReference(_FileReader* reader, const wchar_t* path)
{
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put())) ||
        FAILED(CoMarshalInterface(stream.get(), IID__FileReader, reader, MSHCTX_LOCAL, nullptr, MSHLFLAGS_NORMAL)))
        return false;
    HGLOBAL memory = nullptr;
    GetHGlobalFromStream(stream.get(), &memory);
    const auto* bytes = static_cast<const char*>(GlobalLock(memory));
    std::ofstream(path, std::ios::binary).write(bytes, static_cast<std::streamsize>(GlobalSize(memory)));
    GlobalUnlock(memory);
    return true;
}

int share(const wchar_t* path)
{
    ComPtr<_FileReader> reader;
    if (const HRESULT hr = CoCreateInstance(CLSID_FileReader, nullptr, CLSCTX_LOCAL_SERVER, IID__FileReader,
                                            reader.putVoid());
        FAILED(hr))
        return refused("CoCreateInstance", hr);
    do {
        if (!writeReference(reader.get(), path))
            return refused("CoMarshalInterface", E_FAIL);
        std::printf("shared: %ls (Enter: a fresh reference, q Enter: end)\n", path);
        std::fflush(stdout);
    } while (std::getchar() != 'q');
    return 0;
}

int call(const wchar_t* path)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ComPtr<IStream> stream;
    if (bytes.empty() || FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put())))
        return refused("no reference in the file", E_INVALIDARG);
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    ComPtr<_FileReader> reader;
    if (const HRESULT hr = CoUnmarshalInterface(stream.get(), IID__FileReader, reader.putVoid()); FAILED(hr))
        return refused("CoUnmarshalInterface", hr);
    Bstr status;
    if (const HRESULT hr = reader->ReadData(Bstr(u"").get(), status.put()); FAILED(hr))
        return refused("ReadData", hr);
    std::printf("served: ReadData answered \"%s\"\n", test::utf8(std::wstring(wideView(status.view()))).c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 2 ? argv[1] : L"";
    test::ComApartment apartment;
    if (command == L"share")
        return share(argv[2]);
    if (command == L"call")
        return call(argv[2]);
    std::fprintf(stderr, "usage: ShareReader share FILE | call FILE\n");
    return 2;
}
