#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace webapp {

// Threads at nice NICE that run work handed to them, for the password hashes of sign-ins: a
// hash takes a core for tens of milliseconds, and at this priority the page workers take the
// processor first whenever they want it, so a flood of sign-ins slows sign-ins, not pages.
// Started at the first run; any thread may call run, which waits for the work's end.
class LowPriorityThreads final {
public:
    static constexpr int NICE = 10;

    explicit LowPriorityThreads(int count) : m_count(count) {}
    ~LowPriorityThreads();
    LowPriorityThreads(const LowPriorityThreads&) = delete;
    LowPriorityThreads& operator=(const LowPriorityThreads&) = delete;

    // Runs work on one of the threads and returns when it has run; an exception it throws is
    // thrown here.
    void run(const std::function<void()>& work);

private:
    struct Job;
    void serve();

    const int m_count;
    std::mutex m_lock; // everything below
    std::condition_variable m_wake;
    std::deque<Job*> m_jobs;
    std::vector<std::thread> m_threads;
    bool m_stopping = false;
};

} // namespace webapp
