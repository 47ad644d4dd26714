#include "webapp/rendering/frame.h"

#include "common/text.h"
#include "common/version.h"
#include "webapp/forms/formhtml.h"
#include "webapp/rendering/document.h"
#include "webapp/requestcontext.h"

#include <QHash>

namespace webapp {

Frame::Frame(const Labels& labels, const RequestContext& context, FrameUser user)
    : m_labels(labels), m_context(context), m_user(std::move(user)) {}

Html Frame::userArea() const {
    const QString root = m_context.root();
    if (m_user.signedIn)
        return "<li class=\"user\">" + Html::text(m_user.name) + "</li><li>" +
               Anchor(Link(QStringLiteral("password")), m_labels.text("webMenuPassword"), root) +
               "</li><li>" + FormStart(root, "post", "signout") +
               HiddenInput(QStringLiteral("page"), QStringLiteral("signout")) +
               HiddenInput(QStringLiteral("token"), m_user.signOutToken) +
               "<button type=\"submit\">" + Html::text(m_labels.text("webMenuSignOut")) +
               "</button></form></li>";
    if (m_user.signIn)
        return Html("<li>") +
               Anchor(
                   Link(QStringLiteral("signin")).with(QStringLiteral("next"), m_user.signInReturn),
                   m_labels.text("webMenuSignIn"), root) +
               "</li>";
    if (!m_user.name.isEmpty())
        return "<li class=\"user\">" + Html::text(m_user.name) + "</li>";
    return {};
}

namespace {

// The menu entry of the section the request's page belongs to ("" for none).
QString currentSection(const RequestContext& context) {
    if (context.field(QStringLiteral("fn")) == QLatin1String("help"))
        return QStringLiteral("help");
    const QString page = context.field(QStringLiteral("page"));
    static const QHash<QString, QString> sections = {
        {QString(), QStringLiteral("home")},
        {QStringLiteral("page"), QStringLiteral("home")},
        {QStringLiteral("tables"), QStringLiteral("tables")},
        {QStringLiteral("table"), QStringLiteral("tables")},
        {QStringLiteral("row"), QStringLiteral("tables")},
        {QStringLiteral("queries"), QStringLiteral("queries")},
        {QStringLiteral("query"), QStringLiteral("queries")},
        {QStringLiteral("charts"), QStringLiteral("charts")},
        {QStringLiteral("chart"), QStringLiteral("charts")},
        {QStringLiteral("forms"), QStringLiteral("forms")},
        {QStringLiteral("form"), QStringLiteral("forms")},
        {QStringLiteral("saved"), QStringLiteral("forms")},
        {QStringLiteral("admin"), QStringLiteral("admin")},
        {QStringLiteral("users"), QStringLiteral("admin")},
        {QStringLiteral("audit"), QStringLiteral("admin")},
        {QStringLiteral("help"), QStringLiteral("help")},
    };
    if (page == QLatin1String("print"))
        return context.field(QStringLiteral("query")).isEmpty() ? QStringLiteral("tables")
                                                                : QStringLiteral("queries");
    return sections.value(page);
}

Html menuEntry(const Link& link, const QString& label, const QString& root, bool current) {
    if (!current)
        return "<li>" + Anchor(link, label, root) + "</li>";
    return "<li><a href=\"" + link.href(root) + "\" aria-current=\"page\">" + Html::text(label) +
           "</a></li>";
}

} // namespace

Link Frame::helpLink(const QString& context) {
    // The same address the desktop window's Help menu opens, so one set of pages serves both.
    return Link::inFolder(QStringLiteral("/fn/"))
        .keep(QStringLiteral("productid"), QStringLiteral("QV"))
        .keep(QStringLiteral("version"), common::VersionText())
        .keep(QStringLiteral("fn"), QStringLiteral("help"))
        .keep(QStringLiteral("context"), context);
}

Html Frame::render(const QString& title, const Html& content, const QString& helpContext) const {
    const QString root = m_context.root();
    const common::DictionaryPtr server = m_context.server();
    auto serverText = [&](const char* key) {
        return server ? common::ToText(server->item(QString::fromLatin1(key))) : QString();
    };
    Document document;
    document.language = m_labels.languageCode();
    if (document.language.isEmpty())
        document.language = serverText("LanguageCode");
    if (document.language.isEmpty())
        document.language = QStringLiteral("en");
    QString version = serverText("Version");
    if (version.isEmpty())
        version = common::VersionText();

    const struct {
        Link link;
        const char* label;
        bool shown;
        const char* section;
    } menu[] = {
        {Link(), "webMenuHome", true, "home"},
        {Link(QStringLiteral("tables")), "webMenuTables", m_user.tables, "tables"},
        {Link(QStringLiteral("queries")), "webMenuQueries", m_user.queries, "queries"},
        {Link(QStringLiteral("charts")), "webMenuCharts", m_user.queries, "charts"},
        {Link(QStringLiteral("forms")), "webMenuForms", m_user.forms, "forms"},
        {Link(QStringLiteral("admin")), "webMenuAdmin", m_user.admin, "admin"},
        {helpLink(helpContext), "webMenuHelp", true, "help"},
    };
    const QString section = currentSection(m_context);
    Html nav;
    for (const auto& entry : menu)
        if (entry.shown)
            nav += menuEntry(entry.link, m_labels.text(entry.label), root,
                             section == QLatin1String(entry.section));
    nav += userArea();

    document.title = title;
    document.webRoot = Html::text(root) + "/";
    document.brandLinksHome = true;
    document.navigation =
        "\n<nav aria-label=\"" + m_labels.html("webMenuName") + "\"><ul>" + nav + "</ul></nav>";
    document.skipText = m_labels.html("webSkipToContent");
    document.content = content;
    document.footer =
        m_labels.html("webFooter", common::Value::Array{common::ProductName(), version});
    return RenderDocument(document);
}

} // namespace webapp
