#include "webapp/rowsettable.h"

namespace webapp {

QString CellHtml(const Labels& labels, const Cell& cell) {
    if (cell.isNull)
        return QStringLiteral("<span class=\"null\">") + labels.html(QStringLiteral("webNull")) +
               QStringLiteral("</span>");
    if (cell.isBlob)
        return QStringLiteral("<span class=\"blob\">") +
               labels.html(QStringLiteral("webBinary"), QString::number(cell.blobBytes)) +
               QStringLiteral("</span>");
    return HtmlEscape(cell.text);
}

QString RowSetTable(const Labels& labels, const RowSet& rows, const QString& root,
                    const RowSetLayout& layout) {
    QString html = QStringLiteral("<div class=\"scroll\"><table class=\"data\">\n<thead><tr>");
    if (layout.lead)
        html += QStringLiteral("<th></th>");
    for (const QString& column : rows.columns)
        html += QStringLiteral("<th>") +
                (layout.header ? layout.header(column) : HtmlEscape(column)) +
                QStringLiteral("</th>");
    html += QStringLiteral("</tr></thead>\n<tbody>\n");
    for (const QList<Cell>& row : rows.rows) {
        html += QStringLiteral("<tr>");
        if (layout.lead)
            html +=
                QStringLiteral("<td class=\"lead\">") + layout.lead(row) + QStringLiteral("</td>");
        for (qsizetype i = 0; i < row.size(); ++i) {
            QString cell = CellHtml(labels, row[i]);
            if (layout.cellLink)
                if (const std::optional<Link> link = layout.cellLink(rows.columns[i], row, row[i]))
                    cell = QStringLiteral("<a href=\"") + link->href(root) + QStringLiteral("\">") +
                           cell + QStringLiteral("</a>");
            html += QStringLiteral("<td>") + cell + QStringLiteral("</td>");
        }
        html += QStringLiteral("</tr>\n");
    }
    if (rows.rows.isEmpty())
        html += QStringLiteral("<tr><td class=\"empty\" colspan=\"") +
                QString::number(rows.columns.size() + (layout.lead ? 1 : 0)) +
                QStringLiteral("\">") + labels.html(QStringLiteral("webNoRows")) +
                QStringLiteral("</td></tr>\n");
    return html + QStringLiteral("</tbody></table></div>\n");
}

QString Pager(const Labels& labels, const RowSet& rows, int pageSize, const QString& root,
              const std::function<Link(qint64 offset)>& at) {
    QString html = QStringLiteral("<nav class=\"pager\">");
    if (rows.offset > 0)
        html += Anchor(at(std::max<qint64>(rows.offset - pageSize, 0)),
                       labels.text(QStringLiteral("webPrevious")), root) +
                QLatin1Char(' ');
    const qint64 first = rows.rows.isEmpty() ? rows.offset : rows.offset + 1;
    const qint64 last = rows.offset + rows.rows.size();
    html +=
        QStringLiteral("<span>") +
        (rows.total >= 0
             ? labels.html(QStringLiteral("webRowsOfTotal"),
                           common::Value::Array{QString::number(first), QString::number(last),
                                                QString::number(rows.total)})
             : labels.html(QStringLiteral("webRowsRange"),
                           common::Value::Array{QString::number(first), QString::number(last)})) +
        QStringLiteral("</span>");
    if (rows.more)
        html += QLatin1Char(' ') + Anchor(at(last), labels.text(QStringLiteral("webNext")), root);
    return html + QStringLiteral("</nav>\n");
}

QString ExportLinks(const Labels& labels, const Link& exportLink, const QString& root) {
    QString html =
        QStringLiteral("<p class=\"exports\">") + labels.html(QStringLiteral("webExport"));
    for (const char* format : {"csv", "json"})
        html += QLatin1Char(' ') +
                Anchor(Link(exportLink).with(QStringLiteral("format"), QString::fromLatin1(format)),
                       QString::fromLatin1(format).toUpper(), root);
    return html + QStringLiteral("</p>\n");
}

} // namespace webapp
