#include "webapp/help/helptopics.h"

#include "webapp/rendering/labels.h"

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

Html HelpBody(const Labels& labels, const std::function<Html(const QString&)>& hrefFor,
              const Html& article) {
    Html toc("<nav class=\"topics\"><ul>");
    for (const HelpTopic& t : TOPICS)
        toc += "<li><a href=\"" + hrefFor(QLatin1String(t.context)) + "\">" +
               Html::text(HelpTitle(labels, t)) + "</a></li>";
    toc += "</ul></nav>\n";
    return "<div class=\"help\">" + toc + "<article>" + article + "</article></div>";
}

Html HelpArticle(const Labels& labels, const HelpTopic& topic) {
    const QString text = labels.text(QStringLiteral("webHelpText") + QLatin1String(topic.labels));
    Html html;
    for (const QString& p : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        html += "<p>" + Html::text(p) + "</p>\n";
    return html;
}

} // namespace webapp
