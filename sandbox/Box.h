#pragma once
// What confines a worker: a job object that caps its memory and processor time, allows it no second process, no
// desktop and ends it with its caller; on Windows a restricted token at low integrity. Either can fail to apply
// (Wine gives neither the token nor every limit): the caller's wall clock ends a worker whatever, and /Diagnose
// says which protections are in force.

#include <windows.h>

#include <cstdint>

#include "platform/Handle.h"

namespace varnok::sandbox {

// How long one read may take: the worker's processor time (ended by its job object) and the wall-clock time the
// caller waits for its answer (ended by the caller).
inline constexpr std::uint32_t workerCpuMilliseconds = 10'000;
inline constexpr std::uint32_t workerWaitMilliseconds = 15'000;
// What a worker may commit: a 120-megapixel image in 32-bit colour, our gray copy and the file.
inline constexpr std::uint64_t workerMemoryBytes = 1536ull << 20;

struct Protections {
    bool restrictedToken = false;  // no privileges, no administrators' group, low integrity
    bool jobObject = false;        // in a job that ends it with its caller and allows it no second process
    bool memoryLimit = false;
    bool timeLimit = false;
    bool uiLimits = false;
};

// Our own token without privileges or the administrators' group, at low integrity; empty when it cannot be made.
Handle restrictedToken();

// A job for one worker with its limits set; records in `protections` which of them took.
Handle workerJob(Protections& protections);

// Sets the job's processor time again, which counts from the time used so far: each read gets the whole budget.
bool renewTimeLimit(HANDLE job);

}  // namespace varnok::sandbox
