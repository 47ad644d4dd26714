#include "webapp/rendering/workbook.h"

#include "common/error.h"
#include "components/replyparts.h"
#include "webapp/rendering/labels.h"

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <xlsxwriter.h>

namespace webapp {

namespace {

// Room for the header's filter button.
constexpr double FILTER_BUTTON = 2;
constexpr double ABOUT_LABEL_WIDTH = 30;
constexpr double ABOUT_VALUE_WIDTH = 80;
constexpr qsizetype DATE_WIDTH = 10;
constexpr qsizetype DATE_TIME_WIDTH = 19;

void check(lxw_error error) {
    if (error != LXW_NO_ERROR)
        throw common::Error(common::ERR_PROGRAM,
                            QStringLiteral("Cannot write the workbook of an export: ") +
                                QString::fromUtf8(lxw_strerror(error)),
                            QStringLiteral("Export"));
}

// A sheet's name as a workbook allows it: none of []:*?/\ and at most 31 characters.
QByteArray sheetName(const QString& wanted, const char* fallback) {
    static const QRegularExpression NOT_ALLOWED(QStringLiteral("[\\[\\]:*?/\\\\]"));
    QString name = QString(wanted).remove(NOT_ALLOWED).trimmed().left(LXW_SHEETNAME_MAX);
    return name.isEmpty() ? QByteArray(fallback) : name.toUtf8();
}

lxw_format* numberFormat(lxw_workbook* workbook, const char* format) {
    lxw_format* f = workbook_add_format(workbook);
    format_set_num_format(f, format);
    return f;
}

lxw_datetime dateTimeOf(const CellDate& d) {
    return {d.year, d.month, d.day, d.hour, d.minute, d.second};
}

} // namespace

WorkbookExport::WorkbookExport(const QString& folder, const Labels& labels, WorkbookAbout about)
    : m_file(folder), m_labels(labels), m_about(std::move(about)) {
    lxw_workbook* book = m_file.workbook();
    const QByteArray rowsName = sheetName(labels.text(QStringLiteral("webXlsxRowsSheet")), "Rows");
    QByteArray aboutName = sheetName(labels.text(QStringLiteral("webXlsxAboutSheet")), "About");
    if (aboutName.toLower() == rowsName.toLower())
        aboutName = "About";
    m_rows = workbook_add_worksheet(book, rowsName.constData());
    m_aboutSheet = workbook_add_worksheet(book, aboutName.constData());
    if (!m_rows || !m_aboutSheet)
        check(LXW_ERROR_SHEETNAME_ALREADY_USED);
    m_bold = workbook_add_format(book);
    format_set_bold(m_bold);
    m_date = numberFormat(book, "yyyy-mm-dd");
    m_dateTime = numberFormat(book, "yyyy-mm-dd hh:mm:ss");
}

void WorkbookExport::add(const RowSet& part) {
    if (!m_columns)
        start(part.columns);
    for (const QList<Cell>& row : part.rows) {
        ++m_row;
        for (qsizetype c = 0; c < row.size() && c < m_kinds.size(); ++c)
            writeCell(int(c), row[c]);
    }
    m_truncated = part.more;
}

void WorkbookExport::start(const QStringList& columns) {
    m_columns = columns;
    for (qsizetype c = 0; c < columns.size(); ++c) {
        m_kinds.append(CellKindOfType(m_about.types.value(columns[c])));
        m_widths.append(0);
        writeText(m_rows, 0, int(c), columns[c], m_bold);
        widen(int(c), columns[c].size() + qsizetype(FILTER_BUTTON));
    }
}

void WorkbookExport::writeCell(int column, const Cell& cell) {
    // NULL stays an empty cell.
    if (cell.isNull)
        return;
    const CellValue value =
        cell.isBlob ? CellValue(cell.text) : CellValueOf(m_kinds[column], cell.text);
    if (const double* number = std::get_if<double>(&value)) {
        check(worksheet_write_number(m_rows, m_row, lxw_col_t(column), *number, nullptr));
        widen(column, cell.text.size()); // as stored: what a reader shows is no wider
    } else if (const CellDate* date = std::get_if<CellDate>(&value)) {
        lxw_datetime when = dateTimeOf(*date);
        check(worksheet_write_datetime(m_rows, m_row, lxw_col_t(column), &when,
                                       date->hasTime ? m_dateTime : m_date));
        widen(column, date->hasTime ? DATE_TIME_WIDTH : DATE_WIDTH);
    } else if (const bool* flag = std::get_if<bool>(&value)) {
        check(worksheet_write_boolean(m_rows, m_row, lxw_col_t(column), *flag, nullptr));
        widen(column, 5);
    } else {
        writeText(m_rows, m_row, column, std::get<QString>(value));
    }
}

void WorkbookExport::writeText(lxw_worksheet* sheet, int row, int column, const QString& text,
                               lxw_format* format) {
    bool cut = false;
    const QByteArray utf8 = CellText(text, &cut);
    // Written as a string whatever it starts with: "=1+2" stays the text "=1+2".
    check(
        worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(column), utf8.constData(), format));
    m_cutTexts += cut ? 1 : 0;
    if (sheet == m_rows)
        widen(column, std::min<qsizetype>(text.size(), qsizetype(MAX_WIDTH)));
}

