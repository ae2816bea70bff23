// What decoding in the worker costs: each image decoded in this process (WIC and our gray conversion, as the
// worker does it) and through the worker (the same plus the file and the pixels over its pipe), medians of several
// runs; before that, every file once through the worker with its outcome: the bound a hostile file gets.
// Usage: ImageWorkerBench <image file>... [-- <hostile file>...] (beside VarnokImageWorker.exe); files after "--"
// are only bounded. Prints figures; asserts nothing.

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ComPtr.h"
#include "platform/ImageWorker.h"
#include "worker/WicDecode.h"

namespace {

using namespace varnok;

double millisecondsOf(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

std::string narrow(const std::wstring& wide)
{
    std::string out;
    for (const wchar_t c : wide)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

std::string outcomeOf(const std::function<GrayPixels()>& decode)
{
    try {
        const GrayPixels pixels = decode();
        return "decoded " + std::to_string(pixels.width) + " x " + std::to_string(pixels.height);
    } catch (const ImageFileError& error) {
        static const char* const kinds[] = {"not found", "no access", "unreadable", "too large", "refused", "no decoder"};
        char code[16];
        std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(error.code()));
        return std::string(kinds[static_cast<int>(error.kind())]) + " (" + code + ")";
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    constexpr std::uint64_t maxPixels = 120'000'000;
    std::vector<std::vector<std::uint8_t>> files;
    int ordinary = argc;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--" && ordinary == argc)
            ordinary = i;
        std::ifstream in(argv[i], std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::printf("once through the worker (a new one for the first file)                           ms  outcome\n");
    for (int i = 1; i < argc; ++i) {
        if (i == ordinary)
            continue;
        std::string outcome;
        const double ms = millisecondsOf([&] { outcome = outcomeOf([&] { return decodeInWorker(files[i - 1], maxPixels); }); });
        std::printf("  %-60s %10.1f  %s\n", narrow(argv[i]).c_str(), ms, outcome.c_str());
    }
    std::printf("  the worker has a restricted token at low integrity: %s\n", workerIsBoxed() ? "yes" : "no");

    std::printf("median of 5 decodes                                  in process   in worker   cost of the worker\n");
    for (int i = 1; i < ordinary; ++i) {
        const auto& bytes = files[i - 1];
        std::vector<double> local, remote;
        bool decoded = true;
        for (int run = 0; run < 5 && decoded; ++run) {
            local.push_back(millisecondsOf([&] {
                const auto stream = ComPtr<IStream>::attach(::SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size())));
                try {
                    decodeWithWic(stream.get(), maxPixels);
                } catch (const ImageFileError&) {
                    decoded = false;
                }
            }));
            remote.push_back(millisecondsOf([&] {
                try {
                    decodeInWorker(bytes, maxPixels);
                } catch (const ImageFileError&) {
                    decoded = false;
                }
            }));
        }
        if (!decoded)
            continue;
        const double a = median(local), b = median(remote);
        std::printf("  %-50s %10.1f %11.1f %12.1f ms\n", narrow(argv[i]).c_str(), a, b, b - a);
    }
    ::CoUninitialize();
    return 0;
}
