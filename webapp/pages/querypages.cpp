#include "webapp/pages/querypages.h"

#include "webapp/data/queryview.h"
#include "webapp/forms/formhtml.h"
#include "webapp/pages/errorpages.h"
#include "webapp/pages/printpages.h"
#include "webapp/rendering/rowsettable.h"

namespace webapp {

namespace {

Html parameterList(const QueryInfo& q) {
    Html html;
    for (const QueryParameter& p : q.parameters) {
        if (!html.isEmpty())
            html += ", ";
        html += Html::text(p.name);
    }
    return html;
}

Html renderQueries(const PageEnvironment& env, const QList<QueryInfo>& queries) {
    Html html = "<table class=\"data\"><thead><tr><th>" + env.html("webQueryName") + "</th><th>" +
                env.html("webQueryParameters") + "</th></tr></thead><tbody>\n";
    for (const QueryInfo& q : queries)
        html += "<tr><td>" +
                Anchor(Link(QStringLiteral("query")).with(QStringLiteral("name"), q.name), q.name,
                       env.root()) +
                "</td><td>" + parameterList(q) + "</td></tr>\n";
    return html + "</tbody></table>\n";
}

Markup inputType(const QueryParameter& p) {
    if (p.type == QLatin1String("integer"))
        return "type=\"number\" step=\"1\"";
    if (p.type == QLatin1String("real"))
        return "type=\"number\" step=\"any\"";
    return "type=\"text\"";
}

Html parameterForm(const PageEnvironment& env, const QueryView& view) {
    Html html = FormStart(env.root(), "get", "entry") +
                HiddenInput(QStringLiteral("page"), QStringLiteral("query")) +
                HiddenInput(QStringLiteral("name"), view.info.name) +
                HiddenInput(QStringLiteral("run"), QStringLiteral("1")) + "\n";
    int n = 0;
    for (const QueryParameter& p : view.info.parameters) {
        const QString id = QStringLiteral("qp") + QString::number(++n);
        html += FieldRow(id, Html::text(p.name),
                         "<input " + Html(inputType(p)) + " id=\"" + Html::text(id) + "\" name=\"" +
                             Html::text(QueryView::PARAMETER_PREFIX + p.name) + "\"" +
                             FieldErrorAttributes(id, view.errors.value(p.name)) + " value=\"" +
                             Html::text(view.entered.value(p.name)) + "\">",
                         view.errors.value(p.name));
    }
    return html + FormEnd(env.html("webRunQuery"));
}

// A query's result as far as it was read: its rows, or why there are none.
struct QueryResult {
    RowSet rows;
    std::optional<DataFailure> failure;
};

Html renderResult(const PageEnvironment& env, const QueryView& view, const QueryResult& result) {
    if (result.failure)
        return FailureBox(env, *result.failure);
    Link exportLink = view.link(QStringLiteral("export"), false);
    exportLink.with(QStringLiteral("kind"), QStringLiteral("query"));
    return ExportLinks(env.labels, exportLink, env.root()) + QueryPrintLink(env, view) +
           RowSetTable(env.labels, result.rows, env.root()) +
           Pager(env.labels, result.rows, view.run.limit, env.root(), [&](qint64 offset) {
               QueryView at = view;
               at.run.offset = offset;
               return at.link(QStringLiteral("query"));
           });
}

// What a query page shows: the parameters as entered and, once sent, the result.
struct QueryContent {
    QueryView view;
    std::optional<QueryResult> result;
};

Html renderQuery(const PageEnvironment& env, const QueryContent& content) {
    Html html;
    if (!content.view.info.parameters.isEmpty())
        html += parameterForm(env, content.view);
    if (content.result)
        html += renderResult(env, content.view, *content.result);
    return html;
}

} // namespace

Response QueriesPage(const PageEnvironment& env) {
    QList<QueryInfo> queries = env.database.listQueries();
    queries.removeIf([&env](const QueryInfo& q) {
        return q.writes() || !env.mayUse(ObjectKind::Query, q.name);
    });
    return env.page(env.label("webQueriesTitle"), renderQueries(env, queries),
                    QStringLiteral("queries"));
}

Response QueryPage(const PageEnvironment& env) {
    const QString name = env.field(QStringLiteral("name"));
    const std::optional<QueryInfo> info = env.database.findQuery(name);
    if (!info || info->writes())
        return NotFoundPage(env, env.label("webQueryMissing", name));
    QueryContent content{QueryView::fromRequest(env.context, *info, env.labels), {}};
    if (content.view.submitted && content.view.errors.isEmpty()) {
        QueryResult& result = content.result.emplace();
        try {
            result.rows = env.database.query(content.view.run);
        } catch (const DataFailure& failure) {
            result.failure = failure;
        }
    }
    return env.page(name, renderQuery(env, content), QStringLiteral("queries"));
}

} // namespace webapp
