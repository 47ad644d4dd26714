#include "webapp/pages/printpages.h"

#include "webapp/pages/errorpages.h"
#include "webapp/pages/tablecontrols.h"
#include "webapp/pages/viewwords.h"
#include "webapp/rendering/numberformat.h"
#include "webapp/rendering/rowsettable.h"

#include <QDateTime>

namespace webapp {

namespace {

QString printedAt(const PageEnvironment& env) {
    return env.label(
        "webPrintedAt",
        NumberLocale(env.labels).toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
}

QString tableInWords(const PageEnvironment& env, const TableView& view) {
    return (QStringList{printedAt(env)} + TableViewWords(env, view)).join(QLatin1Char(' '));
}

QString queryInWords(const PageEnvironment& env, const QueryView& view) {
    return (QStringList{printedAt(env)} + QueryViewWords(env, view)).join(QLatin1Char(' '));
}

Html cutNote(const PageEnvironment& env, const RowSet& rows) {
    if (!rows.more)
        return {};
    return "<p class=\"warning\">" + env.html("webPrintCut", PRINT_ROWS) + "</p>\n";
}

Response printTable(const PageEnvironment& env) {
    TableView view = TableView::fromRequest(env.context);
    if (view.read.table.isEmpty())
        return NotFoundPage(env);
    view.read.offset = 0;
    view.read.limit = PRINT_ROWS;
    const TableSchema schema = env.database.describeTable(view.read.table);
    Html content = "<p class=\"printinfo\">" + Html::text(tableInWords(env, view)) + "</p>\n";
    try {
        const RowSet rows = ShownRows(env.database.readTable(view.read), view, schema);
        RowSetLayout layout;
        layout.numbers = ColumnNumberStyles(schema, rows.columns);
        content += RowSetTable(env.labels, rows, env.root(), layout) + cutNote(env, rows);
    } catch (const DataFailure& failure) {
        content += FailureBox(env, failure);
    }
    return env.page(view.read.table, content, QStringLiteral("tables"));
}

Response printQuery(const PageEnvironment& env) {
    const QString name = env.field(QStringLiteral("query"));
    const std::optional<QueryInfo> info = env.database.findQuery(name);
    if (!info || info->writes())
        return NotFoundPage(env, env.label("webQueryMissing", name));
    QueryView view = QueryView::fromRequest(env.context, *info, env.labels);
    Html content = "<p class=\"printinfo\">" + Html::text(queryInWords(env, view)) + "</p>\n";
    if (!view.submitted || !view.errors.isEmpty())
        return env.page(name, content + "<p class=\"error\">" + env.html("webPrintNotRun") + "</p>",
                        QStringLiteral("queries"), 400);
    view.run.offset = 0;
    view.run.limit = PRINT_ROWS;
    try {
        const RowSet rows = env.database.query(view.run);
        content += RowSetTable(env.labels, rows, env.root()) + cutNote(env, rows);
    } catch (const DataFailure& failure) {
        content += FailureBox(env, failure);
    }
    return env.page(name, content, QStringLiteral("queries"));
}

// The "Print view" link: the fields of a page's view (without its page size, which a print
// view does not use), the view's name as the field nameField.
Html printLink(const PageEnvironment& env, const Link& view, const QString& nameField) {
    Link link(QStringLiteral("print"));
    for (const auto& [field, value] : view.fields())
        if (field == QLatin1String("name"))
            link.with(nameField, value);
        else if (field != QLatin1String("page") && field != QLatin1String("size"))
            link.keep(field, value);
    return "<p class=\"printlink\">" + Anchor(link, env.label("webPrintView"), env.root()) +
           "</p>\n";
}

} // namespace

Response PrintPage(const PageEnvironment& env) {
    return env.field(QStringLiteral("query")).isEmpty() ? printTable(env) : printQuery(env);
}

Html TablePrintNote(const PageEnvironment& env, const TableView& view) {
    return "<p class=\"print-only\">" + Html::text(tableInWords(env, view)) + "</p>\n";
}

Html TablePrintLink(const PageEnvironment& env, const TableView& view) {
    return printLink(env, view.link(QStringLiteral("table"), false), QStringLiteral("name"));
}

Html QueryPrintLink(const PageEnvironment& env, const QueryView& view) {
    // The query by the field "query": "name" alone stands for a table here.
    return printLink(env, view.link(QStringLiteral("query"), false), QStringLiteral("query"));
}

} // namespace webapp
