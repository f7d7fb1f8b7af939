// SPDX-License-Identifier: BSD-2-Clause
#include "commands/job_queue.h"

#include <sched.h>

#include <algorithm>

namespace g723::tool {

job_queue::job_queue(int threads, std::function<bool()> stop)
    : threads_(static_cast<std::size_t>(threads)), stop_(std::move(stop)) {
    for (int t = 0; t < threads; ++t) workers_.emplace_back([this] { work(); });
}

bool job_queue::add(std::function<void()> job) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return halted_ || waiting_.size() < threads_; });
    if (halted_) return false;
    waiting_.emplace_back(added_++, std::move(job));
    changed_.notify_all();
    return true;
}

bool job_queue::halted() {
    std::lock_guard lock(mutex_);
    if (!halted_ && (!errors_.empty() || stop_())) halted_ = true;
    return halted_;
}

void job_queue::finish() {
    close();
    if (!errors_.empty()) std::rethrow_exception(errors_.begin()->second);
}

void job_queue::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
    workers_.clear();
}

void job_queue::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return halted_ || closed_ || !waiting_.empty(); });
        if (!halted_ && (!errors_.empty() || stop_())) halted_ = true;
        if (halted_ || waiting_.empty()) break;
        auto [number, job] = std::move(waiting_.front());
        waiting_.pop_front();
        changed_.notify_all();
        lock.unlock();
        std::exception_ptr error;
        try {
            job();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error) {
            errors_.emplace(number, error);
            halted_ = true;
        }
    }
    changed_.notify_all();
}

int processor_count() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace g723::tool
