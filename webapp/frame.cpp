#include "webapp/frame.h"

#include "common/text.h"
#include "common/version.h"
#include "webapp/html.h"
#include "webapp/requestcontext.h"

namespace webapp {

Frame::Frame(const Labels& labels, const RequestContext& context)
    : m_labels(labels), m_context(context) {}

QString Frame::helpAddress(const QString& root, const QString& context) {
    // The same address the desktop window's Help menu opens, so one set of pages serves both.
    return root + QStringLiteral("/fn/?productid=QV&version=") + common::VersionText() +
           QStringLiteral("&fn=help&context=") + UrlEncode(context);
}

QString Frame::render(const QString& title, const QString& content,
                      const QString& helpContext) const {
    const QString root = m_context.root();
    const common::DictionaryPtr server = m_context.server();
    auto serverText = [&](const char* key) {
        return server ? common::ToText(server->item(QString::fromLatin1(key))) : QString();
    };
    QString lang = m_labels.languageCode();
    if (lang.isEmpty())
        lang = serverText("LanguageCode");
    if (lang.isEmpty())
        lang = QStringLiteral("en");
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
    QString nav;
    for (const auto& [link, label] : menu)
        nav += QStringLiteral("<li>") + Anchor(link, m_labels.text(label), root) +
               QStringLiteral("</li>");
    nav += QStringLiteral("<li><a href=\"") + HtmlEscape(helpAddress(root, helpContext)) +
           QStringLiteral("\">") + m_labels.html("webMenuHelp") + QStringLiteral("</a></li>");

    const QString product = common::ProductName();
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"") + HtmlEscape(lang) +
           QStringLiteral("\">\n<head>\n<meta charset=\"utf-8\">\n"
                          "<meta name=\"viewport\" content=\"width=device-width, "
                          "initial-scale=1\">\n<title>") +
           HtmlEscape(title) + QStringLiteral(" - ") + product +
           QStringLiteral("</title>\n<link rel=\"stylesheet\" href=\"") + HtmlEscape(root) +
           QStringLiteral("/style.css\">\n</head>\n<body class=\"app\">\n<header class=\"appbar\">"
                          "<a class=\"brand\" href=\"") +
           // PNG: static files are typed by a fixed table with no entry for SVG, and a
           // browser draws no image sent without its type.
           HtmlEscape(root) + QStringLiteral("/\"><img src=\"") + HtmlEscape(root) +
           QStringLiteral("/logo.png\" width=\"36\" height=\"36\" alt=\"\"> ") + product +
           QStringLiteral("</a>\n<nav><ul>") + nav +
           QStringLiteral("</ul></nav></header>\n<main>\n<h1>") + HtmlEscape(title) +
           QStringLiteral("</h1>\n") + content + QStringLiteral("\n</main>\n<footer>") +
           m_labels.html("webFooter", common::Value::Array{product, version}) +
           QStringLiteral("</footer>\n</body>\n</html>\n");
}

} // namespace webapp
