#pragma once
// PLACEHOLDER until the store branch lands: the interface agreed in the brief.
#include "webapp/data/remotedatabase.h"
#include <optional>
namespace webapp {
struct UserRecord { QString name, hash, role; bool disabled = false; bool hasPassword = false;
                    QString created, changed; };
struct SessionRecord { bool found = false; QString user, role; bool disabled = false;
                       qint64 created = 0, lastSeen = 0; };
struct UserChange { QString name; std::optional<QString> hash, role; std::optional<bool> disabled; };
class AccountStore {
public:
    explicit AccountStore(const RemoteDatabase& database);
    std::optional<UserRecord> findUser(const QString& name) const;
    QList<UserRecord> listUsers() const;
    bool saveUser(const UserChange& change, const std::optional<AuditEntry>& audit) const;
    SessionRecord openSession(const QString& key, const QString& user, qint64 idleSeconds,
                              qint64 maxSeconds, const std::optional<AuditEntry>& audit) const;
    SessionRecord findSession(const QString& key) const;
    SessionRecord touchSession(const QString& key) const;
    int closeSession(const QString& key, const std::optional<AuditEntry>& audit) const;
    int closeSessionsOf(const QString& user, const std::optional<AuditEntry>& audit) const;
    void addAudit(const AuditEntry& entry) const;
    RowSet readAudit(const TableRead& read) const;
    void exportAudit(const TableRead& read, const std::function<void(const RowSet&)>& part) const;
private:
    const RemoteDatabase& m_database;
};
}
