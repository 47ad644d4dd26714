#include "webapp/helpbook.h"

#include "common/helpfiles.h"
#include "common/value.h"
#include "common/version.h"
#include "webapp/helptopics.h"
#include "webapp/html.h"
#include "webapp/labels.h"

namespace webapp {

namespace {

// From help/<code>/ to the web root beside help/.
const QString WEB_ROOT = QStringLiteral("../../wwwroot/");

QString page(const Labels& labels, const HelpTopic& topic) {
    QString lang = labels.languageCode();
    if (lang.isEmpty())
        lang = QString::fromLatin1(common::HELP_FALLBACK_LANGUAGE);
    const QString title = HelpTitle(labels, topic);
    const QString product = common::ProductName();
    const QString body = HelpBody(
        labels, [](const QString& context) { return common::HelpFileName(context); },
        HelpArticle(labels, topic));
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"") + HtmlEscape(lang) +
           QStringLiteral("\">\n<head>\n<meta charset=\"utf-8\">\n"
                          "<meta name=\"viewport\" content=\"width=device-width, "
                          "initial-scale=1\">\n<title>") +
           HtmlEscape(title) + QStringLiteral(" - ") + product +
           QStringLiteral("</title>\n<link rel=\"stylesheet\" href=\"") + WEB_ROOT +
           QStringLiteral("style.css\">\n</head>\n<body class=\"app\">\n<header class=\"appbar\">"
                          "<span class=\"brand\"><img src=\"") +
           WEB_ROOT + QStringLiteral("logo.png\" width=\"36\" height=\"36\" alt=\"\"> ") + product +
           QStringLiteral("</span></header>\n<main>\n<h1>") + HtmlEscape(title) +
           QStringLiteral("</h1>\n") + body + QStringLiteral("\n</main>\n<footer>") +
           labels.html(QStringLiteral("webFooter"),
                       common::Value::Array{product, common::VersionText()}) +
           QStringLiteral("</footer>\n</body>\n</html>\n");
}

} // namespace

std::vector<HelpFile> HelpBook(const Labels& labels) {
    std::vector<HelpFile> files;
    for (const HelpTopic* t = HelpTopicsBegin(); t != HelpTopicsEnd(); ++t)
        files.push_back(
            {common::HelpFileName(QLatin1String(t->context)), page(labels, *t).toUtf8()});
    return files;
}

} // namespace webapp
