#pragma once
// Workers kept for one client's next reads: an ImageReader object's, or one VarnokScan run's. A worker that a
// hostile file took over could answer later files with a forged symbol and sees their bytes, so it never reads
// another client's file, and a read that did not end in a clean reply retires it. One worker per concurrent caller,
// up to one per processor (at least two); callers beyond that wait their turn. Safe to use from several threads;
// the idle workers end with the pool.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "WorkerProcess.h"

namespace varnok::sandbox {

class WorkerPool {
public:
    WorkerPool();
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs `read` on a worker of the pool, starting one when none is idle. Throws what WorkerProcess throws.
    template <typename Read>
    auto with(Read&& read);

    // The protections of the last worker this pool started; nothing when none was.
    bool lastProtections(Protections& protections);

private:
    std::unique_ptr<WorkerProcess> take();
    void give(std::unique_ptr<WorkerProcess> worker, bool clean);

    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<std::unique_ptr<WorkerProcess>> idle_;
    unsigned running_ = 0;
    const unsigned limit_;
    std::optional<Protections> last_;
};

template <typename Read>
auto WorkerPool::with(Read&& read)
{
    std::unique_ptr<WorkerProcess> worker = take();
    try {
        auto result = read(*worker);
        give(std::move(worker), true);
        return result;
    } catch (...) {
        give(std::move(worker), false);
        throw;
    }
}

}  // namespace varnok::sandbox
