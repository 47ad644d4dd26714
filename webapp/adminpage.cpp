#include "webapp/adminpage.h"

#include "bridge/adminkey.h"
#include "common/text.h"
#include "webapp/errorpages.h"
#include "webapp/formtoken.h"
#include "webapp/html.h"

#include <QHostAddress>

namespace webapp {

namespace {

QString row(const QString& label, const QString& valueHtml) {
    return QStringLiteral("<tr><th>") + HtmlEscape(label) + QStringLiteral("</th><td>") +
           valueHtml + QStringLiteral("</td></tr>\n");
}

QString section(const QString& title, const QString& rows) {
    return QStringLiteral("<h2>") + HtmlEscape(title) +
           QStringLiteral("</h2>\n<table class=\"record\"><tbody>\n") + rows +
           QStringLiteral("</tbody></table>\n");
}

// Any value as text for the page; a Dictionary or list says how many entries it holds.
QString valueText(const PageEnvironment& env, const common::Value& v) {
    if (v.isDictionary())
        return env.label("webEntries", v.dictionary()->count());
    if (v.isArray())
        return env.label("webEntries", int32_t(v.array().size()));
    return common::ToText(v);
}

QString yesNo(const PageEnvironment& env, bool value) {
    return env.html(value ? "webYes" : "webNo");
}

QString serverSection(const PageEnvironment& env, const common::DictionaryPtr& server) {
    auto item = [&](const char* key) {
        return server ? common::ToText(server->item(QString::fromLatin1(key))) : QString();
    };
    return section(
        env.label("webAdminServer"),
        row(env.label("webAdminVersion"), HtmlEscape(item("Version"))) +
            row(env.label("webAdminStarted"), HtmlEscape(item("StartTime"))) +
            row(env.label("webAdminPort"), HtmlEscape(item("Port"))) +
            row(env.label("webAdminRequests"), HtmlEscape(item("TotalRequests"))) +
            row(env.label("webAdminInstance"), HtmlEscape(item("InstanceName"))) +
            row(env.label("webAdminLanguage"), HtmlEscape(item("LanguageCode"))) +
            row(env.label("webAdminAppFolder"), HtmlEscape(env.context.applicationFolder())) +
            row(env.label("webAdminDebug"), yesNo(env, env.context.flag(QStringLiteral("Debug")))) +
            row(env.label("webAdminUserMode"),
                HtmlEscape(env.context.text(QStringLiteral("DefaultUserMode")))));
}

QString dataServerSection(const PageEnvironment& env, const common::DictionaryPtr& server) {
    auto item = [&](const char* key) {
        return server ? server->item(QString::fromLatin1(key)) : common::Value();
    };
    QString ping;
    try {
        const auto [ms, message] = env.database.ping();
        ping = env.html("webAdminPingTime", QString::number(ms, 'f', 1)) +
               QStringLiteral(" <span class=\"detail\">") + HtmlEscape(message) +
               QStringLiteral("</span>");
    } catch (const DataUnavailable& e) {
        ping = QStringLiteral("<span class=\"error\">") + HtmlEscape(e.reason) +
               QStringLiteral("</span>");
    }
    const QString lastAlive = common::ToText(item("DataServerLastAlive"));
    return section(env.label("webAdminDataServer"),
                   row(env.label("webAdminRunning"),
                       yesNo(env, RequestContext::truthy(item("DataServerRunning")))) +
                       row(env.label("webAdminProcessId"),
                           HtmlEscape(common::ToText(item("DataServerProcessId")))) +
                       row(env.label("webAdminLastAlive"), lastAlive.isEmpty()
                                                               ? env.html("webAdminNever")
                                                               : HtmlEscape(lastAlive)) +
                       row(env.label("webAdminRestarts"),
                           HtmlEscape(common::ToText(item("DataServerRestarts")))) +
                       row(env.label("webAdminPing"), ping));
}

QString applicationSection(const PageEnvironment& env) {
    QString rows;
    if (const common::DictionaryPtr app = env.context.application())
        for (const QString& key : app->keys())
            rows += row(key, HtmlEscape(valueText(env, app->item(key))));
    return section(env.label("webAdminApplication"), rows);
}

QString traceSection(const PageEnvironment& env, const common::DictionaryPtr& server) {
    QString html = QStringLiteral("<h2>") + env.html("webAdminTrace") +
                   QStringLiteral("</h2>\n<ol class=\"trace\">\n");
    const common::Value entries =
        server ? server->item(QStringLiteral("TraceEntries")) : common::Value();
    if (entries.isArray())
        for (const common::Value& e : entries.array())
            html +=
                QStringLiteral("<li>") + HtmlEscape(common::ToText(e)) + QStringLiteral("</li>\n");
    return html + QStringLiteral("</ol>\n");
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
    const QString expected = bridge::AdminKey(env.context.text(QStringLiteral("Secret")));
    if (!IsLoopbackAddress(env.context.serverVariable(QStringLiteral("REMOTE_HOST"))) ||
        expected.isEmpty() || !ConstantTimeEquals(env.field(QStringLiteral("key")), expected))
        return ForbiddenPage(env, env.label("webAdminForbidden"));
    const common::DictionaryPtr server = env.context.server();
    Response r = env.page(env.label("webAdminTitle"),
                          serverSection(env, server) + dataServerSection(env, server) +
                              applicationSection(env) + traceSection(env, server),
                          QStringLiteral("admin"));
    // The key is in the address: keep the page out of caches and Referer headers.
    r.headers.append({QByteArrayLiteral("Referrer-Policy"), QByteArrayLiteral("no-referrer")});
    return r;
}

} // namespace webapp
