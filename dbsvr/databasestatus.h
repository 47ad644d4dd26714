#pragma once

#include <QString>
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
    // As a Pong tells it (DatabaseState()).
    QString state() const;

private:
    mutable std::mutex m_mutex;
    QString m_state;
    QString m_error;
};

} // namespace dbsvr
