#pragma once
// A running server process's memory and handle count, as the soak runs and benchmarks watch them.

namespace varnok::test {

struct Usage {
    long memoryKiB = 0;  // private bytes on Windows; resident set under Wine, which reports no private bytes
    long handles = 0;
};

// The first running process with that executable name; zeros when there is none.
Usage serverUsage(const wchar_t* executable);

}  // namespace varnok::test
