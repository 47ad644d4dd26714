#include "webapp/rendering/frame.h"

#include "common/text.h"
#include "common/version.h"
#include "webapp/forms/formhtml.h"
#include "webapp/rendering/document.h"
#include "webapp/requestcontext.h"

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
    } menu[] = {
        {Link(), "webMenuHome", true},
        {Link(QStringLiteral("tables")), "webMenuTables", m_user.tables},
        {Link(QStringLiteral("queries")), "webMenuQueries", m_user.queries},
        {Link(QStringLiteral("forms")), "webMenuForms", m_user.forms},
        {Link(QStringLiteral("admin")), "webMenuAdmin", m_user.admin},
    };
    Html nav;
    for (const auto& entry : menu)
        if (entry.shown)
            nav += "<li>" + Anchor(entry.link, m_labels.text(entry.label), root) + "</li>";
    nav += "<li>" + Anchor(helpLink(helpContext), m_labels.text("webMenuHelp"), root) + "</li>";
    nav += userArea();

    document.title = title;
    document.webRoot = Html::text(root) + "/";
    document.brandLinksHome = true;
    document.navigation = "\n<nav><ul>" + nav + "</ul></nav>";
    document.content = content;
    document.footer =
        m_labels.html("webFooter", common::Value::Array{common::ProductName(), version});
    return RenderDocument(document);
}

} // namespace webapp
