#include "Pool.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace varnok::sandbox {

namespace {

class Pool {
public:
    std::unique_ptr<WorkerProcess> take()
    {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return !idle_.empty() || running_ < limit_; });
        while (!idle_.empty()) {
            std::unique_ptr<WorkerProcess> worker = std::move(idle_.back());
            idle_.pop_back();
            if (worker->alive())
                return worker;
            --running_;
        }
        ++running_;
        lock.unlock();
        try {
            auto worker = WorkerProcess::start();
            lock.lock();
            last_ = worker->protections();
            return worker;
        } catch (...) {
            if (!lock.owns_lock())
                lock.lock();
            --running_;
            freed_.notify_one();
            throw;
        }
    }

    void give(std::unique_ptr<WorkerProcess> worker)
    {
        {
            std::lock_guard lock(mutex_);
            if (worker->alive())
                idle_.push_back(std::move(worker));
            else
                --running_;
        }
        freed_.notify_one();
    }

    bool last(Protections& protections)
    {
        std::lock_guard lock(mutex_);
        if (!last_)
            return false;
        protections = *last_;
        return true;
    }

private:
    static unsigned processors()
    {
        SYSTEM_INFO system{};
        ::GetSystemInfo(&system);
        return std::clamp<unsigned>(system.dwNumberOfProcessors, 2, 8);
    }

    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<std::unique_ptr<WorkerProcess>> idle_;
    unsigned running_ = 0;
    const unsigned limit_ = processors();
    std::optional<Protections> last_;
};

Pool& pool()
{
    static Pool instance;
    return instance;
}

}  // namespace

std::unique_ptr<WorkerProcess> takeWorker() { return pool().take(); }
void giveWorker(std::unique_ptr<WorkerProcess> worker) { pool().give(std::move(worker)); }
bool lastProtections(Protections& protections) { return pool().last(protections); }

}  // namespace varnok::sandbox
