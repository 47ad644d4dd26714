#pragma once

#include "webapp/data/auditentry.h"
#include "webapp/data/remotedatabase.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace webapp {

// Times of users and of the audit trail are the data server's clock's, UTC
// "YYYY-MM-DD HH:MM:SS"; those of sessions its seconds since the epoch.
struct UserRecord {
    QString name;
    QString hash; // "" in a list of users, which never holds one
    QString role;
    bool disabled = false;
    bool hasPassword = false;
    QString created;
    QString changed;
};

// A session with its user's role and state; not found when either is missing.
struct SessionRecord {
    bool found = false;
    QString user;
    QString role;
    bool disabled = false;
    qint64 created = 0;
    qint64 lastSeen = 0;
};

// What to save of a user: what is not given is kept.
struct UserChange {
    QString name;
    std::optional<QString> hash;
    std::optional<QString> role;
    std::optional<bool> disabled;
};

// The web application's users, their sessions and the audit trail, which the data server keeps
// in the application's database (dbsvr/README.md, the account messages). A change and the
// audit entry that comes with it are written in one transaction. Every call raises
// DataUnavailable or DataFailure as RemoteDatabase's do (InvalidArgument for what may not be
// saved, DatabaseError for any change to a database that may only be read).
class AccountStore final {
public:
    explicit AccountStore(const RemoteDatabase& database) : m_database(database) {}

    std::optional<UserRecord> findUser(const QString& name) const;
    // In name order, without their hashes.
    QList<UserRecord> listUsers() const;
    // Adds the user (a role is needed then) or changes what is given; a new password hash or a
    // disabled user ends every session of the user. True when the user was added.
    bool saveUser(const UserChange& change, const std::optional<AuditEntry>& audit) const;
    // Opens a session under key (a hash of the cookie, never the cookie), and ends every session
    // idle for longer than idleSeconds or open for longer than maxSeconds (0: no limit).
    SessionRecord openSession(const QString& key, const QString& user, qint64 idleSeconds,
                              qint64 maxSeconds, const std::optional<AuditEntry>& audit) const;
    // Reused while the data is unchanged, which any change to a session or user is.
    SessionRecord findSession(const QString& key) const;
    // Notes that the session is seen now, and finds it.
    SessionRecord touchSession(const QString& key) const;
    // The sessions ended: the one of key, or every one of user.
    int closeSession(const QString& key, const std::optional<AuditEntry>& audit) const;
    int closeSessionsOf(const QString& user, const std::optional<AuditEntry>& audit) const;
    void addAudit(const AuditEntry& entry) const;
    // Several entries in one message and one transaction.
    void addAudit(const QList<AuditEntry>& entries) const;
    // A page of the audit trail (id, at, user_name, address, action, object, detail,
    // record_key), the latest first unless read orders otherwise; read.table is ignored.
    RowSet readAudit(const TableRead& read) const;
    // The trail as RemoteDatabase::exportTable gives a table.
    void exportAudit(const TableRead& read, const std::function<void(const RowSet&)>& part) const;

private:
    int closeSessions(const char* element, const QString& value,
                      const std::optional<AuditEntry>& audit) const;

    const RemoteDatabase& m_database;
};

} // namespace webapp
