#pragma once

#include "contract/auditentry.h"
#include "dbsvr/accountsql.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace dbsvr {

class Database;

using dataserver::AuditEntry;

struct UserRecord {
    QString name;
    QString hash; // of the password; "" for none
    QString role;
    bool disabled = false;
    QString created; // UTC "YYYY-MM-DD HH:MM:SS", as every time of a user or audit entry
    QString changed;
};

// What to save of a user: what is not given is kept.
struct UserChange {
    QString name;
    std::optional<QString> hash;
    std::optional<QString> role;
    std::optional<bool> disabled;
};

// A session with its user's role and state; not found when either is missing.
struct SessionRecord {
    bool found = false;
    QString user;
    QString role;
    bool disabled = false;
    int64_t created = 0; // seconds since the epoch, UTC
    int64_t lastSeen = 0;
};

// How long sessions last, in seconds: since they were last seen, since they were opened; 0 for
// no limit.
struct SessionLimits {
    int64_t idleSeconds = 0;
    int64_t maxSeconds = 0;
};

// The web application's users, their sessions and the audit trail, on the account tables of a
// database. A change and the audit entry that comes with it are one transaction. Times are this
// server's clock's. Raises RequestError InvalidArgument for what may not be saved, and
// common::Error for the database's failures (a database that may only be read refuses every
// change).
class Accounts final {
public:
    explicit Accounts(Database& database) : m_database(database) {}

    std::optional<UserRecord> findUser(const QString& name) const;
    // In name order.
    QList<UserRecord> users() const;
    // Adds the user (a role is needed then) or changes what is given; a new password hash or
    // a disabled user ends every session of the user. True when the user was added.
    bool saveUser(const UserChange& wanted, const std::optional<AuditEntry>& audit) const;
    // Opens a session, and ends every session that has passed one of limits.
    SessionRecord openSession(const QString& key, const QString& user, const SessionLimits& limits,
                              const std::optional<AuditEntry>& audit) const;
    SessionRecord findSession(const QString& key) const;
    // Finds the session after noting that it is seen now.
    SessionRecord touchSession(const QString& key) const;
    // The sessions ended: the one with key, or every one of user.
    int64_t closeSession(const QString& key, const std::optional<AuditEntry>& audit) const;
    int64_t closeSessionsOf(const QString& user, const std::optional<AuditEntry>& audit) const;
    // Several entries in one transaction: one change of the data, however many they are.
    void addAudit(const QList<AuditEntry>& entries) const;
    // Whether the account tables are there yet.
    bool exist() const;

    // The audit entry of a write query, written in the write's transaction; a key of the record
    // the entry does not name is the id of the row the write inserted, when it inserted one.
    static WriteCompanion AuditOfWrite(const AuditEntry& entry);

    // The columns of the audit trail, as a read of it gives them.
    static QStringList AuditColumns();

private:
    // Runs work and writes audit (when there is one) in one transaction.
    void change(const std::optional<AuditEntry>& audit, const AccountWork& work) const;

    Database& m_database;
};

} // namespace dbsvr
