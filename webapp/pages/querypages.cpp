#include "webapp/pages/querypages.h"

#include "webapp/data/querytexts.h"
#include "webapp/data/queryview.h"
#include "webapp/forms/formhtml.h"
#include "webapp/pages/chartfiles.h"
#include "webapp/pages/errorpages.h"
#include "webapp/pages/formfiles.h"
#include "webapp/pages/parameterform.h"
#include "webapp/pages/printpages.h"
#include "webapp/pages/tablepages.h"
#include "webapp/rendering/rowsettable.h"

namespace webapp {

namespace {

Html parameterList(const PageEnvironment& env, const QueryInfo& q) {
    Html html;
    for (const QueryParameter& p : q.parameters) {
        if (!html.isEmpty())
            html += ", ";
        html += Html::text(TitleOf(env.labels, p.texts, p.name));
    }
    return html;
}

Html renderQueries(const PageEnvironment& env, const QList<QueryInfo>& queries) {
    Html html = "<table class=\"data queries\"><thead><tr><th>" + env.html("webQueryName") +
                "</th><th>" + env.html("webQueryDescription") + "</th><th>" +
                env.html("webQueryParameters") + "</th></tr></thead><tbody>\n";
    for (const QueryInfo& q : queries)
        html += "<tr><td>" +
                Anchor(Link(QStringLiteral("query")).with(QStringLiteral("name"), q.name),
                       TitleOf(env.labels, q.texts, q.name), env.root()) +
                "</td><td>" + Html::text(DescriptionOf(env.labels, q.texts)) + "</td><td>" +
                parameterList(env, q) + "</td></tr>\n";
    return html + "</tbody></table>\n";
}

// Whether the list leaves the query out: it writes, the user may not use it, or it only gives
// a form its choices (so marked) or a form or chart its rows, with no title of its own.
bool unlisted(const PageEnvironment& env, const QueryInfo& q, const QSet<QString>& serving) {
    const bool titled = !q.texts.title.isEmpty() || !q.texts.label.isEmpty();
    return q.writes() || !env.mayUse(ObjectKind::Query, q.name) || q.choicesOnly ||
           (!titled && serving.contains(q.name));
}

Html parameterForm(const PageEnvironment& env, const QueryView& view) {
    Link fields(QStringLiteral("query"));
    fields.with(QStringLiteral("name"), view.info.name);
    // Other values keep the order the result was sorted in.
    if (!view.run.orderBy.isEmpty()) {
        fields.with(QStringLiteral("sort"), view.run.orderBy.first().column);
        if (view.run.orderBy.first().descending)
            fields.with(QStringLiteral("dir"), QStringLiteral("desc"));
    }
    return ParameterForm(env, view, fields, env.html("webRunQuery"));
}

// The result columns whose values are keys of rows the user may open: column -> (table, key
// column). A table that is gone, or whose key has several columns, gives no links.
QHash<QString, QPair<QString, QString>> keyLinks(const PageEnvironment& env,
                                                 const QueryInfo& info) {
    QHash<QString, QPair<QString, QString>> links;
    for (const ResultLink& link : info.links) {
        if (!env.mayUse(ObjectKind::Table, link.table))
            continue;
        try {
            const QStringList key = env.database.describeTable(link.table).primaryKey();
            if (key.size() == 1)
                links.insert(link.column, {link.table, key.first()});
        } catch (const DataFailure&) {
            // Not a table of this database: the values stay plain.
        }
    }
    return links;
}

// A query's result as far as it was read: its rows, or why there are none.
struct QueryResult {
    RowSet rows;
    std::optional<DataFailure> failure;
    QHash<QString, QPair<QString, QString>> links; // see keyLinks()
};

Html sortHeader(const PageEnvironment& env, const QueryView& view, const QString& column) {
    const QList<SortKey>& order = view.run.orderBy;
    const bool current = !order.isEmpty() && order.first().column == column;
    if (!current)
        return "<a class=\"sortable\" href=\"" +
               view.sortedBy(column).link(QStringLiteral("query")).href(env.root()) + "\">" +
               Html::text(column) + "</a>";
    return Anchor(view.sortedBy(column).link(QStringLiteral("query")), column, env.root()) +
           (order.first().descending ? Markup(" \u25BC") : Markup(" \u25B2"));
}

RowSetLayout resultLayout(const PageEnvironment& env, const QueryView& view,
                          const QueryResult& result) {
    RowSetLayout layout;
    layout.header = [&](const QString& column) { return sortHeader(env, view, column); };
    layout.headerAttributes = [&view](const QString& column) -> Html {
        const QList<SortKey>& order = view.run.orderBy;
        if (order.isEmpty() || order.first().column != column)
            return {};
        return order.first().descending ? Html(" aria-sort=\"descending\"")
                                        : Html(" aria-sort=\"ascending\"");
    };
    layout.cellLink = [&result](const QString& column, const QList<Cell>&,
                                const Cell& cell) -> std::optional<Link> {
        const auto link = result.links.constFind(column);
        if (link == result.links.constEnd() || cell.isNull || cell.isBlob)
            return std::nullopt;
        return RowLink(link->first, {{link->second, cell.text}});
    };
    return layout;
}

Html renderResult(const PageEnvironment& env, const QueryView& view, const QueryResult& result) {
    if (result.failure)
        return FailureBox(env, *result.failure);
    Link exportLink = view.link(QStringLiteral("export"), false);
    exportLink.with(QStringLiteral("kind"), QStringLiteral("query"));
    return ExportLinks(env.labels, exportLink, env.root()) + QueryPrintLink(env, view) +
           RowSetTable(env.labels, result.rows, env.root(), resultLayout(env, view, result)) +
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
    const QString description = DescriptionOf(env.labels, content.view.info.texts);
    if (!description.isEmpty())
        html += "<p class=\"description\">" + Html::text(description) + "</p>\n";
    if (!content.view.info.parameters.isEmpty())
        html += parameterForm(env, content.view);
    if (content.result)
        html += renderResult(env, content.view, *content.result);
    return html;
}

} // namespace

Response QueriesPage(const PageEnvironment& env) {
    QList<QueryInfo> queries = env.database.listQueries();
    const QSet<QString> serving = FormChoiceQueries(env) + ChartQueries(env);
    queries.removeIf([&](const QueryInfo& q) { return unlisted(env, q, serving); });
    return env.page(env.label("webQueriesTitle"), renderQueries(env, queries),
                    QStringLiteral("queries"));
}

Response QueryPage(const PageEnvironment& env) {
    const QString name = env.field(QStringLiteral("name"));
    const std::optional<QueryInfo> info = env.database.findQuery(name);
    if (!info || info->writes())
        return NotFoundPage(env, env.label("webQueryMissing", name));
    QueryContent content{QueryView::fromRequest(env.context, *info, env.labels), {}};
    content.view.run.total = true;
    if (content.view.submitted && content.view.errors.isEmpty()) {
        QueryResult& result = content.result.emplace();
        try {
            result.rows = env.database.query(content.view.run);
            result.links = keyLinks(env, *info);
        } catch (const DataFailure& failure) {
            result.failure = failure;
        }
    }
    return env.page(TitleOf(env.labels, info->texts, name), renderQuery(env, content),
                    QStringLiteral("queries"));
}

} // namespace webapp
