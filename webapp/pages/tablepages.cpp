#include "webapp/pages/tablepages.h"

#include "webapp/data/tableview.h"
#include "webapp/forms/formhtml.h"
#include "webapp/pages/errorpages.h"
#include "webapp/pages/printpages.h"
#include "webapp/pages/roweditpages.h"
#include "webapp/pages/tablecontrols.h"
#include "webapp/rendering/rowsettable.h"

namespace webapp {

namespace {

const QString KEY_PREFIX = QStringLiteral("k.");

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

Html renderTables(const PageEnvironment& env, const QList<TableInfo>& tables) {
    Html html = "<table class=\"data\"><thead><tr><th>" + env.html("webTableName") + "</th><th>" +
                env.html("webTableType") + "</th><th class=\"num\">" + env.html("webTableRows") +
                "</th></tr></thead><tbody>\n";
    for (const TableInfo& t : tables) {
        const bool view = t.type == QLatin1String("view");
        html += "<tr><td>" +
                Anchor(Link(QStringLiteral("table")).with(QStringLiteral("name"), t.name), t.name,
                       env.root()) +
                "</td><td>" + env.html(view ? "webTypeView" : "webTypeTable") +
                "</td><td class=\"num\">" + (t.rows >= 0 ? Html::number(t.rows) : Html()) +
                "</td></tr>\n";
    }
    return html + "</tbody></table>\n";
}

// What a table page shows: the view asked for, and the rows it holds or why they could not
// be read.
struct TableContent {
    TableView view;
    TableSchema schema;
    RowSet rows;
    QList<Facet> facets;
    std::optional<DataFailure> failure; // a bad filter or sort column
};

TableContent readTableContent(const PageEnvironment& env, const TableView& view) {
    TableContent content{view, env.database.describeTable(view.read.table), {}, {}, {}};
    try {
        TableRead read = view.read;
        read.labels = true; // shown, never part of the address
        content.rows = env.database.readTable(read);
        content.facets = env.database.facets(read);
    } catch (const DataFailure& failure) {
        content.failure = failure;
    }
    return content;
}

// The view stays usable to correct what the data server refused: a refused filter shows why
// next to it.
Html renderRefusedView(const PageEnvironment& env, const TableContent& content) {
    const TableView& view = content.view;
    const bool ofFilter = content.failure->filterIndex > 0;
    return (ofFilter ? SearchForm(env, view) : FailureBox(env, *content.failure)) +
           ActiveFilters(env, view, content.schema, content.failure) + "<p>" +
           Anchor(Link(QStringLiteral("table")).with(QStringLiteral("name"), view.read.table),
                  env.label("webResetView"), env.root()) +
           "</p>";
}

Html renderTable(const PageEnvironment& env, const TableContent& content) {
    if (content.failure)
        return renderRefusedView(env, content);
    const TableView& view = content.view;
    const TableSchema& schema = content.schema;
    const RowSet rows = ShownRows(content.rows, view, schema);

    const QStringList key = schema.primaryKey();
    RowSetLayout layout;
    layout.header = [&](const QString& column) { return SortHeading(env, view, column); };
    layout.headerAttributes = [&](const QString& column) { return SortAttribute(view, column); };
    const QString openRow = env.label("webOpenRow"); // looked up once, not for every row
    if (!key.isEmpty())
        layout.lead = [&](const QList<Cell>& row) -> Html {
            QList<QPair<QString, QString>> values;
            for (const QString& k : key) {
                const std::optional<QString> v = valueOf(rows, row, k);
                if (!v)
                    return {};
                values.append({k, *v});
            }
            return Anchor(RowLink(schema.name, values), openRow, env.root());
        };
    layout.numbers = ColumnNumberStyles(schema, rows.columns);
    layout.cellLink = [&](const QString& column, const QList<Cell>& row,
                          const Cell&) -> std::optional<Link> {
        for (const KeyReference& fk : schema.foreignKeys)
            if (fk.columns.size() == 1 && fk.columns.first().first == column)
                if (const auto values = keyValues(rows, row, fk, true))
                    return RowLink(fk.table, *values);
        return std::nullopt;
    };

    return SearchForm(env, view) + ActiveFilters(env, view, schema, std::nullopt) +
           FilterForm(env, view, schema) + FacetLists(env, view, content.facets) +
           "<div class=\"tabletools\">" + PageSizeForm(env, view) +
           ColumnPicker(env, view, schema) + "</div>" +
           ExportLinks(env.labels, view.link(QStringLiteral("export"), false), env.root()) +
           TablePrintLink(env, view) + TablePrintNote(env, view) +
           RowSetTable(env.labels, rows, env.root(), layout) + TablePager(env, view, rows);
}

// One row of a table and its key references.
struct RowContent {
    QString table;
    TableSchema schema;
    RowSet rows; // the row, the first
};

// "table (a → b, c → d)": a key reference as a link's text.
QString describe(const KeyReference& ref, bool outgoing) {
    QStringList pairs;
    for (const auto& [from, to] : ref.columns)
        pairs.append(outgoing ? from + QStringLiteral(" \u2192 ") + to : from);
    return ref.table + QStringLiteral(" (") + pairs.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// A reference as a link's text, with the label of the row it refers to when it has one.
QString referenceText(const PageEnvironment& env, const RowSet& rows, const QList<Cell>& row,
                      const KeyReference& fk) {
    const qsizetype at = fk.columns.size() == 1 ? rows.column(fk.columns.first().first) : -1;
    if (at < 0 || !row[at].label)
        return describe(fk, true);
    return env.label("webReferenceLabelled",
                     common::Value::Array{describe(fk, true), *row[at].label});
}

Html linkList(const PageEnvironment& env, const char* headingLabel, const Html& items) {
    if (items.isEmpty())
        return {};
    return "<h2>" + env.html(headingLabel) + "</h2><ul>" + items + "</ul>\n";
}

// Edit and Delete for a user who may change the table's rows, and the note of a save.
Html rowActions(const PageEnvironment& env, const RowContent& content, const QList<Cell>& row) {
    Html html;
    if (env.field(QStringLiteral("note")) == QLatin1String("saved"))
        html += "<p class=\"success\" role=\"status\">" + env.html("webRowSaved") + "</p>\n";
    const QStringList key = content.schema.primaryKey();
    if (key.isEmpty() || !MayEditRows(env, content.table))
        return html;
    QList<QPair<QString, QString>> values;
    for (const QString& k : key)
        if (const std::optional<QString> v = valueOf(content.rows, row, k))
            values.append({k, *v});
    const Link edit = RowLink(content.table, values, QStringLiteral("edit"));
    const Link erase = RowLink(content.table, values, QStringLiteral("delete"));
    return html + "<p class=\"actions\">" + Anchor(edit, env.label("webRowEdit"), env.root()) +
           " " + Anchor(erase, env.label("webRowDelete"), env.root()) + "</p>\n";
}

Html renderRow(const PageEnvironment& env, const RowContent& content) {
    const RowSet& rows = content.rows;
    const TableSchema& schema = content.schema;
    const QList<Cell>& row = rows.rows.first();
    const QList<std::optional<NumberStyle>> numbers = ColumnNumberStyles(schema, rows.columns);
    const QLocale locale = NumberLocale(env.labels);
    Html html("<table class=\"record\"><tbody>\n");
    for (qsizetype i = 0; i < rows.columns.size(); ++i) {
        QString type;
        for (const ColumnInfo& c : schema.columns)
            if (c.name == rows.columns[i])
                type = c.type;
        const NumberStyle style = numbers[i].value_or(NumberStyle{});
        html += "<tr><th>" + Html::text(rows.columns[i]) + "</th><td>" +
                KeyWithLabel(env.labels, row[i], style, locale) + "</td><td class=\"type\">" +
                Html::text(type) + "</td></tr>\n";
    }
    html += "</tbody></table>\n";

    Html refs;
    for (const KeyReference& fk : schema.foreignKeys)
        if (const auto values = keyValues(rows, row, fk, true))
            refs +=
                "<li>" +
                Anchor(RowLink(fk.table, *values), referenceText(env, rows, row, fk), env.root()) +
                "</li>";
    html += linkList(env, "webReferences", refs);

    Html back;
    for (const KeyReference& ref : schema.referencedBy) {
        const auto values = keyValues(rows, row, ref, false);
        if (!values)
            continue;
        TableView referring;
        referring.read.table = ref.table;
        for (const auto& [column, value] : *values)
            referring.read.filters.append({column, QStringLiteral("eq"), value});
        back += "<li>" +
                Anchor(referring.link(QStringLiteral("table")), describe(ref, false), env.root()) +
                "</li>";
    }
    html += linkList(env, "webReferencedBy", back);
    return rowActions(env, content, row) + html + "<p>" +
           Anchor(Link(QStringLiteral("table")).with(QStringLiteral("name"), content.table),
                  env.label("webBackToTable", content.table), env.root()) +
           "</p>\n";
}

} // namespace

QString RowKeyField(const QString& column) {
    return KEY_PREFIX + column;
}

QList<QPair<QString, QString>> RowKeyOfRequest(const PageEnvironment& env) {
    QList<QPair<QString, QString>> key;
    for (const QString& name : env.context.fieldNames())
        if (name.startsWith(KEY_PREFIX) && name.size() > KEY_PREFIX.size())
            key.append({name.mid(KEY_PREFIX.size()), env.field(name)});
    return key;
}

Link RowLink(const QString& table, const QList<QPair<QString, QString>>& key, const QString& page) {
    Link link(page);
    link.with(QStringLiteral("table"), table);
    for (const auto& [column, value] : key)
        link.keep(RowKeyField(column), value);
    return link;
}

Response TablesPage(const PageEnvironment& env) {
    QList<TableInfo> tables = env.database.listTables();
    tables.removeIf([&env](const TableInfo& t) { return !env.mayUse(ObjectKind::Table, t.name); });
    return env.page(env.label("webTablesTitle"), renderTables(env, tables),
                    QStringLiteral("tables"));
}

Response TablePage(const PageEnvironment& env) {
    const TableView view = TableView::fromRequest(env.context);
    if (view.read.table.isEmpty())
        return NotFoundPage(env);
    const TableContent content = readTableContent(env, view);
    Html above;
    if (env.field(QStringLiteral("note")) == QLatin1String("deleted"))
        above += "<p class=\"success\" role=\"status\">" + env.html("webRowDeleted") + "</p>\n";
    if (!content.schema.isView() && !content.schema.primaryKey().isEmpty() &&
        MayEditRows(env, view.read.table))
        above += "<p class=\"actions\">" +
                 Anchor(Link(QStringLiteral("new")).with(QStringLiteral("table"), view.read.table),
                        env.label("webRowNew"), env.root()) +
                 "</p>\n";
    return env.page(view.read.table, above + renderTable(env, content), QStringLiteral("tables"));
}

Response RowPage(const PageEnvironment& env) {
    RowContent content;
    content.table = env.field(QStringLiteral("table"));
    TableRead read;
    read.table = content.table;
    read.limit = 1;
    for (const auto& [column, value] : RowKeyOfRequest(env))
        read.filters.append({column, QStringLiteral("eq"), value});
    if (content.table.isEmpty() || read.filters.isEmpty())
        return NotFoundPage(env);
    content.schema = env.database.describeTable(content.table);
    if (content.schema.isView())
        return NotFoundPage(env, env.label("webViewHasNoRows", content.table));
    read.labels = true;
    content.rows = env.database.readTable(read);
    if (content.rows.rows.isEmpty())
        return NotFoundPage(env, env.label("webRowMissing", content.table));
    return env.page(env.label("webRowTitle", content.table), renderRow(env, content),
                    QStringLiteral("tables"));
}

} // namespace webapp
