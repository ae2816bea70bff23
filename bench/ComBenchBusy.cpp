// A FileReader client's calls while another client's ImageReader reads each file built to hold the server: how
// long the read takes (bound: the worker's 15 s wall clock) and how long each call of the other client waits
// (target: 500 ms). Prints figures; asserts nothing.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "ComBenchSupport.h"
#include "VarnokSrvImage.h"
#include "tests/pdf/HostileFiles.h"

namespace varnok::bench {

namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void measureWhileBusy(const std::wstring& folder, const Bstr& sample)
{
    const Phase phase("calls while a hostile file is read", 600);
    std::printf("a second client's FileReader calls while one client reads a hostile PDF (ms; target 500 per call, "
                "read bound 15000)\n");
    for (const test::HostileFile& file : test::hostileFiles()) {
        const std::wstring path = folder + L"\\busy-" + std::wstring(file.name, file.name + std::strlen(file.name)) + L".pdf";
        writeFile(path, file.make());
        std::atomic<bool> ended{false};
        double readMs = 0;
        const auto start = std::chrono::steady_clock::now();
        std::thread reading([&] {
            ComApartment own;
            ComPtr<_ImageReader> reader;
            if (SUCCEEDED(CoCreateInstance(CLSID_ImageReader, nullptr, CLSCTX_LOCAL_SERVER, IID__ImageReader,
                                           reader.putVoid()))) {
                Bstr text;
                reader->ReadCodet(Bstr(u16View(path)).get(), text.put());
            }
            readMs = millisecondsSince(start);
            ended = true;
        });
        std::vector<double> calls;
        while (!ended) {
            auto call = std::chrono::steady_clock::now();
            auto other = create(product);
            calls.push_back(millisecondsSince(call));
            Bstr status, value;
            call = std::chrono::steady_clock::now();
            other->ReadData(sample.get(), status.put());
            calls.push_back(millisecondsSince(call));
            call = std::chrono::steady_clock::now();
            other->get_NrRejestracyjny(value.put());
            calls.push_back(millisecondsSince(call));
            call = std::chrono::steady_clock::now();
            other->CloseData();
            calls.push_back(millisecondsSince(call));
        }
        reading.join();
        DeleteFileW(path.c_str());
        std::sort(calls.begin(), calls.end());
        std::printf("  %-28s read %8.0f  calls %5zu  median %6.1f  worst %7.1f  %s\n", file.name, readMs, calls.size(),
                    calls[calls.size() / 2], calls.back(),
                    calls.back() <= 500 && readMs <= 15000 ? "within the bounds" : "OVER A BOUND");
    }
}

}  // namespace varnok::bench
