#include "webapp/querypages.h"

#include "webapp/errorpages.h"
#include "webapp/queryview.h"
#include "webapp/rowsettable.h"

namespace webapp {

namespace {

QString parameterList(const QueryInfo& q) {
    QStringList names;
    for (const QueryParameter& p : q.parameters)
        names.append(HtmlEscape(p.name));
    return names.join(QStringLiteral(", "));
}

QString parameterForm(const PageEnvironment& env, const QueryView& view) {
    QString html = QStringLiteral("<form class=\"entry\" method=\"get\" action=\"") +
                   HtmlEscape(env.root()) +
                   QStringLiteral("/\" accept-charset=\"utf-8\">"
                                  "<input type=\"hidden\" name=\"page\" value=\"query\">"
                                  "<input type=\"hidden\" name=\"name\" value=\"") +
                   HtmlEscape(view.info.name) +
                   QStringLiteral("\"><input type=\"hidden\" name=\"run\" value=\"1\">\n");
    int n = 0;
    for (const QueryParameter& p : view.info.parameters) {
        const QString id = QStringLiteral("qp") + QString::number(++n);
        QString input = QStringLiteral("type=\"text\"");
        if (p.type == QLatin1String("integer"))
            input = QStringLiteral("type=\"number\" step=\"1\"");
        else if (p.type == QLatin1String("real"))
            input = QStringLiteral("type=\"number\" step=\"any\"");
        const QString error = view.errors.value(p.name);
        html += QStringLiteral("<div class=\"field") +
                (error.isEmpty() ? QString() : QStringLiteral(" invalid")) +
                QStringLiteral("\"><label for=\"") + id + QStringLiteral("\">") +
                HtmlEscape(p.name) + QStringLiteral("</label><input ") + input +
                QStringLiteral(" id=\"") + id + QStringLiteral("\" name=\"") +
                HtmlEscape(QueryView::PARAMETER_PREFIX + p.name) + QStringLiteral("\" value=\"") +
                HtmlEscape(view.entered.value(p.name)) + QStringLiteral("\">") +
                (error.isEmpty() ? QString()
                                 : QStringLiteral("<span class=\"message\">") + HtmlEscape(error) +
                                       QStringLiteral("</span>")) +
                QStringLiteral("</div>\n");
    }
    return html + QStringLiteral("<div class=\"actions\"><button type=\"submit\">") +
           env.html("webRunQuery") + QStringLiteral("</button></div></form>\n");
}

QString result(const PageEnvironment& env, const QueryView& view) {
    RowSet rows;
    try {
        rows = env.database.query(view.run);
    } catch (const DataFailure& failure) {
        return FailureBox(env, failure);
    }
    QString html = QStringLiteral("<p class=\"exports\">") + env.html("webExport");
    for (const char* format : {"csv", "json"})
        html += QLatin1Char(' ') +
                Anchor(view.link(QStringLiteral("export"), false)
                           .with(QStringLiteral("kind"), QStringLiteral("query"))
                           .with(QStringLiteral("format"), QString::fromLatin1(format)),
                       QString::fromLatin1(format).toUpper(), env.root());
    html += QStringLiteral("</p>\n");
    return html + RowSetTable(env.labels, rows, env.root()) +
           Pager(env.labels, rows, view.run.limit, env.root(), [&](qint64 offset) {
               QueryView at = view;
               at.run.offset = offset;
               return at.link(QStringLiteral("query"));
           });
}

} // namespace

Response QueriesPage(const PageEnvironment& env) {
    QString html = QStringLiteral("<table class=\"data\"><thead><tr><th>") +
                   env.html("webQueryName") + QStringLiteral("</th><th>") +
                   env.html("webQueryParameters") + QStringLiteral("</th></tr></thead><tbody>\n");
    for (const QueryInfo& q : env.database.listQueries()) {
        if (q.writes())
            continue;
        html += QStringLiteral("<tr><td>") +
                Anchor(Link(QStringLiteral("query")).with(QStringLiteral("name"), q.name), q.name,
                       env.root()) +
                QStringLiteral("</td><td>") + parameterList(q) + QStringLiteral("</td></tr>\n");
    }
    html += QStringLiteral("</tbody></table>\n");
    return env.page(env.label("webQueriesTitle"), html, QStringLiteral("queries"));
}

Response QueryPage(const PageEnvironment& env) {
    const QString name = env.field(QStringLiteral("name"));
    const std::optional<QueryInfo> info = env.database.findQuery(name);
    if (!info || info->writes())
        return NotFoundPage(env, env.label("webQueryMissing", name));
    const QueryView view = QueryView::fromRequest(env.context, *info, env.labels);
    QString html;
    if (!info->parameters.isEmpty())
        html += parameterForm(env, view);
    if (view.submitted && view.errors.isEmpty())
        html += result(env, view);
    return env.page(name, html, QStringLiteral("queries"));
}

} // namespace webapp
