// VarnokSrv against its baseline (the same server plumbing with members that do no work), side by side in one
// run: property reads out of process through the vtable and by name, ReadCodetData end to end against the sum of
// its parts timed in this process plus one baseline round trip (both cycling through the same distinct
// certificates, so both do the same work), cold activation, ImageReader beside the native reader, the server's
// memory and handles over many load-read-close cycles, and how long each hostile input takes to be refused.
// Prints min/median/max; asserts nothing.
// Usage: ComBench <sample.xml> <payloads file, one a line> <our decoder library> <scratch folder> [cycles]

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ComBenchSupport.h"
#include "ProcessUsage.h"
#include "TestSupport.h"
#include "VarnokSrv.h"
#include "VarnokSrvImage.h"
#include "loading/CodetText.h"
#include "platform/Clock.h"
#include "platform/ComPtr.h"
#include "platform/ResultFile.h"
#include "platform/UserLocale.h"
#include "platform/XmlDom.h"

using namespace varnok;
using namespace varnok::test;
using namespace varnok::bench;

namespace {

int run(int argc, wchar_t** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: ComBench <sample.xml> <payload file> <decoder library> <scratch folder> [cycles]\n");
        return 2;
    }
    const Bstr sample(u16View(argv[1]));
    const std::vector<std::string> payloadTexts = payloadLines(readBytes(argv[2]));
    if (payloadTexts.empty())
        throw std::runtime_error("no payloads in the payload file");
    std::vector<Bstr> payloads;
    for (const std::string& line : payloadTexts)
        payloads.emplace_back(u16View(std::wstring(line.begin(), line.end())));
    const std::wstring decoderPath = argv[3];
    const Bstr folder(u16View(argv[4]));
    const int cycles = argc > 5 ? std::stoi(argv[5]) : 10000;
    ComApartment apartment;
    constexpr int rounds = 9;
    constexpr int propertyCalls = 1000;
    std::thread(watch).detach();

