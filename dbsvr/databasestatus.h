#pragma once

#include <QString>
#include <atomic>
#include <mutex>

namespace dbsvr {

class Database;

// What the data server's connections last found out about the database, for the Pong that is
// answered apart from them: opened (and what it is), or why not. Safe to use from any thread;
// a change is written to the log once, however many connections find it out.
class DatabaseStatus final {
public:
    void opened(const Database& database, const QString& name);
    void failed(const QString& why);
    // A connection to the database server broke: the others most likely did too.
    void lost(const QString& why);
    // How many times a connection broke so far: a connection made before the last break is to
    // be made anew.
    int losses() const { return m_losses; }
    // As a Pong tells it (DatabaseState()).
    QString state() const;

private:
    mutable std::mutex m_mutex;
    QString m_state;
    QString m_error;
    std::atomic<int> m_losses = 0;
};

} // namespace dbsvr
