#include "dbsvr/accounts.h"

#include "dbsvr/database.h"
#include "dbsvr/requesterror.h"

#include <QDateTime>
#include <algorithm>

namespace dbsvr {

namespace {

const QString USER_COLUMNS =
    QStringLiteral("SELECT name, hash, role, disabled, created, changed FROM quorvex_users");

// A session joined with its user: one that has lost its user is found by neither.
const QString SESSION =
    QStringLiteral("SELECT s.user_name, u.role, u.disabled, s.created, s.last_seen FROM "
                   "quorvex_sessions s JOIN quorvex_users u ON u.name = s.user_name "
                   "WHERE s.\"key\" = $1");

const QString END_SESSIONS_OF = QStringLiteral("DELETE FROM quorvex_sessions WHERE user_name = $1");

// As text, the time sorts as it runs.
QString now() {
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

int64_t nowSeconds() {
    return QDateTime::currentSecsSinceEpoch();
}

QString text(const SqlText& value) {
    return value.value_or(QString());
}

bool flag(const SqlText& value) {
    return text(value).toLongLong() != 0;
}

UserRecord userOf(const QList<SqlText>& row) {
    return {text(row.value(0)), text(row.value(1)), text(row.value(2)),
            flag(row.value(3)), text(row.value(4)), text(row.value(5))};
}

SessionRecord sessionOf(const QList<QList<SqlText>>& rows) {
    if (rows.isEmpty())
        return {};
    const QList<SqlText>& row = rows.first();
    return {true,
            text(row.value(0)),
            text(row.value(1)),
            flag(row.value(2)),
            text(row.value(3)).toLongLong(),
            text(row.value(4)).toLongLong()};
}

SessionRecord findSessionIn(AccountSql& sql, const QString& key) {
    return sessionOf(sql.rows(SESSION, {key}));
}

void writeAudit(AccountSql& sql, const AuditEntry& entry) {
    sql.change(QStringLiteral("INSERT INTO quorvex_audit (at, user_name, address, action, object, "
                              "detail, record_key) VALUES ($1, $2, $3, $4, $5, $6, $7)"),
               {entry.at.isEmpty() ? now() : entry.at, entry.user, entry.address, entry.action,
                entry.object, entry.detail, entry.recordKey});
}

// Sessions past their idle time or their whole time.
void endExpiredSessions(AccountSql& sql, const SessionLimits& limits) {
    const int64_t seconds = nowSeconds();
    QStringList expired;
    QList<BoundValue> values;
    if (limits.idleSeconds > 0) {
        values << BoundValue(seconds - limits.idleSeconds);
        expired << QStringLiteral("last_seen < $%1").arg(values.size());
    }
    if (limits.maxSeconds > 0) {
        values << BoundValue(seconds - limits.maxSeconds);
        expired << QStringLiteral("created < $%1").arg(values.size());
    }
    if (!expired.isEmpty())
        sql.change(QStringLiteral("DELETE FROM quorvex_sessions WHERE ") +
                       expired.join(QStringLiteral(" OR ")),
                   values);
}

void requireName(const QString& name) {
    if (name.isEmpty())
        Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("A user needs a name."));
}

// Adds a user that is not there yet; false when there is one of that name.
bool addUser(AccountSql& sql, const UserChange& change) {
    const QString at = now();
    return sql.change(QStringLiteral("INSERT INTO quorvex_users (name, hash, role, disabled, "
                                     "created, changed) VALUES ($1, $2, $3, $4, $5, $5) "
                                     "ON CONFLICT (name) DO NOTHING"),
                      {change.name, change.hash.value_or(QString()), *change.role,
                       int64_t(change.disabled.value_or(false)), at}) > 0;
}

// Changes what is given of a user that is there; false when there is none. Sessions end when
// the password or the user's access changes.
bool updateUser(AccountSql& sql, const UserChange& change) {
    const QList<QList<SqlText>> before =
        sql.rows(QStringLiteral("SELECT hash FROM quorvex_users WHERE name = $1") + sql.lockRows(),
                 {change.name});
    if (before.isEmpty())
        return false;
    QList<BoundValue> values{change.name, now()};
    QString set = QStringLiteral("changed = $2");
    const auto assign = [&](const char* column, const BoundValue& value) {
        values << value;
        set += QStringLiteral(", %1 = $%2").arg(QLatin1String(column)).arg(values.size());
    };
    if (change.hash)
        assign("hash", *change.hash);
    if (change.role)
        assign("role", *change.role);
    if (change.disabled)
        assign("disabled", int64_t(*change.disabled));
    sql.change(QStringLiteral("UPDATE quorvex_users SET ") + set +
                   QStringLiteral(" WHERE name = $1"),
               values);
    if ((change.hash && *change.hash != text(before.first().value(0))) ||
        change.disabled.value_or(false))
        sql.change(END_SESSIONS_OF, {change.name});
    return true;
}

} // namespace

std::optional<UserRecord> Accounts::findUser(const QString& name) const {
    std::optional<UserRecord> user;
    m_database.readAccounts([&](AccountSql& sql) {
        const QList<QList<SqlText>> rows =
            sql.rows(USER_COLUMNS + QStringLiteral(" WHERE name = $1"), {name});
        if (!rows.isEmpty())
            user = userOf(rows.first());
    });
    return user;
}

QList<UserRecord> Accounts::users() const {
    QList<UserRecord> users;
    m_database.readAccounts([&](AccountSql& sql) {
        for (const QList<SqlText>& row : sql.rows(USER_COLUMNS, {}))
            users << userOf(row);
    });
    // Here rather than in SQL: the same order on every database, whatever its collation.
    std::sort(users.begin(), users.end(),
              [](const UserRecord& a, const UserRecord& b) { return a.name < b.name; });
    return users;
}

bool Accounts::saveUser(const UserChange& wanted, const std::optional<AuditEntry>& audit) const {
    requireName(wanted.name);
    if (wanted.role && wanted.role->isEmpty())
        Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("A user's role may not be empty."));
    bool created = false;
    change(audit, [&](AccountSql& sql) {
        created = wanted.role && addUser(sql, wanted);
        if (created) {
            // Sessions left by an earlier user of the name (removed by hand) are not the new
            // one's.
            sql.change(END_SESSIONS_OF, {wanted.name});
        } else if (!updateUser(sql, wanted)) {
            Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("There is no user \"") + wanted.name +
                                             QStringLiteral("\": a new user needs a role."));
        }
    });
    return created;
}

