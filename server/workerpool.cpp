#include "server/workerpool.h"

#include <algorithm>

namespace server {

WorkerPool::WorkerPool(int threads, int queueLimit) : m_queueLimit(std::max(queueLimit, 0)) {
    const int n = std::max(threads, 1);
    m_threads.reserve(size_t(n));
    for (int k = 0; k < n; ++k)
        m_threads.emplace_back([this] { run(); });
}

WorkerPool::~WorkerPool() {
    stop();
}

bool WorkerPool::post(Job job) {
    {
        const std::lock_guard lock(m_lock);
        if (m_stopping || m_jobs.size() >= size_t(m_queueLimit) + idleThreads())
            return false;
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
    return true;
}

void WorkerPool::stop() {
    {
        const std::lock_guard lock(m_lock);
        m_stopping = true;
        m_jobs.clear();
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        if (thread.joinable())
            thread.join();
}

void WorkerPool::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_lock);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            ++m_busy;
        }
        job();
        job = nullptr; // what it holds goes before the thread counts as idle
        const std::lock_guard lock(m_lock);
        --m_busy;
    }
}

size_t WorkerPool::idleThreads() const {
    return m_threads.size() - size_t(m_busy);
}

int DefaultWorkerThreads() {
    return int(std::clamp(std::thread::hardware_concurrency() * 4u, 4u, 64u));
}

} // namespace server
