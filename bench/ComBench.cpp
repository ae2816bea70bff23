// VarnokSrv against its baseline (the same server plumbing with members that do no work), side by side in one
// run: property reads out of process through the vtable and by name, ReadCodetData end to end against the sum of
// its parts timed in this process plus one baseline round trip, cold activation, and the server's memory and
// handles over many load-read-close cycles. Prints min/median/max; asserts nothing.
// Usage: ComBench <sample.xml> <payload file> <our decoder library> <scratch folder> [cycles]

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ProcessUsage.h"
#include "TestSupport.h"
#include "VarnokSrv.h"
#include "VarnokSrvImage.h"
#include "loading/CodetText.h"
#include "platform/ComPtr.h"
#include "platform/ResultFile.h"
#include "platform/UserLocale.h"
#include "platform/XmlDom.h"

using namespace varnok;
using namespace varnok::test;

namespace {

struct Server {
    const wchar_t* progId;
    const wchar_t* iid;
    const wchar_t* executable;
};
const Server product{L"VarnokSrv.FileReader", L"{828403FC-4836-4F34-B09D-33ED4C913C0B}", L"VarnokSrv.exe"};
const Server baseline{L"VarnokBaseline.FileReader", L"{AD9E3D46-5C5C-4AE8-8D48-FDEB5182ADE5}", L"VarnokBaseline.exe"};

struct Figures {
    double min, median, max;
};

double now()
{
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

Figures figures(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples.front(), samples[samples.size() / 2], samples.back()};
}

// Microseconds per call of `body`, over `rounds` rounds of `calls` calls.
Figures measure(int rounds, int calls, const std::function<void()>& body)
{
    std::vector<double> perCall;
    for (int round = 0; round < rounds; ++round) {
        const double start = now();
        for (int i = 0; i < calls; ++i)
            body();
        perCall.push_back((now() - start) * 1e6 / calls);
    }
    return figures(std::move(perCall));
}

void print(const char* what, const Figures& f)
{
    std::printf("  %-52s %10.1f %10.1f %10.1f\n", what, f.min, f.median, f.max);
}

void verdict(const char* what, double ratio, double target)
{
    std::printf("  %-52s %10.2f   target <= %.2f  %s\n", what, ratio, target, ratio <= target ? "met" : "MISSED");
}

// Every phase has a deadline: a call into a server that never answers (or a COM runtime waiting for one) ends
// the run with a message instead of hanging it. The watchdog thread only reads; phases set what it watches.
std::atomic<const char*> phaseName{"start"};
std::atomic<double> phaseDeadline{0};

class Phase {
public:
    Phase(const char* name, double seconds)
    {
        phaseName = name;
        phaseDeadline = now() + seconds;
    }
    ~Phase() { phaseDeadline = 0; }
    Phase(const Phase&) = delete;
    Phase& operator=(const Phase&) = delete;
};

void watch()
{
    for (;;) {
        Sleep(200);
        const double deadline = phaseDeadline;
        if (deadline == 0 || now() < deadline)
            continue;
        std::fprintf(stderr,
                     "ComBench: \"%s\" did not finish in time (VarnokSrv.exe %s, VarnokBaseline.exe %s); giving up\n",
                     phaseName.load(), processRunning(L"VarnokSrv.exe") ? "running" : "not running",
                     processRunning(L"VarnokBaseline.exe") ? "running" : "not running");
        std::fflush(stderr);
        ExitProcess(3);
    }
}

ComPtr<_FileReader> create(const Server& server)
{
    CLSID clsid;
    IID iid;
    CLSIDFromProgID(server.progId, &clsid);
    IIDFromString(server.iid, &iid);
    ComPtr<_FileReader> reader;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, iid, reader.putVoid());
    if (FAILED(hr))
        throw std::runtime_error("cannot create " + utf8(server.progId));
    return reader;
}

// A cold activation needs the previous server gone; one that outlives its 2-s grace by far is stuck.
void waitForExit(const wchar_t* executable)
{
    for (int i = 0; i < 200 && processRunning(executable); ++i)
        Sleep(50);
    if (processRunning(executable))
        throw std::runtime_error(utf8(executable) + " still runs 10 s after its last client; no cold activation");
}

