#include "webapp/rendering/rowsettable.h"

namespace webapp {

Html CellHtml(const Labels& labels, const Cell& cell, const NumberStyle& style,
              const QLocale& locale) {
    if (cell.isNull)
        return "<span class=\"null\">" + labels.html(QStringLiteral("webNull")) + "</span>";
    if (cell.isBlob)
        return "<span class=\"blob\">" +
               labels.html(QStringLiteral("webBinary"), QString::number(cell.blobBytes)) +
               "</span>";
    if (style.numeric && !style.identifier)
        return Html::text(FormatNumber(cell.text, locale, style.scale));
    return Html::text(cell.text);
}

Html KeyWithLabel(const Labels& labels, const Cell& cell, const NumberStyle& style,
                  const QLocale& locale) {
    if (!cell.label || cell.isNull)
        return CellHtml(labels, cell, style, locale);
    return labels.html(QStringLiteral("webKeyWithLabel"),
                       common::Value::Array{*cell.label, cell.text});
}

Html LinkedCell(const Link& link, const QString& root, const Cell& cell, const Html& value) {
    // A label stands for the key, which stays at hand as the link's title.
    if (cell.label)
        return "<a href=\"" + link.href(root) + "\" title=\"" + value + "\">" +
               Html::text(*cell.label) + "</a>";
    return "<a href=\"" + link.href(root) + "\">" + value + "</a>";
}

namespace {

QList<NumberStyle> numberStyles(const RowSet& rows, const RowSetLayout& layout) {
    QList<NumberStyle> styles;
    for (qsizetype i = 0; i < rows.columns.size(); ++i) {
        const bool declared = i < layout.numbers.size() && layout.numbers[i];
        styles.append(declared ? *layout.numbers[i] : NumberStyleOfValues(rows, i));
    }
    return styles;
}

Markup numClass(const NumberStyle& style) {
    return style.numeric ? Markup(" class=\"num\"") : Markup("");
}

} // namespace

Html RowSetTable(const Labels& labels, const RowSet& rows, const QString& root,
                 const RowSetLayout& layout) {
    const QList<NumberStyle> styles = numberStyles(rows, layout);
    const QLocale locale = NumberLocale(labels);
    QList<Html> columnLabels; // each cell's data-label: the column as a phone's card names it
    Html html("<div class=\"scroll\"><table class=\"data\">\n<thead><tr>");
    if (layout.lead)
        html += "<th></th>";
    for (qsizetype i = 0; i < rows.columns.size(); ++i) {
        const QString& column = rows.columns[i];
        columnLabels.append(" data-label=\"" + Html::text(column) + "\"");
        html += "<th scope=\"col\"" + Html(numClass(styles[i])) +
                (layout.headerAttributes ? layout.headerAttributes(column) : Html()) + ">" +
                (layout.header ? layout.header(column) : Html::text(column)) + "</th>";
    }
    html += "</tr></thead>\n<tbody>\n";
    for (const QList<Cell>& row : rows.rows) {
        html += "<tr>";
        if (layout.lead)
            html += "<td class=\"lead\">" + layout.lead(row) + "</td>";
        for (qsizetype i = 0; i < row.size() && i < styles.size(); ++i) {
            Html cell = CellHtml(labels, row[i], styles[i], locale);
            if (layout.cellLink)
                if (const std::optional<Link> link = layout.cellLink(rows.columns[i], row, row[i]))
                    cell = LinkedCell(*link, root, row[i], cell);
            // A label is text, whatever its key was.
            const Markup numeric = row[i].label ? Markup("") : numClass(styles[i]);
            html += "<td" + Html(numeric) + columnLabels[i] + ">" + cell + "</td>";
        }
        html += "</tr>\n";
    }
    if (rows.rows.isEmpty())
        html += "<tr><td class=\"empty\" colspan=\"" +
                Html::number(rows.columns.size() + (layout.lead ? 1 : 0)) + "\">" +
                labels.html(QStringLiteral("webNoRows")) + "</td></tr>\n";
    return html + "</tbody></table></div>\n";
}

Html Pager(const Labels& labels, const RowSet& rows, int pageSize, const QString& root,
           const std::function<Link(qint64 offset)>& at, const Html& note) {
    Html html("<nav class=\"pager\" aria-label=\"");
    html += labels.html(QStringLiteral("webPagerLabel")) + "\">";
    if (rows.offset > 0)
        html += Anchor(at(0), labels.text(QStringLiteral("webFirst")), root) + " " +
                Anchor(at(std::max<qint64>(rows.offset - pageSize, 0)),
                       labels.text(QStringLiteral("webPrevious")), root) +
                " ";
    const qint64 first = rows.rows.isEmpty() ? rows.offset : rows.offset + 1;
    const qint64 last = rows.offset + rows.rows.size();
    html +=
        "<span>" +
        (rows.total >= 0
             ? labels.html(QStringLiteral("webRowsOfTotal"),
                           common::Value::Array{QString::number(first), QString::number(last),
                                                QString::number(rows.total)})
             : labels.html(QStringLiteral("webRowsRange"),
                           common::Value::Array{QString::number(first), QString::number(last)})) +
        "</span>";
    if (rows.more)
        html += " " + Anchor(at(last), labels.text(QStringLiteral("webNext")), root);
    if (rows.more && rows.total > 0)
        html += " " + Anchor(at((rows.total - 1) / pageSize * pageSize),
                             labels.text(QStringLiteral("webLast")), root);
    if (!note.isEmpty())
        html += " <span class=\"hint\">" + note + "</span>";
    return html + "</nav>\n";
}

Html ExportLinks(const Labels& labels, const Link& exportLink, const QString& root) {
    Html html = "<p class=\"exports\">" + labels.html(QStringLiteral("webExport"));
    const auto link = [&](const char* format, const QString& text) {
        html += " " +
                Anchor(Link(exportLink).with(QStringLiteral("format"), QString::fromLatin1(format)),
                       text, root);
    };
    for (const char* format : {"csv", "json"})
        link(format, QString::fromLatin1(format).toUpper());
    link("xlsx", labels.text(QStringLiteral("webExportXlsx")));
    return html + "</p>\n";
}

} // namespace webapp