void WorkbookExport::widen(int column, qsizetype characters) {
    m_widths[column] = std::max(m_widths[column], double(characters));
}

void WorkbookExport::fitWidths() {
    for (qsizetype c = 0; c < m_widths.size(); ++c)
        check(worksheet_set_column(m_rows, lxw_col_t(c), lxw_col_t(c),
                                   std::min(m_widths[c] + 1, MAX_WIDTH), nullptr));
    if (m_widths.isEmpty())
        return;
    worksheet_freeze_panes(m_rows, 1, 0);
    check(worksheet_autofilter(m_rows, 0, 0, lxw_row_t(m_row), lxw_col_t(m_widths.size() - 1)));
}

void WorkbookExport::writeAbout() {
    lxw_worksheet* sheet = m_aboutSheet;
    int row = 0;
    const auto line = [&](const char* label, const QString& value) {
        if (label)
            writeText(sheet, row, 0, m_labels.text(QString::fromLatin1(label)), m_bold);
        writeText(sheet, row++, 1, value);
    };
    line("webXlsxName", m_about.name);
    for (qsizetype i = 0; i < m_about.words.size(); ++i)
        line(i == 0 ? "webXlsxSelection" : nullptr, m_about.words[i]);

    writeText(sheet, row, 0, m_labels.text(QStringLiteral("webXlsxExportedAt")), m_bold);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    lxw_datetime when{now.date().year(), now.date().month(),  now.date().day(),
                      now.time().hour(), now.time().minute(), double(now.time().second())};
    check(worksheet_write_datetime(sheet, lxw_row_t(row++), 1, &when, m_dateTime));

    writeText(sheet, row, 0, m_labels.text(QStringLiteral("webXlsxRowCount")), m_bold);
    check(worksheet_write_number(sheet, lxw_row_t(row++), 1, m_row, nullptr));
    line("webXlsxTruncated", m_truncated ? m_labels.text(QStringLiteral("webXlsxTruncatedYes"),
                                                         components::MAX_EXPORT_ROWS)
                                         : m_labels.text(QStringLiteral("webXlsxTruncatedNo")));
    if (m_cutTexts > 0) {
        writeText(sheet, row, 0, m_labels.text(QStringLiteral("webXlsxTextsCut"), MAX_CELL_TEXT),
                  m_bold);
        check(worksheet_write_number(sheet, lxw_row_t(row++), 1, double(m_cutTexts), nullptr));
    }
    check(worksheet_set_column(sheet, 0, 0, ABOUT_LABEL_WIDTH, nullptr));
    check(worksheet_set_column(sheet, 1, 1, ABOUT_VALUE_WIDTH, nullptr));
}

common::Response::File WorkbookExport::finish() {
    if (!m_columns)
        start({});
    fitWidths();
    writeAbout();
    return m_file.finish();
}

} // namespace webapp
