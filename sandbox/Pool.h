#pragma once
// Workers kept for the next read: one per concurrent caller, up to one per processor (at least two); callers
// beyond that wait their turn. A worker that died or was ended is replaced. Safe to use from several threads.

#include <memory>

#include "WorkerProcess.h"

namespace varnok::sandbox {

// Runs `read` on a worker of the pool, starting one when none is idle. Throws what WorkerProcess throws.
template <typename Read>
auto withWorker(Read&& read);

std::unique_ptr<WorkerProcess> takeWorker();
void giveWorker(std::unique_ptr<WorkerProcess> worker);

// The protections of the last worker started; nothing when none was.
bool lastProtections(Protections& protections);

template <typename Read>
auto withWorker(Read&& read)
{
    std::unique_ptr<WorkerProcess> worker = takeWorker();
    try {
        auto result = read(*worker);
        giveWorker(std::move(worker));
        return result;
    } catch (...) {
        giveWorker(std::move(worker));
        throw;
    }
}

}  // namespace varnok::sandbox
