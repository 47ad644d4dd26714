#include "webapp/helptopics.h"

#include "webapp/html.h"
#include "webapp/labels.h"

#include <iterator>

namespace webapp {

namespace {
constexpr HelpTopic TOPICS[] = {
    {"", "Server"},     {"tracelog", "TraceLog"}, {"ServerSettings", "Settings"},
    {"home", "Home"},   {"tables", "Tables"},     {"queries", "Queries"},
    {"forms", "Forms"}, {"admin", "Admin"},
};
} // namespace

const HelpTopic* HelpTopicsBegin() {
    return std::begin(TOPICS);
}

const HelpTopic* HelpTopicsEnd() {
    return std::end(TOPICS);
}

const HelpTopic* FindHelpTopic(const QString& context) {
    for (const HelpTopic& t : TOPICS)
        if (context.compare(QLatin1String(t.context), Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

QString HelpTitle(const Labels& labels, const HelpTopic& topic) {
    return labels.text(QStringLiteral("webHelpTitle") + QLatin1String(topic.labels));
}

QString HelpBody(const Labels& labels, const std::function<QString(const QString&)>& linkFor,
                 const QString& article) {
    QString toc = QStringLiteral("<nav class=\"topics\"><ul>");
    for (const HelpTopic& t : TOPICS)
        toc += QStringLiteral("<li><a href=\"") + HtmlEscape(linkFor(QLatin1String(t.context))) +
               QStringLiteral("\">") + HtmlEscape(HelpTitle(labels, t)) +
               QStringLiteral("</a></li>");
    toc += QStringLiteral("</ul></nav>\n");
    return QStringLiteral("<div class=\"help\">") + toc + QStringLiteral("<article>") + article +
           QStringLiteral("</article></div>");
}

QString HelpArticle(const Labels& labels, const HelpTopic& topic) {
    const QString text = labels.text(QStringLiteral("webHelpText") + QLatin1String(topic.labels));
    QString html;
    for (const QString& p : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        html += QStringLiteral("<p>") + HtmlEscape(p) + QStringLiteral("</p>\n");
    return html;
}

} // namespace webapp
