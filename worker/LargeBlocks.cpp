// The worker's operator new and delete: blocks of a megabyte or more (an image's pixels, its binary images) are
// kept when freed and handed out again. Windows' heap (and Wine's) gives such blocks back to the system on every
// free, so each new one page-faults and is zeroed afresh: for a 300-dpi A4 page read, that was a fifth of the
// read. Every block carries a small header with its capacity, which tells delete which way it came.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <new>
#ifdef _WIN32
#include <malloc.h>
#endif

#include "LargeBlocks.h"

namespace {

constexpr std::size_t largeBytes = 1u << 20;
constexpr std::size_t maxIdleBytes = 64u << 20;  // a 600-dpi A4 page's working set; the job allows 1.5 GiB
constexpr std::size_t maxIdleBlocks = 16;

// What operator new promises (16 bytes on both Windows targets), and what a header takes, so that what follows it
// keeps the promise.
constexpr std::size_t blockAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

struct alignas(blockAlignment) Header {
    std::size_t capacity;  // what the block holds, which a block handed out again keeps
};
static_assert(sizeof(Header) == blockAlignment);

// 32-bit msvcrt's malloc aligns to 8 bytes only: blocks come from the C runtime's aligned allocation.
void* systemAllocate(std::size_t bytes) noexcept
{
#ifdef _WIN32
    return _aligned_malloc(bytes, blockAlignment);
#else
    void* block = nullptr;
    return posix_memalign(&block, blockAlignment, bytes) == 0 ? block : nullptr;
#endif
}

void systemFree(void* block) noexcept
{
#ifdef _WIN32
    _aligned_free(block);
#else
    std::free(block);
#endif
}

struct Idle {
    Header* block;
    std::size_t size;
};

class Cache {
public:
    Header* take(std::size_t size)
    {
        const std::lock_guard lock(mutex_);
        // The smallest kept block that fits without wasting more than a quarter.
        std::size_t best = count_;
        for (std::size_t i = 0; i < count_; ++i)
            if (idle_[i].size >= size && idle_[i].size - size <= size / 4 &&
                (best == count_ || idle_[i].size < idle_[best].size))
                best = i;
        if (best == count_)
            return nullptr;
        Header* block = idle_[best].block;
        bytes_ -= idle_[best].size;
        idle_[best] = idle_[--count_];
        return block;
    }

    // Keeps `block`, which holds `capacity` bytes, or frees it when it would not fit.
    void keep(Header* block, std::size_t capacity)
    {
        if (capacity > maxIdleBytes) {
            systemFree(block);
            return;
        }
        const std::lock_guard lock(mutex_);
        while (count_ > 0 && (count_ == maxIdleBlocks || bytes_ + capacity > maxIdleBytes)) {
            systemFree(idle_[0].block);
            bytes_ -= idle_[0].size;
            idle_[0] = idle_[--count_];
        }
        idle_[count_++] = Idle{block, capacity};
        bytes_ += capacity;
    }

    // Gives every kept block back; whether there was any.
    bool flush()
    {
        const std::lock_guard lock(mutex_);
        const bool any = count_ > 0;
        for (std::size_t i = 0; i < count_; ++i)
            systemFree(idle_[i].block);
        count_ = 0;
        bytes_ = 0;
        return any;
    }

private:
    std::mutex mutex_;
    std::array<Idle, maxIdleBlocks> idle_{};
    std::size_t count_ = 0;
    std::size_t bytes_ = 0;
};

Cache& cache()
{
    // Never destroyed: blocks are freed until the very end of the process.
    alignas(Cache) static unsigned char storage[sizeof(Cache)];
    static Cache* const instance = new (storage) Cache;
    return *instance;
}

void* allocate(std::size_t size)
{
    if (size >= largeBytes)
        if (Header* kept = cache().take(size))
            return kept + 1;
    if (size > static_cast<std::size_t>(-1) - sizeof(Header))
        throw std::bad_alloc();
    auto* block = static_cast<Header*>(systemAllocate(sizeof(Header) + size));
    if (!block) {
        cache().flush();  // what is kept must never make a read fail for memory
        block = static_cast<Header*>(systemAllocate(sizeof(Header) + size));
    }
    if (!block)
        throw std::bad_alloc();
    block->capacity = size;
    return block + 1;
}

void release(void* pointer) noexcept
{
    if (!pointer)
        return;
    Header* block = static_cast<Header*>(pointer) - 1;
    if (block->capacity >= largeBytes)
        cache().keep(block, block->capacity);
    else
        systemFree(block);
}

}  // namespace

namespace varnok::worker {

bool releaseKeptBlocks() { return cache().flush(); }

}  // namespace varnok::worker

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* pointer) noexcept { release(pointer); }
void operator delete[](void* pointer) noexcept { release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { release(pointer); }
