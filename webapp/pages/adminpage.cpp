#include "webapp/pages/adminpage.h"

#include "common/text.h"
#include "webapp/forms/formtoken.h"
#include "webapp/pages/accesscheck.h"
#include "webapp/pages/errorpages.h"
#include "webapp/pages/userspage.h"
#include "webappapi/adminkey.h"

#include <QHostAddress>

namespace webapp {

namespace {

// What the administration page shows, read before anything is drawn.
struct ServerState {
    QString version, started, port, requests, instance, language, applicationFolder, userMode;
    bool debug = false;
};

struct DataServerState {
    bool running = false;
    QString processId, lastAlive, restarts;
    std::optional<std::pair<double, QString>> ping; // milliseconds and message, when it answered
    QString pingFailure;
};

struct AdminContent {
    ServerState server;
    DataServerState dataServer;
    QList<QPair<QString, QString>> application; // the application Dictionary's entries as text
    QStringList trace;
};

// Any value as text for the page; a Dictionary or list says how many entries it holds.
QString valueText(const PageEnvironment& env, const common::Value& v) {
    if (v.isDictionary())
        return env.label("webEntries", v.dictionary()->count());
    if (v.isArray())
        return env.label("webEntries", int32_t(v.array().size()));
    return common::ToText(v);
}

AdminContent readAdminContent(const PageEnvironment& env) {
    const common::DictionaryPtr server = env.context.server();
    auto item = [&](const char* key) {
        return server ? server->item(QString::fromLatin1(key)) : common::Value();
    };
    auto text = [&](const char* key) { return common::ToText(item(key)); };
    AdminContent content;
    content.server = {text("Version"),
                      text("StartTime"),
                      text("Port"),
                      text("TotalRequests"),
                      text("InstanceName"),
                      text("LanguageCode"),
                      env.context.applicationFolder(),
                      env.context.text(QStringLiteral("DefaultUserMode")),
                      env.context.flag(QStringLiteral("Debug"))};
    DataServerState& data = content.dataServer;
    data.running = RequestContext::truthy(item("DataServerRunning"));
    data.processId = text("DataServerProcessId");
    data.lastAlive = text("DataServerLastAlive");
    data.restarts = text("DataServerRestarts");
    try {
        data.ping = env.database.ping();
    } catch (const DataUnavailable& e) {
        data.pingFailure = e.reason;
    }
    if (const common::DictionaryPtr app = env.context.application())
        for (const QString& key : app->keys())
            content.application.append({key, valueText(env, app->item(key))});
    const common::Value entries = item("TraceEntries");
    if (entries.isArray())
        for (const common::Value& e : entries.array())
            content.trace.append(common::ToText(e));
    return content;
}

Html row(const QString& label, const Html& value) {
    return "<tr><th>" + Html::text(label) + "</th><td>" + value + "</td></tr>\n";
}

Html row(const QString& label, const QString& value) {
    return row(label, Html::text(value));
}

Html section(const QString& title, const Html& rows) {
    return "<h2>" + Html::text(title) + "</h2>\n<table class=\"record\"><tbody>\n" + rows +
           "</tbody></table>\n";
}

Html yesNo(const PageEnvironment& env, bool value) {
    return env.html(value ? "webYes" : "webNo");
}

Html renderServer(const PageEnvironment& env, const ServerState& s) {
    return section(env.label("webAdminServer"),
                   row(env.label("webAdminVersion"), s.version) +
                       row(env.label("webAdminStarted"), s.started) +
                       row(env.label("webAdminPort"), s.port) +
                       row(env.label("webAdminRequests"), s.requests) +
                       row(env.label("webAdminInstance"), s.instance) +
                       row(env.label("webAdminLanguage"), s.language) +
                       row(env.label("webAdminAppFolder"), s.applicationFolder) +
                       row(env.label("webAdminDebug"), yesNo(env, s.debug)) +
                       row(env.label("webAdminUserMode"), s.userMode));
}

Html renderDataServer(const PageEnvironment& env, const DataServerState& d) {
    const Html ping =
        d.ping ? Html(env.html("webAdminPingTime", QString::number(d.ping->first, 'f', 1)) +
                      " <span class=\"detail\">" + Html::text(d.ping->second) + "</span>")
               : Html("<span class=\"error\">" + Html::text(d.pingFailure) + "</span>");
    return section(
        env.label("webAdminDataServer"),
        row(env.label("webAdminRunning"), yesNo(env, d.running)) +
            row(env.label("webAdminProcessId"), d.processId) +
            row(env.label("webAdminLastAlive"),
                d.lastAlive.isEmpty() ? env.html("webAdminNever") : Html::text(d.lastAlive)) +
            row(env.label("webAdminRestarts"), d.restarts) + row(env.label("webAdminPing"), ping));
}

Html renderApplication(const PageEnvironment& env, const QList<QPair<QString, QString>>& entries) {
    Html rows;
    for (const auto& [key, value] : entries)
        rows += row(key, value);
    return section(env.label("webAdminApplication"), rows);
}

Html renderTrace(const PageEnvironment& env, const QStringList& trace) {
    Html html = "<h2>" + env.html("webAdminTrace") + "</h2>\n<ol class=\"trace\">\n";
    for (const QString& entry : trace)
        html += "<li>" + Html::text(entry) + "</li>\n";
    return html + "</ol>\n";
}

// Who the page is shown to, in which user mode, and (for administrators) the way to the users
// and the audit trail.
Html renderVisitor(const PageEnvironment& env) {
    const Identity& identity = env.identity;
    const common::Value who{common::Value::Array{identity.user, RoleText(env, identity.role)}};
    Html html =
        "<p class=\"detail\">" +
        (identity.signedIn()    ? env.html("webAdminSignedInAs", who)
         : identity.anonymous() ? env.html("webAdminKeyOnly")
                                : env.html("webAdminKnownAs", who)) +
        " " +
        env.html(IsApplicationMode(env.context) ? "webUserModeApplication" : "webUserModeDetect") +
        "</p>\n";
    if (identity.role >= Role::Admin)
        html += "<p class=\"adminlinks\">" +
                Anchor(Link(QStringLiteral("users")), env.label("webUsersTitle"), env.root()) +
                " " +
                Anchor(Link(QStringLiteral("audit")), env.label("webAuditTitle"), env.root()) +
                "</p>\n";
    return html;
}

Html renderAdmin(const PageEnvironment& env, const AdminContent& content) {
    return renderVisitor(env) + renderServer(env, content.server) +
           renderDataServer(env, content.dataServer) + renderApplication(env, content.application) +
           renderTrace(env, content.trace);
}

} // namespace

bool IsLoopbackAddress(const QString& address) {
    QHostAddress host;
    if (!host.setAddress(address.trimmed()))
        return false;
    bool mapped = false;
    const quint32 v4 = host.toIPv4Address(&mapped);
    if (mapped)
        return (v4 >> 24) == 127;
    return host.isLoopback();
}

Response AdminPage(const PageEnvironment& env) {
    // Administrators, and the desktop window, which opens the page with the run's key.
    const QString expected = bridge::AdminKey(env.secret());
    const bool keyed =
        IsLoopbackAddress(env.context.serverVariable(QStringLiteral("REMOTE_HOST"))) &&
        !expected.isEmpty() && ConstantTimeEquals(env.field(QStringLiteral("key")), expected);
    if (!keyed && env.identity.role < Role::Admin)
        return RefusedPage(env);
    Response r = env.page(env.label("webAdminTitle"), renderAdmin(env, readAdminContent(env)),
                          QStringLiteral("admin"));
    // The key is in the address: keep the page out of caches and Referer headers.
    r.headers.append({QByteArrayLiteral("Referrer-Policy"), QByteArrayLiteral("no-referrer")});
    return r;
}

} // namespace webapp
