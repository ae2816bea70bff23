// What reading in the worker costs: each file read in this process (the worker's own code: WIC, the PDF reader and
// the Aztec reader) and through a worker (the same plus the section, the pipe and the wall clock), medians of
// several runs; before that, every file once through the worker with its outcome: the bound a hostile file gets.
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
#include "sandbox/ImageRead.h"
#include "sandbox/Pool.h"
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

std::string describe(const worker::FileOutcome& outcome)
{
    if (!outcome.error)
        return outcome.read.failure == aztec::ReadFailure::None ? "read " + std::to_string(outcome.read.bytes.size()) + " bytes"
                                                                : "no symbol read";
    static const char* const kinds[] = {"not found", "no access", "unreadable", "too large",
                                        "refused",   "no decoder", "timed out",  "no worker"};
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(outcome.error->code()));
    return std::string(kinds[static_cast<int>(outcome.error->kind())]) + " (" + code + ")";
}

// Only what decoding costs (stb for JPEG, WIC otherwise, and our gray conversion), for an image file (not a PDF).
void decodeHere(const std::vector<std::uint8_t>& bytes)
{
    try {
        decodePixels(bytes, std::uint64_t{1} << 32, [&] {
            return ComPtr<IStream>::attach(::SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size())));
        });
    } catch (const ImageFileError&) {
    }
}

worker::FileOutcome readHere(const std::vector<std::uint8_t>& bytes)
{
    return worker::readFile(bytes, bytes.size(), [](std::span<const std::uint8_t> part, std::uint64_t maxPixels) {
        return decodePixels(part, maxPixels, [&] {
            return ComPtr<IStream>::attach(::SHCreateMemStream(part.data(), static_cast<UINT>(part.size())));
        });
    });
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::vector<std::vector<std::uint8_t>> files;
    int ordinary = argc;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--" && ordinary == argc)
            ordinary = i;
        std::ifstream in(argv[i], std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    sandbox::WorkerPool workers;
    std::printf("once through the worker (a new one for the first file)                           ms  outcome\n");
    for (int i = 1; i < argc; ++i) {
        if (i == ordinary)
            continue;
        std::string outcome;
        const double ms = millisecondsOf([&] { outcome = describe(sandbox::readImageFile(workers, argv[i])); });
        std::printf("  %-60s %10.1f  %s\n", narrow(argv[i]).c_str(), ms, outcome.c_str());
    }
    sandbox::Protections protections;
    const bool started = workers.lastProtections(protections);
    std::printf("  the worker has a restricted token at low integrity: %s; a job object: %s\n",
                started && protections.restrictedToken ? "yes" : "no", started && protections.jobObject ? "yes" : "no");

    std::printf("median of 11 reads                         decoding alone   in process   in worker   cost of the worker\n");
    for (int i = 1; i < ordinary; ++i) {
        std::vector<double> decoding, local, remote;
        for (int run = 0; run < 11; ++run) {
            decoding.push_back(millisecondsOf([&] { decodeHere(files[i - 1]); }));
            local.push_back(millisecondsOf([&] { readHere(files[i - 1]); }));
            remote.push_back(millisecondsOf([&] { sandbox::readImageFile(workers, argv[i]); }));
        }
        const double d = median(decoding), a = median(local), b = median(remote);
        std::printf("  %-40s %14.1f %12.1f %11.1f %12.1f ms\n", narrow(argv[i]).c_str(), d, a, b, b - a);
    }

    // Every ImageReader object, and every VarnokScan run, starts its own worker for its first read.
    if (ordinary > 1) {
        std::vector<double> first;
        for (int run = 0; run < 11; ++run)
            first.push_back(millisecondsOf([&] {
                sandbox::WorkerPool own;
                sandbox::readImageFile(own, argv[1]);
            }));
        std::vector<double> again;
        for (int run = 0; run < 11; ++run)
            again.push_back(millisecondsOf([&] { sandbox::readImageFile(workers, argv[1]); }));
        std::printf("first read of a client (its own worker started, then ended), median of 11: %.1f ms;"
                    " with its worker kept: %.1f ms; cost per first read %.1f ms\n",
                    median(first), median(again), median(first) - median(again));
    }
    ::CoUninitialize();
    return 0;
}
