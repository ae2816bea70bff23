// The worker's operator new and delete (worker/LargeBlocks.cpp), which this test program runs on for all of its
// allocations: a freed large block is handed out again when it fits, its bytes intact for the new owner to write.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr std::size_t megabyte = 1u << 20;

TEST(LargeBlocks, AFreedLargeBlockIsReusedOnlyWhereItFits)
{
    struct Case {
        std::size_t first, second;
        bool reused;
    };
    const Case cases[] = {
        {8 * megabyte, 8 * megabyte, true},   // the same page again
        {8 * megabyte, 7 * megabyte, true},   // within a quarter
        {8 * megabyte, 4 * megabyte, false},  // would waste half of it
        {8 * megabyte, 9 * megabyte, false},  // too small
    };
    for (const Case& c : cases) {
        auto* first = new std::byte[c.first];
        std::memset(first, 0xAB, c.first);
        delete[] first;
        auto* second = new std::byte[c.second];
        std::memset(second, 0xCD, c.second);  // the whole block is the new owner's
        EXPECT_EQ(second == first, c.reused) << c.first << " then " << c.second;
        delete[] second;
    }
}

TEST(LargeBlocks, ImpossibleSizesFailAsTheStandardSays)
{
    volatile std::size_t impossible = static_cast<std::size_t>(-1) - 8;  // volatile: the compiler must not judge it
    EXPECT_THROW(static_cast<void>(::operator new(impossible)), std::bad_alloc);
    EXPECT_EQ(::operator new(impossible, std::nothrow), nullptr);
    void* none = nullptr;
    ::operator delete(none);  // deleting null is allowed
    auto small = std::make_unique<int>(7);
    EXPECT_EQ(*small, 7);
}

}  // namespace
