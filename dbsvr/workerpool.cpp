#include "dbsvr/workerpool.h"

#include "dbsvr/database.h"

#include <algorithm>
#include <unistd.h>

namespace dbsvr {

void WorkerPool::Turn::runsOn(Database* database) {
    const std::lock_guard lock(m_pool.m_mutex);
    Running& running = m_pool.m_running[size_t(m_worker)];
    running.database = database;
    if (!database)
        return;
    database->clearInterrupt();
    if (running.cancelled)
        database->interrupt();
}

bool WorkerPool::Turn::cancelled() const {
    const std::lock_guard lock(m_pool.m_mutex);
    return m_pool.m_running[size_t(m_worker)].cancelled;
}

WorkerPool::WorkerPool(int size) : m_running(size_t(std::max(size, 1))) {
    for (size_t k = 0; k < m_running.size(); ++k)
        m_threads.emplace_back([this, k] { run(int(k)); });
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_waiting.clear();
        for (Running& running : m_running)
            if (running.database)
                running.database->interrupt();
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void WorkerPool::post(const QString& id, Job job) {
    {
        const std::lock_guard lock(m_mutex);
        m_waiting.push_back({id, std::move(job), false});
    }
    m_wake.notify_one();
}

bool WorkerPool::cancel(const QString& id) {
    if (id.isEmpty())
        return false;
    const std::lock_guard lock(m_mutex);
    const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(),
                                      [&](const Waiting& w) { return w.id == id; });
    if (waiting != m_waiting.end()) {
        waiting->cancelled = true;
        return true;
    }
    for (Running& running : m_running) {
        if (running.id != id)
            continue;
        running.cancelled = true;
        if (running.database)
            running.database->interrupt();
        return true;
    }
    return false;
}

void WorkerPool::run(int worker) {
    // On Linux the nice value is each thread's own: only the workers yield, while the loop
    // thread that answers pings and cancels keeps its priority. A failure leaves it as it was.
    [[maybe_unused]] const int niced = ::nice(WORKER_NICE);
    for (;;) {
        Waiting next;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
            if (m_stopping)
                return;
            next = std::move(m_waiting.front());
            m_waiting.pop_front();
            m_running[size_t(worker)] = Running{next.id, next.cancelled, nullptr};
        }
        Turn turn(*this, worker);
        next.job(turn);
        const std::lock_guard lock(m_mutex);
        m_running[size_t(worker)] = Running{};
    }
}

} // namespace dbsvr
