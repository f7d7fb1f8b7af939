// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_COMMANDS_JOB_QUEUE_H
#define G723_TOOLS_COMMANDS_JOB_QUEUE_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace g723::tool {

// Runs jobs on up to `threads` threads, taking them in the order they were
// added. After a job fails, or once `stop` says so, no new one starts; the
// failure of the earliest job is rethrown by finish() once every started
// job has ended, which is the one a single thread would have met first.
// add() waits while `threads` jobs wait to start, so that work is not read
// in faster than it is done.
class job_queue {
public:
    job_queue(int threads, std::function<bool()> stop);
    job_queue(const job_queue&) = delete;
    job_queue& operator=(const job_queue&) = delete;
    ~job_queue() { close(); }

    // False once no job will start any more.
    bool add(std::function<void()> job);
    bool halted();
    void finish();

private:
    void close();
    void work();

    const std::size_t threads_;
    const std::function<bool()> stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::size_t, std::function<void()>>> waiting_;
    std::size_t added_ = 0;
    bool closed_ = false;
    bool halted_ = false;
    std::map<std::size_t, std::exception_ptr> errors_;
    std::vector<std::jthread> workers_;
};

// The processors this process may run on.
int processor_count();

}  // namespace g723::tool

#endif
