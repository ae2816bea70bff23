// Payloads per second of our NRV2E decompressor next to the reference library's on the same payloads, and of the
// whole decode (decompression, fields, XML answer); the seven renamings on the decoder's answers and
// NormalizeNumber on certificate numbers (with a stand-in for the user's locale: natively there is no OLE
// Automation).
//   decoder_bench [rounds]

#include <ucl/ucl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "FictionalCertificates.h"
#include "fields/FieldReader.h"
#include "loading/CodetText.h"
#include "tests/unit/FakeLocale.h"
#include "Nrv2e.h"
#include "Payload.h"
#include "PayloadEncoder.h"

namespace {

using namespace varnok;
using Clock = std::chrono::steady_clock;

struct Sample {
    std::vector<std::uint8_t> stream;
    std::size_t size;
    std::vector<std::uint8_t> payload;  // header and stream
};

struct Figures {
    double min, median, max;
};

// Runs `pass` (one decode of every sample) repeatedly and gives payloads per second per round.
Figures measure(int rounds, std::size_t samples, const std::function<void()>& pass)
{
    std::vector<double> rates;
    for (int round = 0; round < rounds; ++round) {
        int passes = 0;
        const auto start = Clock::now();
        auto now = start;
        do {
            pass();
            ++passes;
            now = Clock::now();
        } while (now - start < std::chrono::milliseconds(200));
        const double seconds = std::chrono::duration<double>(now - start).count();
        rates.push_back(static_cast<double>(passes) * static_cast<double>(samples) / seconds);
    }
    std::sort(rates.begin(), rates.end());
    return {rates.front(), rates[rates.size() / 2], rates.back()};
}

void print(const char* what, const Figures& figures)
{
    std::printf("%-38s %12.0f %12.0f %12.0f\n", what, figures.min, figures.median, figures.max);
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::vector<Sample> samples;
    for (unsigned seed = 0; seed < 500; ++seed) {
        const auto vehicle = generator::randomVehicle(seed);
        const auto text = generator::joinFields(seed % 2 ? generator::currentFields(vehicle)
                                                         : generator::olderFields(vehicle));
        const auto raw = generator::utf16le(text);
        samples.push_back({generator::compressNrv2e(raw), raw.size(), generator::payloadBytes(text)});
    }
    std::size_t textBytes = 0;
    for (const Sample& sample : samples)
        textBytes += sample.size;
    std::vector<std::uint8_t> out(64 * 1024 + 1);
    volatile std::size_t sink = 0;

    const auto ours = [&] {
        for (const Sample& sample : samples)
            if (decoder::decompressNrv2e(sample.stream, {out.data(), sample.size}) != decoder::Nrv2eResult::Ok)
                std::abort();
    };
    const auto reference = [&](auto decompress) {
        return [&, decompress] {
            for (const Sample& sample : samples) {
                ucl_uint length = static_cast<ucl_uint>(out.size());
                if (decompress(sample.stream.data(), static_cast<ucl_uint>(sample.stream.size()), out.data(), &length,
                               nullptr) != UCL_E_OK)
                    std::abort();
            }
        };
    };
    const auto whole = [&] {
        for (const Sample& sample : samples)
            sink = sink + decoder::decodedBytesToXml(sample.payload).size();
    };

    std::printf("%zu certificate payloads, %zu bytes of text on average; %d rounds of 200 ms\n", samples.size(),
                textBytes / samples.size(), rounds);
    std::printf("%-38s %12s %12s %12s\n", "per second", "min", "median", "max");
    const Figures ourFigures = measure(rounds, samples.size(), ours);
    const Figures fast = measure(rounds, samples.size(), reference(ucl_nrv2e_decompress_8));
    const Figures safe = measure(rounds, samples.size(), reference(ucl_nrv2e_decompress_safe_8));
    const Figures decode = measure(rounds, samples.size(), whole);
    print("payloads: ours (bounds-checked)", ourFigures);
    print("payloads: ucl_nrv2e_decompress_8", fast);
    print("payloads: ucl_nrv2e_decompress_safe_8", safe);
    print("payloads: whole decode to XML", decode);

    // The scanner's text: as it stands, retyped with Caps Lock on a QWERTZ layout, and
    // damaged so that every candidate fails.
    std::vector<std::string> asScanned, retyped, hopeless;
    for (std::size_t i = 0; i < 100; ++i) {
        asScanned.push_back(generator::toBase64(samples[i].payload));
        std::string typed;
        for (char c : asScanned.back())
            typed += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        hopeless.push_back(typed);
        hopeless.back()[typed.size() / 2] = '-';
        for (char& c : typed)
            c = c == 'y' ? 'z' : c == 'z' ? 'y' : c == 'Y' ? 'Z' : c == 'Z' ? 'Y' : c;
        retyped.push_back(typed);
    }
    const auto latin1 = [](std::string_view bytes) { return std::u16string(bytes.begin(), bytes.end()); };
    const auto scanned = [&](const std::vector<std::string>& texts) {
        return [&] {
            for (const auto& text : texts)
                sink = sink + decoder::payloadToXml(text, generator::fromBase64, latin1).size();
        };
    };
    const Figures plain = measure(rounds, asScanned.size(), scanned(asScanned));
    const Figures corrected = measure(rounds, retyped.size(), scanned(retyped));
    const Figures refused = measure(rounds, hopeless.size(), scanned(hopeless));
    print("scanned: as it stands", plain);
    print("scanned: Caps Lock + QWERTZ undone", corrected);
    print("scanned: damaged, every retyping fails", refused);

    std::vector<std::u16string> answers;
    for (const Sample& sample : samples)
        answers.push_back(decoder::decodedBytesToXml(sample.payload));
    const Figures renamings = measure(rounds, answers.size(), [&] {
        for (const auto& answer : answers) {
            std::u16string text = answer;
            applyRenamings(text);
            sink = sink + text.size();
        }
    });
    print("answers: seven renamings", renamings);
    const std::u16string numbers[] = {u"1398,00", u"71,00", u"1865", u"1500 kg", u"---", u"8,82", u"12,5 t", u""};
    const auto polish = test::FakeLocale::polish();
    const Figures normalised = measure(rounds, std::size(numbers), [&] {
        for (const auto& number : numbers)
            sink = sink + fields::NormalizeNumber(number, polish).size();
    });
    print("numbers: NormalizeNumber", normalised);
    std::printf("a damaged payload costs %.1f normal decodes (target: a few)\n", plain.median / refused.median);
    std::printf("ours / reference (median): %.2f against the unchecked one (target >= 0.90), %.2f against the "
                "checked one\n",
                ourFigures.median / fast.median, ourFigures.median / safe.median);
    return 0;
}
