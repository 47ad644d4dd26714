#include "webapp/querypages.h"

#include "webapp/errorpages.h"
#include "webapp/formhtml.h"
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
    QString html = FormStart(env.root(), "get", "entry") +
                   HiddenInput(QStringLiteral("page"), QStringLiteral("query")) +
                   HiddenInput(QStringLiteral("name"), view.info.name) +
                   HiddenInput(QStringLiteral("run"), QStringLiteral("1")) + QLatin1Char('\n');
    int n = 0;
    for (const QueryParameter& p : view.info.parameters) {
        const QString id = QStringLiteral("qp") + QString::number(++n);
        QString input = QStringLiteral("type=\"text\"");
        if (p.type == QLatin1String("integer"))
            input = QStringLiteral("type=\"number\" step=\"1\"");
        else if (p.type == QLatin1String("real"))
            input = QStringLiteral("type=\"number\" step=\"any\"");
        html += FieldRow(id, HtmlEscape(p.name),
                         QStringLiteral("<input ") + input + QStringLiteral(" id=\"") + id +
                             QStringLiteral("\" name=\"") +
                             HtmlEscape(QueryView::PARAMETER_PREFIX + p.name) +
                             QStringLiteral("\" value=\"") +
                             HtmlEscape(view.entered.value(p.name)) + QStringLiteral("\">"),
                         view.errors.value(p.name));
    }
    return html + FormEnd(env.html("webRunQuery"));
}

QString result(const PageEnvironment& env, const QueryView& view) {
    RowSet rows;
    try {
        rows = env.database.query(view.run);
    } catch (const DataFailure& failure) {
        return FailureBox(env, failure);
    }
    Link exportLink = view.link(QStringLiteral("export"), false);
    exportLink.with(QStringLiteral("kind"), QStringLiteral("query"));
    return ExportLinks(env.labels, exportLink, env.root()) +
           RowSetTable(env.labels, rows, env.root()) +
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