std::wstring text(BSTR value) { return value ? std::wstring(value, SysStringLen(value)) : std::wstring(); }

}  // namespace

namespace {

int run(int argc, wchar_t** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: ComBench <sample.xml> <payload file> <decoder library> <scratch folder> [cycles]\n");
        return 2;
    }
    const Bstr sample(u16View(argv[1]));
    const std::vector<char> payloadBytes = readBytes(argv[2]);
    const std::wstring payloadText(payloadBytes.begin(), payloadBytes.end());
    const Bstr payload(u16View(payloadText));
    const std::wstring decoderPath = argv[3];
    const Bstr folder(u16View(argv[4]));
    const int cycles = argc > 5 ? std::stoi(argv[5]) : 10000;
    ComApartment apartment;
    constexpr int rounds = 9;
    std::thread(watch).detach();

    std::printf("microseconds per call                                      min     median        max\n");
    // Rounds alternate between the two servers, so that drift in the machine's speed hits both alike.
    Figures vtable[2], byName[2];
    const Server* servers[2] = {&product, &baseline};
    {
        const Phase phase("property reads", 300);
        ComPtr<_FileReader> readers[2] = {create(product), create(baseline)};
        for (auto& reader : readers) {
            Bstr status;
            reader->ReadData(sample.get(), status.put());
        }
        std::vector<double> vtableRounds[2], nameRounds[2];
        for (int round = 0; round < rounds; ++round) {
            for (int s = 0; s < 2; ++s) {
                _FileReader* reader = readers[s].get();
                vtableRounds[s].push_back(measure(1, 2000, [&] {
                    Bstr value;
                    reader->get_NrRejestracyjny(value.put());
                }).median);
                nameRounds[s].push_back(measure(1, 2000, [&] {
                    LPOLESTR name = const_cast<LPOLESTR>(L"NrRejestracyjny");
                    DISPID id;
                    reader->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
                    DISPPARAMS none{};
                    Variant result;
                    reader->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result.put(),
                                   nullptr, nullptr);
                }).median);
            }
        }
        for (int s = 0; s < 2; ++s) {
            vtable[s] = figures(vtableRounds[s]);
            byName[s] = figures(nameRounds[s]);
        }
    }
    // What VarnokSrv does on top of the baseline for one read, timed in this process.
    XmlDocument sampleDocument = XmlDocument::create();
    sampleDocument.loadFile(sample.text());
    const XmlNode sampleRoot = sampleDocument.selectRoot(u"dane");
    const Figures lookup = measure(rounds, 2000, [&] {
        if (sampleRoot.childText(u"A").empty())
            throw std::runtime_error("the sample has no A");
    });
    print("property read, vtable: VarnokSrv", vtable[0]);
    print("property read, vtable: baseline", vtable[1]);
    print("property read, by name: VarnokSrv", byName[0]);
    print("property read, by name: baseline", byName[1]);
    print("  in this process: selectSingleNode and text of A", lookup);

    // NormalizeNumber on a hostile element: once one conversion per character, now one pass.
    {
        const std::u16string digitsThenText = std::u16string(80000, u'7') + std::u16string(80000, u'x');
        const std::u16string textOnly(160000, u'x');
        const UserLocale locale;
        print("  NormalizeNumber, 160,000 chars: digits, then text",
              measure(rounds, 5, [&] { fields::NormalizeNumber(digitsThenText, locale); }));
        print("  NormalizeNumber, 160,000 chars: text only",
              measure(rounds, 5, [&] { fields::NormalizeNumber(textOnly, locale); }));
    }

    // ReadCodetData end to end, and its parts in this process.
    Figures endToEnd, baselineTrip;
    {
        const Phase phase("ReadCodetData end to end", 300);
        auto reader = create(product);
        endToEnd = measure(rounds, 50, [&] {
            Bstr status;
            reader->ReadCodetData(payload.get(), folder.get(), status.put());
            if (text(status.get()) != L"OK")
                throw std::runtime_error("ReadCodetData: " + utf8(text(status.get())));
        });
        auto other = create(baseline);
        baselineTrip = measure(rounds, 200, [&] {
            Bstr status;
            other->ReadCodetData(payload.get(), folder.get(), status.put());
        });
    }
    HMODULE library = LoadLibraryW(decoderPath.c_str());
    using Decode = BSTR(__stdcall*)(char*);
    const auto decode = reinterpret_cast<Decode>(reinterpret_cast<void*>(GetProcAddress(library, "AZTECDeCode")));
    if (!decode)
        throw std::runtime_error("no decoder library at " + utf8(decoderPath));
    std::u16string documentText;
    const Figures decodeFigures = measure(rounds, 50, [&] {
        std::string ansi(payloadBytes.begin(), payloadBytes.end());
        Bstr answer = Bstr::attach(decode(ansi.data()));
        documentText = answer.text();
    });
    const Figures renameFigures = measure(rounds, 50, [&] {
        std::u16string renamed = documentText;
        applyRenamings(renamed);
    });
    applyRenamings(documentText);
    const Figures parseFigures = measure(rounds, 50, [&] {
        XmlDocument document = XmlDocument::create();
        document.loadXml(documentText);
        if (document.parseErrorCode() != 0)
            throw std::runtime_error("the decoder's answer does not parse");
        const XmlNode root = document.selectRoot(u"Dane");
        if (root.childText(u"Error") != u"0" || root.childText(u"A").empty())
            throw std::runtime_error("unexpected answer");
    });
    // A name of its own for every write, as the date and time give a real one: the same name again would time
    // the search for a free "_n" name instead.
    int written = 0;
    const Figures writeFigures = measure(rounds, 50, [&] {
        const std::string number = std::to_string(++written);
        ResultFile file;
        file.create(savedCopyPath(folder.text(), u"WX 4217K", u"bench_" + std::u16string(number.begin(), number.end())));
        file.write(resultRecord(documentText));
        file.close();
    });
    FreeLibrary(library);
    print("ReadCodetData end to end: VarnokSrv", endToEnd);
    print("  part: decode (AZTECDeCode in this process)", decodeFigures);
    print("  part: seven renamings", renameFigures);
    print("  part: DOMDocument30, loadXML, checks", parseFigures);
    print("  part: write the saved copy", writeFigures);
    print("  baseline ReadCodetData round trip", baselineTrip);
    const double parts = decodeFigures.median + renameFigures.median + parseFigures.median + writeFigures.median +
                         baselineTrip.median;

    // Cold activation: no server running, CoCreateInstance to the first answer.
    Figures cold[2];
    for (int s = 0; s < 2; ++s) {
        std::vector<double> samples;
        for (int i = 0; i < 5; ++i) {
            const Phase phase(s == 0 ? "cold activation: VarnokSrv" : "cold activation: baseline", 30);
            waitForExit(servers[s]->executable);
            const double start = now();
            {
                auto reader = create(*servers[s]);
                Bstr status;
                reader->ReadData(Bstr(u"").get(), status.put());
            }
            samples.push_back((now() - start) * 1e3);
        }
        cold[s] = figures(samples);
    }
    std::printf("milliseconds\n");
    print("cold activation: VarnokSrv", cold[0]);
    print("cold activation: baseline", cold[1]);

    // ImageReader.ReadCodet through the vtable: image files named by VARNOK_BENCH_IMAGES (";"-separated).
    const std::wstring images = setting(L"VARNOK_BENCH_IMAGES");
    for (std::size_t start = 0; start < images.size();) {
        const std::size_t end = std::min(images.find(L';', start), images.size());
        const std::wstring image = images.substr(start, end - start);
        start = end + 1;
        const Phase phase("ReadCodet", 300);
        ComPtr<_ImageReader> reader;
        if (FAILED(CoCreateInstance(CLSID_ImageReader, nullptr, CLSCTX_LOCAL_SERVER, IID__ImageReader,
                                    reader.putVoid())))
            break;
        const Bstr path(u16View(image));
        HRESULT hr = S_OK;
        const Figures f = measure(5, 1, [&] {
            Bstr text;
            hr = reader->ReadCodet(path.get(), text.put());
        });
        const std::string name = "ReadCodet: " + utf8(image.substr(image.find_last_of(L'\\') + 1)) +
                                 (SUCCEEDED(hr) ? "" : " (FAILED)");
        print(name.c_str(), Figures{f.min * 1e-3, f.median * 1e-3, f.max * 1e-3});
    }

    // Memory and handles over many cycles of load, 31 reads, CloseData (cycles 0 leaves this out).
    Usage after100, afterAll;
    if (cycles > 0) {
        const Phase phase("memory and handles", 60 + cycles * 0.1);
        auto reader = create(product);
        for (int cycle = 1; cycle <= cycles; ++cycle) {
            Bstr status;
            reader->ReadData(sample.get(), status.put());
            for (auto get : {&_FileReader::get_NumerDR, &_FileReader::get_RodzajPojazdu, &_FileReader::get_NazwiskoNazwa,
                             &_FileReader::get_Adres, &_FileReader::get_Przeznaczenie, &_FileReader::get_RokProdukcji,
                             &_FileReader::get_DopuszczalnaLadownosc, &_FileReader::get_DopuszczalnyNacisk,
                             &_FileReader::get_NumerKarty, &_FileReader::get_NrRejestracyjny,
                             &_FileReader::get_DataIRejestracji, &_FileReader::get_Marka, &_FileReader::get_Typ,
                             &_FileReader::get_Model, &_FileReader::get_VIN, &_FileReader::get_MaxMasaCalk,
                             &_FileReader::get_DopuszczalnaMasaCalk, &_FileReader::get_MasaZesp,
                             &_FileReader::get_MasaWlasna, &_FileReader::get_DataWydaniaDR,
                             &_FileReader::get_KategoriaPojazdu, &_FileReader::get_Podrodzaj, &_FileReader::get_LiczbaOsi,
                             &_FileReader::get_MaxMasaPrzyczZH, &_FileReader::get_MaxMasaPrzyczBH,
                             &_FileReader::get_PojSilnika, &_FileReader::get_MaksymalnaMocNetto,
                             &_FileReader::get_RodzajPaliwa, &_FileReader::get_LiczbaMiejscSiedz,
                             &_FileReader::get_LiczbaMiejscStoj, &_FileReader::get_OrganWydajacy}) {
                Bstr value;
                (reader.get()->*get)(value.put());
            }
            reader->CloseData();
            if (cycle == 100)
                after100 = serverUsage(product.executable);
        }
        afterAll = serverUsage(product.executable);
    }
    if (cycles > 0) {
        std::printf("server memory and handles over %d cycles of ReadData + 31 reads + CloseData\n", cycles);
        std::printf("  after 100 cycles: %ld KiB, %ld handles; after %d: %ld KiB, %ld handles\n",
                    after100.memoryKiB, after100.handles, cycles, afterAll.memoryKiB, afterAll.handles);
    }

    std::printf("ratios (medians)\n");
    verdict("property read, vtable: VarnokSrv / baseline", vtable[0].median / vtable[1].median, 1.10);
    verdict("property read, by name: VarnokSrv / baseline", byName[0].median / byName[1].median, 1.10);
    verdict("ReadCodetData: end to end / (parts + baseline trip)", endToEnd.median / parts, 1.5);
    verdict("cold activation: VarnokSrv / baseline", cold[0].median / cold[1].median, 1.2);
    const double growth = static_cast<double>(afterAll.memoryKiB - after100.memoryKiB) / 1024.0;
    if (cycles > 0) {
        std::printf("  %-52s %10.2f   target <= 1.00 MiB  %s\n",
                    "memory growth after the first 100 cycles (MiB)", growth, growth <= 1.0 ? "met" : "MISSED");
        std::printf("  %-52s %10ld   target 0  %s\n", "handle growth", afterAll.handles - after100.handles,
                    afterAll.handles == after100.handles ? "met" : "MISSED");
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ComBench: %s\n", e.what());
        return 1;
    }
}
