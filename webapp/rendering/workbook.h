#pragma once

#include "webapp/data/workbookfile.h"
#include "webapp/rendering/exportwriter.h"
#include "webapp/rendering/workbookcells.h"

#include <QHash>
#include <QStringList>
#include <optional>

struct lxw_format;
struct lxw_worksheet;

namespace webapp {

class Labels;

// What a workbook says of its rows beside them.
struct WorkbookAbout {
    QString name;                  // the table, query or trail exported
    QStringList words;             // the search, filters, order or parameters, in words
    QHash<QString, QString> types; // a column's declared type by name, where known
};

// An export as a workbook (.xlsx) in folder: the first sheet has the rows under a bold header
// row that stays in view and filters them, each value a cell of its column's kind (see
// CellValueOf), NULL an empty cell, every text as text (never a formula), columns as wide as
// what they hold (up to MAX_WIDTH); the second sheet says what the rows are (WorkbookAbout),
// when they were exported, how many there are and whether they were cut short. Holds one row
// at a time (WorkbookFile). For the thread that serves the request.
class WorkbookExport final : public ExportWriter {
public:
    static constexpr double MAX_WIDTH = 60;

    WorkbookExport(const QString& folder, const Labels& labels, WorkbookAbout about);

    void add(const RowSet& part) override;
    bool truncated() const override { return m_truncated; }
    common::Response::File finish() override;

private:
    void start(const QStringList& columns);
    void writeCell(int column, const Cell& cell);
    void writeText(lxw_worksheet* sheet, int row, int column, const QString& text,
                   lxw_format* format = nullptr);
    void writeAbout();
    void fitWidths();
    void widen(int column, qsizetype characters);

    WorkbookFile m_file;
    const Labels& m_labels;
    WorkbookAbout m_about;
    lxw_worksheet* m_rows = nullptr;
    lxw_worksheet* m_aboutSheet = nullptr;
    lxw_format* m_bold = nullptr;
    lxw_format* m_date = nullptr;
    lxw_format* m_dateTime = nullptr;
    std::optional<QStringList> m_columns;
    QList<CellKind> m_kinds;
    QList<double> m_widths;
    int m_row = 0; // rows written, the header not counted
    qint64 m_cutTexts = 0;
    bool m_truncated = false;
};

} // namespace webapp
