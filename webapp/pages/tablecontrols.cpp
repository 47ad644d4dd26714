#include "webapp/pages/tablecontrols.h"
#include "webapp/rendering/rowsettable.h"

#include "webapp/forms/formhtml.h"

namespace webapp {

namespace {

const int PAGE_SIZES[] = {10, 25, 50, 100};

Html option(const QString& value, const QString& text, bool selected) {
    return "<option value=\"" + Html::text(value) + "\"" +
           (selected ? Markup(" selected") : Markup("")) + ">" + Html::text(text) + "</option>";
}

// A GET form on the table page that keeps the view's fields but those named in except (and the
// offset: a changed view starts at its first row).
Html formKeeping(const PageEnvironment& env, const TableView& view, const QStringList& except) {
    TableView kept = view;
    kept.read.offset = 0;
    Html html = FormStart(env.root(), "get", "control") +
                HiddenInput(QStringLiteral("page"), QStringLiteral("table"));
    const Link link = kept.link(QStringLiteral("table"));
    for (const auto& [name, value] : link.fields())
        if (name != QLatin1String("page") && !except.contains(name))
            html += HiddenInput(name, value);
    return html;
}

bool isDateColumn(const TableSchema& schema, const QString& column) {
    for (const ColumnInfo& c : schema.columns)
        if (c.name == column)
            return c.type.contains(QLatin1String("date"), Qt::CaseInsensitive) ||
                   c.type.contains(QLatin1String("timestamp"), Qt::CaseInsensitive);
    return false;
}

Html labelled(const QString& id, const Html& label, const Html& control) {
    return "<label for=\"" + Html::text(id) + "\">" + label + "</label> " + control;
}

// Column, comparison and value of filter n (from 1), with ids under prefix.
Html filterFields(const PageEnvironment& env, const TableSchema& schema, const QString& prefix,
                  int n, const Filter& f, const QString& error) {
    const QString number = QString::number(n);
    Html columns;
    for (const ColumnInfo& c : schema.columns)
        columns += option(c.name, c.name, c.name == f.column);
    Html ops;
    for (const QString& op : FilterOperators())
        ops += option(op, OperatorLabel(env, op), op == f.op);
    const QString valueId = prefix + QStringLiteral("-val");
    // Without JavaScript the form cannot follow the column chosen: a date input only where the
    // column is known to hold dates and the value fits one.
    const bool date = isDateColumn(schema, f.column) &&
                      (f.value.isEmpty() || (f.value.size() == 10 && f.value[4] == u'-'));
    Html value = "<input type=\"" + Html(date ? Markup("date") : Markup("text")) + "\" id=\"" +
                 Html::text(valueId) + "\" name=\"val" + Html::text(number) + "\" value=\"" +
                 Html::text(f.value) + "\"";
    if (!error.isEmpty())
        value += " aria-invalid=\"true\" aria-describedby=\"" + Html::text(prefix) + "-error\"";
    value += ">";
    Html html = labelled(prefix + QStringLiteral("-col"), env.html("webFilterColumnLabel"),
                         "<select id=\"" + Html::text(prefix) + "-col\" name=\"col" +
                             Html::text(number) + "\">" + columns + "</select>") +
                " " +
                labelled(prefix + QStringLiteral("-op"), env.html("webFilterOperator"),
                         "<select id=\"" + Html::text(prefix) + "-op\" name=\"op" +
                             Html::text(number) + "\">" + ops + "</select>") +
                " " + labelled(valueId, env.html("webFilterValue"), value);
    if (!error.isEmpty())
        html += " <span class=\"message\" id=\"" + Html::text(prefix) + "-error\">" +
                Html::text(error) + "</span>";
    return html;
}

} // namespace

Html SearchForm(const PageEnvironment& env, const TableView& view) {
    return formKeeping(env, view, {QStringLiteral("q")}) +
           labelled(QStringLiteral("table-search"), env.html("webSearchLabel"),
                    "<input type=\"search\" id=\"table-search\" name=\"q\" value=\"" +
                        Html::text(view.read.search) + "\">") +
           " <button type=\"submit\">" + env.html("webSearchSubmit") + "</button></form>\n";
}

Html FacetLists(const PageEnvironment& env, const TableView& view, const QList<Facet>& facets) {
    if (facets.isEmpty())
        return {};
    Html html = "<section class=\"facets\"><h2>" + env.html("webFacets") + "</h2>\n";
    for (const Facet& facet : facets) {
        html += "<h3>" + Html::text(facet.column) + "</h3><ul>";
        for (const FacetValue& v : facet.values) {
            const QString op = v.isNull ? QStringLiteral("empty") : QStringLiteral("eq");
            // A key is shown as the row pages show it: its label, then the key.
            const QString text =
                v.isNull ? env.label("webNull")
                : v.label.isEmpty()
                    ? v.value
                    : env.label("webKeyWithLabel", common::Value::Array{v.label, v.value});
            const Html count = " <span class=\"count\">(" + Html::number(v.count) + ")</span>";
            qsizetype active = -1;
            for (qsizetype i = 0; i < view.read.filters.size(); ++i) {
                const Filter& f = view.read.filters[i];
                if (f.column == facet.column && f.op == op && (v.isNull || f.value == v.value))
                    active = i;
            }
            TableView changed = view;
            changed.read.offset = 0;
            if (active >= 0) {
                changed.read.filters.removeAt(active);
                html += "<li class=\"active\" aria-current=\"true\"><strong>" + Html::text(text) +
                        "</strong>" + count + " " +
                        Anchor(changed.link(QStringLiteral("table")),
                               env.label("webFacetRemove", text), env.root()) +
                        "</li>";
            } else if (view.read.filters.size() < TableView::MAX_FILTERS) {
                changed.read.filters.append({facet.column, op, v.isNull ? QString() : v.value});
                html += "<li>" + Anchor(changed.link(QStringLiteral("table")), text, env.root()) +
                        count + "</li>";
            } else {
                html += "<li>" + Html::text(text) + count + "</li>";
            }
        }
        html += "</ul>\n";
    }
    return html + "</section>\n";
}

Html ActiveFilters(const PageEnvironment& env, const TableView& view, const TableSchema& schema,
                   const std::optional<DataFailure>& refused) {
    if (view.read.filters.isEmpty())
        return {};
    Html html("<ul class=\"filters\">");
    for (qsizetype i = 0; i < view.read.filters.size(); ++i) {
        const int n = int(i) + 1;
        const QString number = QString::number(n);
        TableView without = view;
        without.read.filters.removeAt(i);
        without.read.offset = 0;
        const QString error = refused && refused->filterIndex == n ? refused->message : QString();
        html += "<li>" +
                formKeeping(env, view,
                            {QStringLiteral("col") + number, QStringLiteral("op") + number,
                             QStringLiteral("val") + number}) +
                filterFields(env, schema, QStringLiteral("filter") + number, n,
                             view.read.filters[i], error) +
                " <button type=\"submit\">" + env.html("webFilterChange") + "</button> " +
                Anchor(without.link(QStringLiteral("table")), env.label("webRemoveFilter"),
                       env.root()) +
                "</form></li>\n";
    }
    return html + "</ul>\n";
}

Html FilterForm(const PageEnvironment& env, const TableView& view, const TableSchema& schema) {
    if (view.read.filters.size() >= TableView::MAX_FILTERS)
        return {};
    const int n = int(view.read.filters.size()) + 1;
    return formKeeping(env, view, {}) + "<fieldset class=\"addfilter\"><legend>" +
           env.html("webAddFilter") + "</legend>" +
           filterFields(env, schema, QStringLiteral("filter-new"), n,
                        {QString(), QStringLiteral("eq"), QString()}, {}) +
           " <span class=\"hint\">" + env.html("webFilterHint") +
           "</span> <button type=\"submit\">" + env.html("webFilterApply") +
           "</button></fieldset></form>\n";
}

Html SortHeading(const PageEnvironment& env, const TableView& view, const QString& column) {
    const QList<SortKey>& keys = view.read.orderBy;
    qsizetype at = -1;
    for (qsizetype i = 0; i < keys.size(); ++i)
        if (keys[i].column == column)
            at = i;
    Html cue;
    if (at < 0)
        cue = " <span class=\"cue\" aria-hidden=\"true\">\u2195</span><span "
              "class=\"visually-hidden\">" +
              env.html("webSortable") + "</span>";
    else
        cue = " <span class=\"cue\" aria-hidden=\"true\">" +
              Html(keys[at].descending ? Markup("\u25BC") : Markup("\u25B2")) +
              "</span><span class=\"visually-hidden\">" +
              env.html(keys[at].descending ? "webSortedDescending" : "webSortedAscending",
                       QString::number(at + 1)) +
              "</span>";
    return "<a href=\"" + view.sortedBy(column).link(QStringLiteral("table")).href(env.root()) +
           "\">" + Html::text(column) + cue + "</a>";
}

Html SortAttribute(const TableView& view, const QString& column) {
    const QList<SortKey>& keys = view.read.orderBy;
    if (keys.isEmpty() || keys.first().column != column)
        return {};
    return Html(keys.first().descending ? Markup(" aria-sort=\"descending\"")
                                        : Markup(" aria-sort=\"ascending\""));
}

Html TablePager(const PageEnvironment& env, const TableView& view, const RowSet& rows) {
    return Pager(
        env.labels, rows, view.read.limit, env.root(),
        [&](qint64 offset) {
            TableView moved = view;
            moved.read.offset = offset;
            return moved.link(QStringLiteral("table"));
        },
        rows.truncated ? env.html("webSearchTruncated") : Html());
}

Html PageSizeForm(const PageEnvironment& env, const TableView& view) {
    Html options;
    for (const int size : PAGE_SIZES)
        options += option(QString::number(size), QString::number(size), size == view.read.limit);
    return formKeeping(env, view, {QStringLiteral("size")}) +
           labelled(QStringLiteral("page-size"), env.html("webPageSize"),
                    "<select id=\"page-size\" name=\"size\">" + options + "</select>") +
           " <button type=\"submit\">" + env.html("webPageSizeApply") + "</button></form>\n";
}

QStringList ShownColumns(const TableView& view, const TableSchema& schema) {
    const QStringList key = schema.primaryKey();
    QStringList shown;
    for (const ColumnInfo& c : schema.columns)
        if (view.columns.isEmpty() || view.columns.contains(c.name) || key.contains(c.name))
            shown.append(c.name);
    return shown;
}

QString OperatorLabel(const PageEnvironment& env, const QString& op) {
    return FilterOperators().contains(op) ? env.labels.text(QStringLiteral("webOp_") + op) : op;
}

RowSet ShownRows(const RowSet& rows, const TableView& view, const TableSchema& schema) {
    const QStringList shown = ShownColumns(view, schema);
    if (shown.size() == rows.columns.size())
        return rows;
    RowSet out = rows;
    out.columns = shown;
    out.rows.clear();
    for (const QList<Cell>& row : rows.rows) {
        QList<Cell> kept;
        for (const QString& c : shown)
            kept.append(row.value(rows.column(c)));
        out.rows.append(kept);
    }
    return out;
}

Html ColumnPicker(const PageEnvironment& env, const TableView& view, const TableSchema& schema) {
    const QStringList shown = ShownColumns(view, schema);
    const QStringList key = schema.primaryKey();
    Html boxes;
    int i = 0;
    for (const ColumnInfo& c : schema.columns) {
        const QString id = QStringLiteral("show-") + QString::number(++i);
        // A key column is always shown (the row's link needs it): checked and not to be unset.
        boxes += "<label for=\"" + Html::text(id) + "\"><input type=\"checkbox\" id=\"" +
                 Html::text(id) + "\" name=\"show." + Html::text(c.name) + "\" value=\"1\"" +
                 (shown.contains(c.name) ? Markup(" checked") : Markup("")) +
                 (key.contains(c.name) ? Markup(" disabled") : Markup("")) + "> " +
                 Html::text(c.name) + "</label> ";
    }
    return "<details class=\"columns\"><summary>" + env.html("webColumns") + "</summary>" +
           formKeeping(env, view, {QStringLiteral("cols")}) +
           HiddenInput(QStringLiteral("pick"), QStringLiteral("1")) + "<fieldset><legend>" +
           env.html("webColumns") + "</legend>" + boxes + "</fieldset><button type=\"submit\">" +
           env.html("webColumnsApply") + "</button></form></details>\n";
}

} // namespace webapp
