#include "webapp/rendering/frame.h"

#include "common/text.h"
#include "common/version.h"
#include "webapp/rendering/document.h"
#include "webapp/requestcontext.h"

namespace webapp {

Frame::Frame(const Labels& labels, const RequestContext& context)
    : m_labels(labels), m_context(context) {}

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

    const std::pair<Link, const char*> menu[] = {
        {Link(), "webMenuHome"},
        {Link(QStringLiteral("tables")), "webMenuTables"},
        {Link(QStringLiteral("queries")), "webMenuQueries"},
        {Link(QStringLiteral("forms")), "webMenuForms"},
        {Link(QStringLiteral("admin")), "webMenuAdmin"},
    };
    Html nav;
    for (const auto& [link, label] : menu)
        nav += "<li>" + Anchor(link, m_labels.text(label), root) + "</li>";
    nav += "<li>" + Anchor(helpLink(helpContext), m_labels.text("webMenuHelp"), root) + "</li>";

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
