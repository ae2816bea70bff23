// A client process for the load and soak runs: a given number of mixed calls on one object — ReadData of the
// sample, ReadData of a missing file, ReadCodetData with the scripted decoder, property reads, CloseData — each
// checked. With --measure it also reports the server's memory and handle count after a tenth of the calls, after
// 55 % and at the end: a leak grows in both intervals, a one-time step of the heap in one at most. Exit code 0 only when every call gave the expected answer.
// Usage: LoadClient <calls> vtable|dispatch <sample.xml> <scratch folder> [--measure]

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ProcessUsage.h"
#include "ReaderClient.h"
#include "TestSupport.h"

using namespace varnok::test;

namespace {

void print(const char* when, const Usage& usage)
{
    std::printf("%s: memory %ld KiB, handles %ld\n", when, usage.memoryKiB, usage.handles);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: LoadClient <calls> vtable|dispatch <sample.xml> <scratch folder> [--measure]\n");
        return 2;
    }
    const long calls = std::stol(argv[1]);
    const Binding binding = std::wstring(argv[2]) == L"dispatch" ? Binding::Dispatch : Binding::Vtable;
    const std::wstring sample = argv[3];
    const std::wstring folder = argv[4];
    const bool measure = argc > 5 && std::wstring(argv[5]) == L"--measure";

    ComApartment apartment;
    std::unique_ptr<ReaderClient> reader;
    try {
        reader = createReader(binding);
    } catch (const std::exception& e) {
        std::printf("RESULT calls=0 failures=1 (%s)\n", e.what());
        return 1;
    }
    const std::wstring payload = L"VARNOK-TEST\x1E" + folder + L"\\calls.txt\x1E" +
                                 L"xml:<Dane><Error>0</Error><Error_name></Error_name><A>WK 7</A></Dane>";
    const std::wstring missing = folder + L"\\brak.xml";

    long done = 0, failures = 0;
    std::map<std::wstring, std::wstring> sampleValues;
    Usage early, middle;
    const auto expect = [&](bool ok, const char* what) {
        ++done;
        if (!ok && ++failures <= 10)
            std::printf("call %ld: %s\n", done, what);
        if (measure && done == calls / 10)
            early = serverUsage(L"VarnokSrv.exe");
        if (measure && done == calls * 55 / 100)
            middle = serverUsage(L"VarnokSrv.exe");
    };

    while (done < calls) {
        const Answer loaded = reader->readData(sample);
        expect(loaded.hr == S_OK && loaded.text == L"OK", "ReadData of the sample");
        for (const auto& property : propertyNames()) {
            const Answer value = reader->get(property);
            // The first pass records the sample's values; every later one must give the same.
            auto [known, first] = sampleValues.emplace(property, value.text);
            expect(value.hr == S_OK && (first || known->second == value.text), "a property of the sample");
        }
        expect(reader->readData(missing).text == L"Brak pliku " + missing, "ReadData of a missing file");
        expect(reader->get(L"NrRejestracyjny").text == L"WA 12345", "the sample kept after a missing file");
        expect(reader->readCodetData(payload, folder).text == L"OK", "ReadCodetData");
        expect(reader->get(L"NrRejestracyjny").text == L"WK 7", "the decoded registration number");
        expect(reader->closeData().hr == S_OK, "CloseData");
        // Saved copies share one name within a second: keep the folder small.
        for (const auto& name : filesIn(folder))
            if (name != L"calls.txt")
                DeleteFileW((folder + L"\\" + name).c_str());
    }
    if (measure) {
        const Usage late = serverUsage(L"VarnokSrv.exe");
        print("server after a tenth of the calls", early);
        print("server after 55 % of the calls", middle);
        print("server at the end", late);
        if (early.memoryKiB <= 0 || middle.memoryKiB <= 0 || late.memoryKiB <= 0 || early.handles <= 0 ||
            late.handles <= 0) {
            std::printf("the server's memory or handles could not be measured\n");
            ++failures;
        }
        std::printf("GROWTH first=%ld KiB second=%ld KiB handles=%ld\n", middle.memoryKiB - early.memoryKiB,
                    late.memoryKiB - middle.memoryKiB, late.handles - early.handles);
    }
    DeleteFileW((folder + L"\\calls.txt").c_str());
    std::printf("RESULT calls=%ld failures=%ld\n", done, failures);
    return failures ? 1 : 0;
}
