#include "webapp/tablepages.h"

#include "webapp/errorpages.h"
#include "webapp/formhtml.h"
#include "webapp/rowsettable.h"
#include "webapp/tableview.h"

namespace webapp {

namespace {

const QString KEY_PREFIX = QStringLiteral("k.");

QString option(const QString& value, const QString& text) {
    return QStringLiteral("<option value=\"") + HtmlEscape(value) + QStringLiteral("\">") +
           HtmlEscape(text) + QStringLiteral("</option>");
}

QString operatorLabel(const PageEnvironment& env, const QString& op) {
    return FilterOperators().contains(op) ? env.labels.text(QStringLiteral("webOp_") + op) : op;
}

// The value of column in row; nullopt when it is NULL or not there.
std::optional<QString> valueOf(const RowSet& rows, const QList<Cell>& row, const QString& column) {
    const qsizetype at = rows.column(column);
    if (at < 0 || row[at].isNull || row[at].isBlob)
        return std::nullopt;
    return row[at].text;
}

// (to, value) pairs of a key reference, taking values from row's columns named by from
// (outgoing) or to (incoming); nullopt when one of them is NULL.
std::optional<QList<QPair<QString, QString>>> keyValues(const RowSet& rows, const QList<Cell>& row,
                                                        const KeyReference& ref, bool outgoing) {
    QList<QPair<QString, QString>> out;
    for (const auto& [from, to] : ref.columns) {
        const std::optional<QString> v = valueOf(rows, row, outgoing ? from : to);
        if (!v)
            return std::nullopt;
        out.append({outgoing ? to : from, *v});
    }
    return out;
}

QString activeFilters(const PageEnvironment& env, const TableView& view) {
    if (view.read.filters.isEmpty())
        return {};
    QString html = QStringLiteral("<ul class=\"filters\">");
    for (qsizetype i = 0; i < view.read.filters.size(); ++i) {
        TableView without = view;
        without.read.filters.removeAt(i);
        const Filter& f = view.read.filters[i];
        html += QStringLiteral("<li>") + HtmlEscape(f.column) + QLatin1Char(' ') +
                HtmlEscape(operatorLabel(env, f.op)) + QStringLiteral(" <q>") +
                HtmlEscape(f.value) + QStringLiteral("</q> ") +
                Anchor(without.link(QStringLiteral("table"), false), env.label("webRemoveFilter"),
                       env.root()) +
                QStringLiteral("</li>");
    }
    return html + QStringLiteral("</ul>\n");
}

// A GET form that adds one filter and keeps the view's other settings.
QString filterForm(const PageEnvironment& env, const TableView& view, const QStringList& columns) {
    if (view.read.filters.size() >= TableView::MAX_FILTERS)
        return {};
    const QString n = QString::number(view.read.filters.size() + 1);
    QString html = FormStart(env.root(), "get", "filter") +
                   HiddenInput(QStringLiteral("page"), QStringLiteral("table")) +
                   HiddenInput(QStringLiteral("name"), view.read.table);
    TableView kept = view;
    kept.read.offset = 0;
    const Link keptLink = kept.link(QStringLiteral("table"));
    for (const auto& [name, value] : keptLink.fields())
        if (name != QLatin1String("page") && name != QLatin1String("name"))
            html += HiddenInput(name, value);
    html += QStringLiteral("<label>") + env.html("webFilterColumn") +
            QStringLiteral(" <select name=\"col") + n + QStringLiteral("\">");
    for (const QString& c : columns)
        html += option(c, c);
    html += QStringLiteral("</select></label> <select name=\"op") + n + QStringLiteral("\">");
    for (const QString& op : FilterOperators())
        html += option(op, operatorLabel(env, op));
    html += QStringLiteral("</select> <input type=\"text\" name=\"val") + n +
            QStringLiteral("\"> <button type=\"submit\">") + env.html("webFilterApply") +
            QStringLiteral("</button></form>\n");
    return html;
}

QString sortHeader(const PageEnvironment& env, const TableView& view, const QString& column) {
    TableView sorted = view;
    sorted.read.offset = 0;
    sorted.read.orderBy = column;
    const bool current = view.read.orderBy == column;
    sorted.read.descending = current && !view.read.descending;
    QString mark;
    if (current)
        mark = view.read.descending ? QStringLiteral(" \u25BC") : QStringLiteral(" \u25B2");
    return Anchor(sorted.link(QStringLiteral("table")), column, env.root()) + mark;
}

} // namespace

Link RowLink(const QString& table, const QList<QPair<QString, QString>>& key) {
    Link link(QStringLiteral("row"));
    link.with(QStringLiteral("table"), table);
    for (const auto& [column, value] : key)
        link.keep(KEY_PREFIX + column, value);
    return link;
}

Response TablesPage(const PageEnvironment& env) {
    const QList<TableInfo> tables = env.database.listTables();
    QString html = QStringLiteral("<table class=\"data\"><thead><tr><th>") +
                   env.html("webTableName") + QStringLiteral("</th><th>") +
                   env.html("webTableType") + QStringLiteral("</th><th class=\"num\">") +
                   env.html("webTableRows") + QStringLiteral("</th></tr></thead><tbody>\n");
    for (const TableInfo& t : tables) {
        const bool view = t.type == QLatin1String("view");
        html += QStringLiteral("<tr><td>") +
                Anchor(Link(QStringLiteral("table")).with(QStringLiteral("name"), t.name), t.name,
                       env.root()) +
                QStringLiteral("</td><td>") + env.html(view ? "webTypeView" : "webTypeTable") +
                QStringLiteral("</td><td class=\"num\">") +
                (t.rows >= 0 ? QString::number(t.rows) : QString()) +
                QStringLiteral("</td></tr>\n");
    }
    html += QStringLiteral("</tbody></table>\n");
    return env.page(env.label("webTablesTitle"), html, QStringLiteral("tables"));
}

Response TablePage(const PageEnvironment& env) {
    const TableView view = TableView::fromRequest(env.context);
    if (view.read.table.isEmpty())
        return NotFoundPage(env);
    const TableSchema schema = env.database.describeTable(view.read.table);
    RowSet rows;
    try {
        rows = env.database.readTable(view.read);
    } catch (const DataFailure& failure) {
        // A bad filter or sort column: the page stays usable to correct it.
        return env.page(
            view.read.table,
            FailureBox(env, failure) + activeFilters(env, view) + QStringLiteral("<p>") +
                Anchor(Link(QStringLiteral("table")).with(QStringLiteral("name"), view.read.table),
                       env.label("webResetView"), env.root()) +
                QStringLiteral("</p>"),
            QStringLiteral("tables"));
    }
    QStringList columns;
    for (const ColumnInfo& c : schema.columns)
        columns.append(c.name);

    const QStringList key = schema.primaryKey();
    RowSetLayout layout;
    layout.header = [&](const QString& column) { return sortHeader(env, view, column); };
    if (!key.isEmpty())
        layout.lead = [&](const QList<Cell>& row) -> QString {
            QList<QPair<QString, QString>> values;
            for (const QString& k : key) {
                const std::optional<QString> v = valueOf(rows, row, k);
                if (!v)
                    return {};
                values.append({k, *v});
            }
            return Anchor(RowLink(schema.name, values), env.label("webOpenRow"), env.root());
        };
    layout.cellLink = [&](const QString& column, const QList<Cell>& row,
                          const Cell&) -> std::optional<Link> {
        for (const KeyReference& fk : schema.foreignKeys)
            if (fk.columns.size() == 1 && fk.columns.first().first == column)
                if (const auto values = keyValues(rows, row, fk, true))
                    return RowLink(fk.table, *values);
        return std::nullopt;
    };

    const QString html =
        activeFilters(env, view) + filterForm(env, view, columns) +
        ExportLinks(env.labels, view.link(QStringLiteral("export"), false), env.root()) +
        RowSetTable(env.labels, rows, env.root(), layout) +
        Pager(env.labels, rows, view.read.limit, env.root(), [&](qint64 offset) {
            TableView at = view;
            at.read.offset = offset;
            return at.link(QStringLiteral("table"));
        });
    return env.page(view.read.table, html, QStringLiteral("tables"));
}

Response RowPage(const PageEnvironment& env) {
    const QString table = env.field(QStringLiteral("table"));
    TableRead read;
    read.table = table;
    read.limit = 1;
    for (const QString& name : env.context.fieldNames())
        if (name.startsWith(KEY_PREFIX) && name.size() > KEY_PREFIX.size())
            read.filters.append(
                {name.mid(KEY_PREFIX.size()), QStringLiteral("eq"), env.field(name)});
    if (table.isEmpty() || read.filters.isEmpty())
        return NotFoundPage(env);
    const TableSchema schema = env.database.describeTable(table);
    if (schema.isView())
        return NotFoundPage(env, env.label("webViewHasNoRows", table));
    const RowSet rows = env.database.readTable(read);
    if (rows.rows.isEmpty())
        return NotFoundPage(env, env.label("webRowMissing", table));
    const QList<Cell>& row = rows.rows.first();

    QString html = QStringLiteral("<table class=\"record\"><tbody>\n");
    for (qsizetype i = 0; i < rows.columns.size(); ++i) {
        QString type;
        for (const ColumnInfo& c : schema.columns)
            if (c.name == rows.columns[i])
                type = c.type;
        html += QStringLiteral("<tr><th>") + HtmlEscape(rows.columns[i]) +
                QStringLiteral("</th><td>") + CellHtml(env.labels, row[i]) +
                QStringLiteral("</td><td class=\"type\">") + HtmlEscape(type) +
                QStringLiteral("</td></tr>\n");
    }
    html += QStringLiteral("</tbody></table>\n");

    auto describe = [](const KeyReference& ref, bool outgoing) -> QString {
        QStringList pairs;
        for (const auto& [from, to] : ref.columns)
            pairs.append(outgoing ? from + QStringLiteral(" \u2192 ") + to : from);
        return ref.table + QStringLiteral(" (") + pairs.join(QStringLiteral(", ")) +
               QLatin1Char(')');
    };
    QString refs;
    for (const KeyReference& fk : schema.foreignKeys)
        if (const auto values = keyValues(rows, row, fk, true))
            refs += QStringLiteral("<li>") +
                    Anchor(RowLink(fk.table, *values), describe(fk, true), env.root()) +
                    QStringLiteral("</li>");
    if (!refs.isEmpty())
        html += QStringLiteral("<h2>") + env.html("webReferences") + QStringLiteral("</h2><ul>") +
                refs + QStringLiteral("</ul>\n");

    QString back;
    for (const KeyReference& ref : schema.referencedBy) {
        const auto values = keyValues(rows, row, ref, false);
        if (!values)
            continue;
        TableView referring;
        referring.read.table = ref.table;
        for (const auto& [column, value] : *values)
            referring.read.filters.append({column, QStringLiteral("eq"), value});
        back += QStringLiteral("<li>") +
                Anchor(referring.link(QStringLiteral("table")), describe(ref, false), env.root()) +
                QStringLiteral("</li>");
    }
    if (!back.isEmpty())
        html += QStringLiteral("<h2>") + env.html("webReferencedBy") + QStringLiteral("</h2><ul>") +
                back + QStringLiteral("</ul>\n");
    html += QStringLiteral("<p>") +
            Anchor(Link(QStringLiteral("table")).with(QStringLiteral("name"), table),
                   env.label("webBackToTable", table), env.root()) +
            QStringLiteral("</p>\n");
    return env.page(env.label("webRowTitle", table), html, QStringLiteral("tables"));
}

} // namespace webapp
