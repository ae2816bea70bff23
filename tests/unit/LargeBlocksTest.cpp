// The worker's operator new and delete (worker/LargeBlocks.cpp), which this test program runs on for all of its
// allocations: a freed large block is handed out again when it fits, its bytes intact for the new owner to write.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "worker/LargeBlocks.h"

namespace {

constexpr std::size_t megabyte = 1u << 20;

TEST(LargeBlocks, AFreedLargeBlockIsReusedOnlyWhereItFits)
{
    // Each row allocates and frees its sizes in turn; `reused` says which allocations get the first one's block.
    struct Case {
        std::vector<std::size_t> sizes;
        std::vector<bool> reused;
    };
    const Case cases[] = {
        {{8 * megabyte, 8 * megabyte}, {true}},                   // the same page again
        {{8 * megabyte, 7 * megabyte, 8 * megabyte}, {true, true}},  // within a quarter, and whole again after
        {{8 * megabyte, 4 * megabyte}, {false}},                  // would waste half of it
        {{8 * megabyte, 9 * megabyte}, {false}},                  // too small
    };
    for (const Case& c : cases) {
        std::uintptr_t first = 0;
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            auto* block = new std::byte[c.sizes[i]];
            std::memset(block, 0xAB, c.sizes[i]);  // the whole block is its owner's
            const auto at = reinterpret_cast<std::uintptr_t>(block);
            if (i == 0)
                first = at;
            else
                EXPECT_EQ(at == first, c.reused[i - 1]) << "allocation " << i << " of " << c.sizes[i];
            delete[] block;
        }
        // Kept blocks are given back on demand: none stays for the next row.
        varnok::worker::releaseKeptBlocks();
    }
}

// What operator new promises, small blocks and large, new or handed out again; the 32-bit C runtime's malloc
// alone gives 8 bytes.
TEST(LargeBlocks, EveryBlockHasTheAlignmentNewPromises)
{
    for (int round = 0; round < 2; ++round)
        for (const std::size_t size : {std::size_t{1}, std::size_t{24}, std::size_t{4096}, megabyte, 3 * megabyte}) {
            auto* block = new std::byte[size];
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % __STDCPP_DEFAULT_NEW_ALIGNMENT__, 0u)
                << size << " bytes, round " << round;
            delete[] block;
        }
    varnok::worker::releaseKeptBlocks();
}

TEST(LargeBlocks, ImpossibleSizesFailAsTheStandardSays)
{
    volatile std::size_t impossible = static_cast<std::size_t>(-1) - 8;  // volatile: the compiler must not judge it
    EXPECT_THROW(static_cast<void>(::operator new(impossible)), std::bad_alloc);
    EXPECT_EQ(::operator new(impossible, std::nothrow), nullptr);
}

}  // namespace
