// A client process for the lifecycle runs: activates FileReader objects, loads the sample, reads every property
// through the vtable and by name, releases. Exit code 0 only when every call gave the expected answer.
// Usage: LifecycleClient <sample.xml> <rounds>

#include <cstdio>
#include <string>

#include "ReaderClient.h"
#include "TestSupport.h"

using namespace varnok::test;

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: LifecycleClient <sample.xml> <rounds>\n");
        return 2;
    }
    const std::wstring sample = argv[1];
    const int rounds = std::stoi(argv[2]);
    ComApartment apartment;
    int failures = 0;
    const auto fail = [&](const char* what, int round, HRESULT hr) {
        ++failures;
        std::fprintf(stderr, "round %d: %s (0x%08lX)\n", round, what, static_cast<unsigned long>(hr));
    };

    for (int round = 0; round < rounds; ++round) {
        for (Binding binding : {Binding::Vtable, Binding::Dispatch}) {
            std::unique_ptr<ReaderClient> reader;
            try {
                reader = createReader(binding);
            } catch (const std::exception& e) {
                fail(e.what(), round, E_FAIL);
                continue;
            }
            const Answer status = reader->readData(sample);
            if (status.hr != S_OK || status.text != L"OK") {
                fail("ReadData", round, status.hr);
                continue;
            }
            for (const auto& property : propertyNames()) {
                const Answer value = reader->get(property);
                if (value.hr != S_OK || value.isNull)
                    fail(utf8(property).c_str(), round, value.hr);
            }
            if (reader->get(L"NrRejestracyjny").text != L"WA 12345")
                fail("NrRejestracyjny value", round, S_OK);
            if (reader->closeData().hr != S_OK)
                fail("CloseData", round, E_FAIL);
        }
    }
    std::printf("%s rounds=%d failures=%d\n", failures ? "FAILED" : "PASSED", rounds, failures);
    return failures ? 1 : 0;
}
