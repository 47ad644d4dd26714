#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace dbsvr {

class Database;

// Runs jobs on a fixed number of threads of its own, oldest first. A job may carry the id of
// the message it serves, so that the message can be cancelled: marked while it waits (the job
// still runs, and sees it), its statements interrupted (Database::interrupt) while it runs.
class WorkerPool final {
public:
    // How much lower the workers' CPU priority is than the rest of the machine's: a long
    // statement yields the processors to the web server's pages and files, and takes what
    // they leave.
    static constexpr int WORKER_NICE = 10;

    // What a running job tells the pool, and learns from it.
    class Turn final {
    public:
        // The worker, from 0 to size() - 1: a job may use what belongs to that worker alone.
        int worker() const { return m_worker; }
        // The database the job's statements run on from now (nullptr: none, before the job
        // closes it): a cancel interrupts it. Clears the interrupt an earlier job left, and
        // interrupts at once when this job was cancelled already.
        void runsOn(Database* database);
        // True once the job's message was cancelled.
        bool cancelled() const;

    private:
        friend class WorkerPool;
        Turn(WorkerPool& pool, int worker) : m_pool(pool), m_worker(worker) {}
        WorkerPool& m_pool;
        int m_worker;
    };
    using Job = std::function<void(Turn& turn)>;

    explicit WorkerPool(int size);
    // Drops the jobs that wait, interrupts those that run and waits for them to end.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int size() const { return int(m_threads.size()); }
    // Queues job; id ("" for none) is what cancel() knows it by. The job must not raise.
    void post(const QString& id, Job job);
    // Marks the job of id cancelled, and interrupts it while it runs; false when no job has it.
    bool cancel(const QString& id);

private:
    struct Waiting {
        QString id;
        Job job;
        bool cancelled = false;
    };
    struct Running {
        QString id;
        bool cancelled = false;
        Database* database = nullptr;
    };
    void run(int worker);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Waiting> m_waiting;
    std::vector<Running> m_running; // per worker
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace dbsvr
