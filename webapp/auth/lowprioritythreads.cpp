#include "webapp/auth/lowprioritythreads.h"

#include <exception>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace webapp {

struct LowPriorityThreads::Job {
    const std::function<void()>& work;
    std::exception_ptr failure;
    bool done = false;
};

LowPriorityThreads::~LowPriorityThreads() {
    {
        const std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void LowPriorityThreads::run(const std::function<void()>& work) {
    Job job{work, {}, false};
    std::unique_lock lock(m_lock);
    if (m_threads.empty())
        for (int i = 0; i < m_count; ++i)
            m_threads.emplace_back([this] { serve(); });
    m_jobs.push_back(&job);
    m_wake.notify_all();
    m_wake.wait(lock, [&job] { return job.done; });
    if (job.failure)
        std::rethrow_exception(job.failure);
}

void LowPriorityThreads::serve() {
    // This thread only: a thread is its own scheduling entity on Linux.
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), NICE);
    std::unique_lock lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
        if (m_jobs.empty())
            return;
        Job* job = m_jobs.front();
        m_jobs.pop_front();
        lock.unlock();
        try {
            job->work();
        } catch (...) {
            job->failure = std::current_exception();
        }
        lock.lock();
        job->done = true;
        m_wake.notify_all();
    }
}

} // namespace webapp
