#include "webapp/auth/identity.h"

#include "common/text.h"
#include "webapp/auth/sessioncookie.h"
#include "webapp/data/accountstore.h"
#include "webapp/requestcontext.h"
#include "webappapi/contextkeys.h"

#include <QDateTime>
#include <pwd.h>
#include <unistd.h>

namespace webapp {

namespace {

QString variable(const RequestContext& request, const QString& name) {
    return FromWire(request.serverVariable(name));
}

bool expired(const SessionRecord& session, qint64 idleSeconds, qint64 now) {
    return now - session.created > SESSION_MAX_SECONDS ||
           (idleSeconds > 0 && now - session.lastSeen > idleSeconds);
}

// The live session of the request's cookie; a session that has ended marks identity so.
bool fromSession(const RequestContext& request, const AccountStore& accounts, Identity& identity) {
    const QString id = SessionIdFromCookies(variable(request, QStringLiteral("HTTP_COOKIE")));
    if (id.isEmpty())
        return false;
    const QString key = SessionKey(id);
    identity.endedSession = true;
    if (key.isEmpty())
        return false;
    SessionRecord session = accounts.findSession(key);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 idle = qint64(common::ToLong(request.value(bridge::keys::SESSION_TIMEOUT))) * 60;
    const std::optional<Role> role = RoleFromName(session.role);
    if (!session.found || session.disabled || !role || !IsAccountRole(*role) ||
        expired(session, idle, now))
        return false;
    // Written again only now and then: a write is a new data version for every reply kept.
    if (now - session.lastSeen >= SESSION_TOUCH_SECONDS)
        session = accounts.touchSession(key);
    if (!session.found)
        return false;
    identity = {session.user, *role, Identity::Source::Session, key, false};
    return true;
}

Role detectedRole(const QString& user, const AccountStore& accounts, const AccessRules& rules) {
    const std::optional<UserRecord> account = accounts.findUser(user);
    if (!account)
        return rules.detectedRole();
    if (account->disabled)
        return Role::Anonymous;
    return RoleFromName(account->role).value_or(rules.detectedRole());
}

} // namespace

QString Identity::formBinding() const {
    if (!sessionKey.isEmpty())
        return QStringLiteral("session:") + sessionKey;
    return user.isEmpty() ? QString() : QStringLiteral("user:") + user;
}

bool IsApplicationMode(const RequestContext& request) {
    return request.text(bridge::keys::DEFAULT_USER_MODE)
               .compare(QLatin1String("APPLICATION"), Qt::CaseInsensitive) == 0;
}

QString ProgramAccount() {
    static const QString account = [] {
        struct passwd entry {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found)
            return QString();
        return QString::fromLocal8Bit(found->pw_name);
    }();
    return account;
}

QString ClientAddress(const RequestContext& request) {
    const QString address = request.serverVariable(QStringLiteral("REMOTE_ADDR"));
    return address.isEmpty() ? request.serverVariable(QStringLiteral("REMOTE_HOST")) : address;
}

Identity ResolveIdentity(const RequestContext& request, const AccountStore& accounts,
                         const AccessRules& rules) {
    Identity identity;
    const bool application = IsApplicationMode(request);
    if (application && fromSession(request, accounts, identity))
        return identity;
    const QString user = variable(request, QStringLiteral("REMOTE_USER"));
    const QString authType = request.serverVariable(QStringLiteral("AUTH_TYPE"));
    if (user.isEmpty())
        return identity;
    if (authType == QLatin1String("Local") && user == ProgramAccount()) {
        identity.user = user;
        identity.role = Role::Admin;
        identity.source = Identity::Source::Local;
        return identity;
    }
    if (application)
        return identity;
    identity.user = user;
    identity.source =
        authType == QLatin1String("Proxy") ? Identity::Source::Proxy : Identity::Source::Local;
    identity.role = detectedRole(user, accounts, rules);
    return identity;
}

} // namespace webapp
