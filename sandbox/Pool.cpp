#include "Pool.h"

#include <algorithm>

namespace varnok::sandbox {

namespace {

unsigned processors()
{
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    return std::clamp<unsigned>(system.dwNumberOfProcessors, 2, 8);
}

}  // namespace

WorkerPool::WorkerPool() : limit_(processors()) {}

// Every worker is back by now: a read holds its pool's owner. Closing a worker's job ends it.
WorkerPool::~WorkerPool() = default;

std::unique_ptr<WorkerProcess> WorkerPool::take()
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

void WorkerPool::give(std::unique_ptr<WorkerProcess> worker, bool clean)
{
    // A retired worker is ended outside the lock.
    std::unique_ptr<WorkerProcess> retired;
    {
        std::lock_guard lock(mutex_);
        if (clean && worker->alive()) {
            idle_.push_back(std::move(worker));
        } else {
            retired = std::move(worker);
            --running_;
        }
    }
    freed_.notify_one();
}

bool WorkerPool::lastProtections(Protections& protections)
{
    std::lock_guard lock(mutex_);
    if (!last_)
        return false;
    protections = *last_;
    return true;
}

}  // namespace varnok::sandbox