SessionRecord Accounts::openSession(const QString& key, const QString& user,
                                    const SessionLimits& limits,
                                    const std::optional<AuditEntry>& audit) const {
    if (key.isEmpty())
        Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("A session needs a key."));
    requireName(user);
    SessionRecord session;
    change(audit, [&](AccountSql& sql) {
        endExpiredSessions(sql, limits);
        sql.change(QStringLiteral("INSERT INTO quorvex_sessions (\"key\", user_name, created, "
                                  "last_seen) VALUES ($1, $2, $3, $3)"),
                   {key, user, nowSeconds()});
        session = findSessionIn(sql, key);
    });
    return session;
}

SessionRecord Accounts::findSession(const QString& key) const {
    SessionRecord session;
    m_database.readAccounts([&](AccountSql& sql) { session = findSessionIn(sql, key); });
    return session;
}

SessionRecord Accounts::touchSession(const QString& key) const {
    SessionRecord session;
    change(std::nullopt, [&](AccountSql& sql) {
        sql.change(QStringLiteral("UPDATE quorvex_sessions SET last_seen = $2 WHERE \"key\" = $1"),
                   {key, nowSeconds()});
        session = findSessionIn(sql, key);
    });
    return session;
}

int64_t Accounts::closeSession(const QString& key, const std::optional<AuditEntry>& audit) const {
    if (key.isEmpty())
        Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("A session needs a key."));
    int64_t closed = 0;
    change(audit, [&](AccountSql& sql) {
        closed =
            sql.change(QStringLiteral("DELETE FROM quorvex_sessions WHERE \"key\" = $1"), {key});
    });
    return closed;
}

int64_t Accounts::closeSessionsOf(const QString& user,
                                  const std::optional<AuditEntry>& audit) const {
    requireName(user);
    int64_t closed = 0;
    change(audit, [&](AccountSql& sql) { closed = sql.change(END_SESSIONS_OF, {user}); });
    return closed;
}

void Accounts::addAudit(const QList<AuditEntry>& entries) const {
    change(std::nullopt, [&entries](AccountSql& sql) {
        for (const AuditEntry& entry : entries)
            writeAudit(sql, entry);
    });
}

bool Accounts::exist() const {
    return m_database.readAccounts([](AccountSql&) {});
}

WriteCompanion Accounts::AuditOfWrite(const AuditEntry& entry) {
    return [entry](AccountSql& sql, const WriteResult& result) {
        AuditEntry written = entry;
        if (written.recordKey.isEmpty() && result.lastInsertId)
            written.recordKey = QString::number(*result.lastInsertId);
        writeAudit(sql, written);
    };
}

QStringList Accounts::AuditColumns() {
    return {QStringLiteral("id"),      QStringLiteral("at"),        QStringLiteral("user_name"),
            QStringLiteral("address"), QStringLiteral("action"),    QStringLiteral("object"),
            QStringLiteral("detail"),  QStringLiteral("record_key")};
}

void Accounts::change(const std::optional<AuditEntry>& audit, const AccountWork& work) const {
    m_database.changeAccounts([&](AccountSql& sql) {
        work(sql);
        if (audit)
            writeAudit(sql, *audit);
    });
}

} // namespace dbsvr
