#include "webapp/helppages.h"

#include "webapp/html.h"

namespace webapp {

namespace {

// Context as the address carries it, and the label suffix of its title and text.
struct Topic {
    const char* context;
    const char* labels;
};
constexpr Topic TOPICS[] = {
    {"", "Server"},     {"tracelog", "TraceLog"}, {"ServerSettings", "Settings"},
    {"home", "Home"},   {"tables", "Tables"},     {"queries", "Queries"},
    {"forms", "Forms"}, {"admin", "Admin"},
};

QString title(const PageEnvironment& env, const Topic& t) {
    return env.labels.text(QStringLiteral("webHelpTitle") + QLatin1String(t.labels));
}

// Paragraphs are separated by line breaks ("\n" in the language file).
QString paragraphs(const QString& text) {
    QString html;
    for (const QString& p : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        html += QStringLiteral("<p>") + HtmlEscape(p) + QStringLiteral("</p>\n");
    return html;
}

} // namespace

Response HelpPage(const PageEnvironment& env) {
    const QString context = env.field(QStringLiteral("context"));
    const Topic* shown = nullptr;
    for (const Topic& t : TOPICS)
        if (context.compare(QLatin1String(t.context), Qt::CaseInsensitive) == 0)
            shown = &t;

    QString toc = QStringLiteral("<nav class=\"topics\"><ul>");
    for (const Topic& t : TOPICS)
        toc += QStringLiteral("<li><a href=\"") +
               HtmlEscape(Frame::helpAddress(env.root(), QLatin1String(t.context))) +
               QStringLiteral("\">") + HtmlEscape(title(env, t)) + QStringLiteral("</a></li>");
    toc += QStringLiteral("</ul></nav>\n");

    QString html;
    if (shown)
        html = paragraphs(
            env.labels.text(QStringLiteral("webHelpText") + QLatin1String(shown->labels)));
    else
        html =
            QStringLiteral("<p>") + env.html("webHelpUnknown", context) + QStringLiteral("</p>\n");
    return env.page(shown ? title(env, *shown) : env.label("webHelpTitle"),
                    QStringLiteral("<div class=\"help\">") + toc + QStringLiteral("<article>") +
                        html + QStringLiteral("</article></div>"),
                    shown ? QLatin1String(shown->context) : QString());
}

} // namespace webapp
