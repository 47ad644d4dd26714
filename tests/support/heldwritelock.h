#pragma once

#include <QString>
#include <sqlite3.h>

namespace support {

// Holds the write lock of an SQLite file, as another program's long write does: readers go on,
// writers wait.
class HeldWriteLock final {
public:
    explicit HeldWriteLock(const QString& file) {
        if (sqlite3_open_v2(file.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK)
            m_held = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~HeldWriteLock() {
        release();
        sqlite3_close(m_db);
    }
    bool held() const { return m_held; }
    void release() {
        if (m_held)
            sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        m_held = false;
    }

private:
    sqlite3* m_db = nullptr;
    bool m_held = false;
};

} // namespace support
