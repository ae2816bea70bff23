#pragma once
// Image decoding in worker processes of our own (VarnokImageWorker.exe, beside the running program): a codec
// that hangs, eats memory or is exploited takes only its worker down. Workers are started on demand, kept for the
// next call, replaced when they die, and each runs in a job object that caps its memory and CPU time and ends it
// with the program; on Windows it runs with a restricted token at low integrity. Safe to call from several
// threads at once: each concurrent call has a worker of its own, up to a small pool.

#include <objidl.h>

#include <cstdint>
#include <span>

#include "ImageFile.h"

namespace varnok {

// How long a decode may take: the worker's CPU time (ended by its job object) and the wall-clock time the caller
// waits for its answer (ended by us).
inline constexpr std::uint32_t workerCpuMilliseconds = 10'000;
inline constexpr std::uint32_t workerWaitMilliseconds = 15'000;
// What a worker may commit: a 120-megapixel image in 32-bit colour, our gray copy and the file.
inline constexpr std::uint64_t workerMemoryBytes = 1536ull << 20;

// The stream's bytes from its current position to its end, `size` of them, decoded by a worker. Throws
// ImageFileError: NoAccess when the stream cannot be read, TooLarge past worker::maxFileBytes, and what the worker
// found (Unreadable, also when the worker died or ran out of time; NoDecoder; TooLarge).
GrayPixels decodeInWorker(IStream* stream, std::uint64_t size, std::uint64_t maxPixels);
GrayPixels decodeInWorker(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels);

// Whether the last worker started got the restricted token and low integrity level (Wine gives neither).
bool workerIsBoxed();

}  // namespace varnok
