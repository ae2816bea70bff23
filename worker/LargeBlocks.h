#pragma once
// The worker's operator new keeps freed large blocks for reuse (LargeBlocks.cpp).

namespace varnok::worker {

// Gives every kept block back to the system, for an allocator of its own (WIC's, zlib's) that ran out of memory;
// whether there was any to give.
bool releaseKeptBlocks();

}  // namespace varnok::worker
