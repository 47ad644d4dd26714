#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace server {

// A fixed number of threads running jobs from a bounded queue, so that work that waits
// (a dynamic page waiting for the data server) never holds the event loop, and a flood of it
// is refused at once instead of queued without end.
// The owner's thread posts and stops; the jobs run on the pool's threads.
class WorkerPool final {
public:
    using Job = std::function<void()>;

    // threads: at least 1. queueLimit: the jobs that may wait for a thread, besides those
    // running.
    WorkerPool(int threads, int queueLimit);
    // Stops: jobs still waiting are dropped, the running ones finished.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues job; false when the queue is full (or the pool stopped): the job is not run.
    bool post(Job job);
    // Drops the waiting jobs and waits for the running ones to end; post refuses from now on.
    void stop();

    int threads() const { return int(m_threads.size()); }
    int queueLimit() const { return m_queueLimit; }

private:
    void run();
    size_t idleThreads() const; // under m_lock

    const int m_queueLimit;
    std::mutex m_lock; // the members below
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    int m_busy = 0; // threads running a job
    std::vector<std::thread> m_threads;
};

// The threads of a pool when nothing says otherwise: a small multiple of the cores, since
// most of a page's time is spent waiting for the data server.
int DefaultWorkerThreads();

} // namespace server