    std::printf("microseconds per call                                      min     median        max\n");
    // Rounds alternate between the two servers, so that drift in the machine's speed hits both alike.
    Figures vtable[2], byName[2];
    const Server* servers[2] = {&product, &baseline};
    {
        // Generous: on a shared machine a round trip may take several times its idle time.
        const Phase phase("property reads", 900);
        ComPtr<_FileReader> readers[2] = {create(product), create(baseline)};
        for (auto& reader : readers) {
            Bstr status;
            reader->ReadData(sample.get(), status.put());
        }
        std::vector<double> vtableRounds[2], nameRounds[2];
        for (int round = 0; round < rounds; ++round) {
            for (int s = 0; s < 2; ++s) {
                _FileReader* reader = readers[s].get();
                vtableRounds[s].push_back(measure(1, propertyCalls, [&] {
                    Bstr value;
                    reader->get_NrRejestracyjny(value.put());
                }).median);
                nameRounds[s].push_back(measure(1, propertyCalls, [&] {
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
    // What VarnokSrv does on top of the baseline for one read, timed in this process: the query per read it
    // once made, and the look-up kept per loaded root that it makes now.
    XmlDocument sampleDocument = XmlDocument::create();
    sampleDocument.loadFile(sample.text());
    const XmlNode sampleRoot = sampleDocument.selectRoot(u"dane");
    const Figures query = measure(rounds, 2000, [&] {
        if (sampleRoot.selectChild(u"A").text().empty())
            throw std::runtime_error("the sample has no A");
    });
    const Figures lookup = measure(rounds, 2000, [&] {
        if (sampleRoot.childText(u"A").empty())
            throw std::runtime_error("the sample has no A");
    });
    print("property read, vtable: VarnokSrv", vtable[0]);
    print("property read, vtable: baseline", vtable[1]);
    print("property read, by name: VarnokSrv", byName[0]);
    print("property read, by name: baseline", byName[1]);
    print("  in this process: selectSingleNode and text of A", query);
    print("  in this process: kept look-up and text of A", lookup);

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

    // ReadCodetData end to end, and its parts in this process, each cycling through the same distinct
    // certificates: every call's saved copy gets a name of its own, as a client's calls do.
    std::printf("ReadCodetData over %zu distinct generated certificates\n", payloads.size());
    const std::wstring folderPath = folder.text().empty() ? std::wstring() : std::wstring(wideView(folder.text()));
    const std::wstring partsFolder = folderPath + L"\\parts", sameFolder = folderPath + L"\\same";
    CreateDirectoryW(partsFolder.c_str(), nullptr);
    CreateDirectoryW(sameFolder.c_str(), nullptr);
    constexpr int codetCalls = 50;
    Figures endToEnd, sameCertificate, baselineTrip;
    {
        const Phase phase("ReadCodetData end to end", 600);
        auto reader = create(product);
        Cycle<Bstr> cycle(payloads);
        endToEnd = measure(rounds, codetCalls, [&] {
            Bstr status;
            reader->ReadCodetData(cycle.next().get(), folder.get(), status.put());
            if (text(status.get()) != L"OK")
                throw std::runtime_error("ReadCodetData: " + utf8(text(status.get())));
        });
        // A client reading one certificate again and again: each copy in one second takes the next free number.
        const Bstr same(u16View(sameFolder));
        sameCertificate = measure(rounds, codetCalls, [&] {
            Bstr status;
            reader->ReadCodetData(payloads.front().get(), same.get(), status.put());
        });
        auto other = create(baseline);
        baselineTrip = measure(rounds, 200, [&] {
            Bstr status;
            other->ReadCodetData(payloads.front().get(), folder.get(), status.put());
        });
    }
    HMODULE library = LoadLibraryW(decoderPath.c_str());
    using Decode = BSTR(__stdcall*)(char*);
    const auto decode = reinterpret_cast<Decode>(reinterpret_cast<void*>(GetProcAddress(library, "AZTECDeCode")));
    if (!decode)
        throw std::runtime_error("no decoder library at " + utf8(decoderPath));
    std::vector<std::u16string> answers(payloadTexts.size()), renamed(payloadTexts.size()), numbers(payloadTexts.size());
    std::size_t at = 0;
    const Figures decodeFigures = measure(rounds, codetCalls, [&] {
        const std::size_t i = at++ % payloadTexts.size();
        std::string ansi = payloadTexts[i];
        Bstr answer = Bstr::attach(decode(ansi.data()));
        answers[i] = answer.text();
    });
    for (std::size_t i = 0; i < answers.size(); ++i)
        if (answers[i].empty())
            answers[i] = Bstr::attach(decode(std::string(payloadTexts[i]).data())).text();
    at = 0;
    const Figures renameFigures = measure(rounds, codetCalls, [&] {
        const std::size_t i = at++ % answers.size();
        renamed[i] = answers[i];
        applyRenamings(renamed[i]);
    });
    for (std::size_t i = 0; i < answers.size(); ++i) {
        renamed[i] = answers[i];
        applyRenamings(renamed[i]);
    }
    at = 0;
    const Figures parseFigures = measure(rounds, codetCalls, [&] {
        const std::size_t i = at++ % renamed.size();
        XmlDocument document = XmlDocument::create();
        document.loadXml(renamed[i]);
        if (document.parseErrorCode() != 0)
            throw std::runtime_error("the decoder's answer does not parse");
        const XmlNode root = document.selectRoot(u"Dane");
        if (root.childText(u"Error") != u"0")
            throw std::runtime_error("unexpected answer");
        numbers[i] = root.childText(u"A");
    });
    at = 0;
    const Figures writeFigures = measure(rounds, codetCalls, [&] {
        const std::size_t i = at++ % renamed.size();
        ResultFile file;
        file.create(savedCopyPath(u16View(partsFolder), numbers[i], currentDateTimeText()));
        file.write(resultRecord(renamed[i]));
        file.close();
    });
    FreeLibrary(library);
    print("ReadCodetData end to end: VarnokSrv", endToEnd);
    print("  part: decode (AZTECDeCode in this process)", decodeFigures);
    print("  part: seven renamings", renameFigures);
    print("  part: DOMDocument30, loadXML, checks, A", parseFigures);
    print("  part: name and write the saved copy", writeFigures);
    print("  baseline ReadCodetData round trip", baselineTrip);
    print("ReadCodetData, one certificate again and again", sameCertificate);
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

    // ImageReader.ReadCodet through the vtable: image files named by VARNOK_BENCH_IMAGES (";"-separated), beside
    // the native reader's time on each (VARNOK_BENCH_NATIVE_MS, measured by the script), so the COM overhead shows.
    const std::wstring images = setting(L"VARNOK_BENCH_IMAGES");
    const std::wstring nativeTimes = setting(L"VARNOK_BENCH_NATIVE_MS");
    std::size_t nativeAt = 0;
    for (std::size_t start = 0; start < images.size();) {
        const std::size_t end = std::min(images.find(L';', start), images.size());
        const std::wstring image = images.substr(start, end - start);
        start = end + 1;
        const std::size_t nativeEnd = std::min(nativeTimes.find(L';', nativeAt), nativeTimes.size());
        const std::wstring nativeTime = nativeAt < nativeTimes.size() ? nativeTimes.substr(nativeAt, nativeEnd - nativeAt) : L"";
        nativeAt = nativeEnd + 1;
        const Phase phase("ReadCodet", 300);
        ComPtr<_ImageReader> reader;
        if (FAILED(CoCreateInstance(CLSID_ImageReader, nullptr, CLSCTX_LOCAL_SERVER, IID__ImageReader,
                                    reader.putVoid())))
            break;
        const Bstr path(u16View(image));
        HRESULT hr = S_OK;
        const auto readOnce = [&] {
            Bstr text;
            hr = reader->ReadCodet(path.get(), text.put());
        };
        // The first read of all may start a worker; a user's steady state is the reads after it.
        const Figures first = measure(1, 1, readOnce);
        const Figures f = measure(15, 1, readOnce);
        const std::string name = "ReadCodet: " + utf8(image.substr(image.find_last_of(L'\\') + 1)) +
                                 (SUCCEEDED(hr) ? "" : " (FAILED)");
        print(name.c_str(), Figures{f.min * 1e-3, f.median * 1e-3, f.max * 1e-3});
        std::printf("  %-52s %21.1f ms\n", "  its first read in this run", first.median * 1e-3);
        if (!nativeTime.empty()) {
            const double native = std::wcstod(nativeTime.c_str(), nullptr);
            std::printf("  %-52s %21s\n", "  native varnok-scan, same file (whole process)", utf8(nativeTime).c_str());
            if (native > 0)
                std::printf("  %-52s %21.2f  (target at most 1.3)\n", "  COM median / native", f.median * 1e-3 / native);
        }
    }

    // The hostile inputs that once held the server for minutes, each refused now: how long one call takes.
    {
        const Phase phase("hostile inputs", 300);
        auto reader = create(product);
        const std::wstring hostile = folderPath + L"\\hostile";
        CreateDirectoryW(hostile.c_str(), nullptr);
        std::string expansion = "<!DOCTYPE dane [<!ENTITY e \"" + std::string(50000, 'e') + "\">]><dane><A>";
        for (int i = 0; i < 2000; ++i)
            expansion += "&e;";
        writeFile(hostile + L"\\entity.xml", expansion + "</A></dane>");
        writeFile(hostile + L"\\200mb.xml", "<dane><A>WB 1</A></dane>");
        {
            HANDLE file = CreateFileW((hostile + L"\\200mb.xml").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                      nullptr);
            LARGE_INTEGER size;
            size.QuadPart = 200LL * 1024 * 1024;
            SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
            SetEndOfFile(file);
            CloseHandle(file);
        }
        const std::vector<char> emptyFields = readBytes(setting(L"VARNOK_BENCH_EMPTY_FIELDS"));
        const std::wstring nulPayload = std::wstring(payloads.front().view().begin(), payloads.front().view().end()) +
                                        std::wstring(1, L'\0') + L"garbage";
        const struct {
            const char* what;
            std::function<std::wstring()> call;
        } cases[] = {
            {"data file: one entity used 2,000 times", [&] {
                 Bstr status, value;
                 reader->ReadData(Bstr(u16View(hostile + L"\\entity.xml")).get(), status.put());
                 reader->get_NrRejestracyjny(value.put());
                 return text(status.get());
             }},
            {"data file: 200 MB", [&] {
                 Bstr status;
                 reader->ReadData(Bstr(u16View(hostile + L"\\200mb.xml")).get(), status.put());
                 return text(status.get());
             }},
            {"saved copy: hard links planted at its names", [&] {
                 const std::wstring victim = hostile + L"\\victim.txt";
                 writeFile(victim, "victim");
                 // At this second's name: the call follows at once.
                 const std::u16string path = savedCopyPath(u16View(hostile), numbers[0], currentDateTimeText());
                 CreateHardLinkW(std::wstring(wideView(path)).c_str(), victim.c_str(), nullptr);
                 Bstr status;
                 reader->ReadCodetData(payloads.front().get(), Bstr(u16View(hostile)).get(), status.put());
                 const std::vector<char> bytes = readBytes(victim);
                 return text(status.get()) + (std::string(bytes.begin(), bytes.end()) == "victim" ? L", link target intact"
                                                                                                   : L", LINK TARGET CHANGED");
             }},
            {"payload: valid, then NUL and garbage", [&] {
                 Bstr status;
                 reader->ReadCodetData(Bstr(u16View(nulPayload)).get(), Bstr(u16View(hostile)).get(), status.put());
                 return text(status.get());
             }},
            {"payload: XX and 32,766 separators", [&] {
                 Bstr status;
                 reader->ReadCodetData(Bstr(u16View(std::wstring(emptyFields.begin(), emptyFields.end()))).get(),
                                       Bstr(u16View(hostile)).get(), status.put());
                 return text(status.get());
             }},
        };
        std::printf("hostile inputs, milliseconds per call (bound: 5000 under Wine)\n");
        for (const auto& c : cases) {
            std::wstring status;
            const Figures f = measure(3, 1, [&] { status = c.call(); });
            print(c.what, Figures{f.min * 1e-3, f.median * 1e-3, f.max * 1e-3});
            std::printf("    %s, %s\n", utf8(status).c_str(), f.max * 1e-3 <= 5000 ? "within the bound" : "OVER THE BOUND");
        }
    }
    measureWhileBusy(folderPath, sample);

    // Memory and handles over many cycles of load, 31 reads, CloseData (cycles 0 leaves this out).
    Usage after100, afterAll;
    if (cycles > 0) {
        const Phase phase("memory and handles", 60 + cycles * 0.5);
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
    // Growth is judged after the first 100 cycles: fewer give no figure at all.
    const bool judged = cycles > 100;
    if (cycles > 0 && !judged)
        std::printf("server memory and handles: %d cycles are too few to judge growth (more than 100 needed)\n",
                    cycles);
    if (judged) {
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
    if (judged) {
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
