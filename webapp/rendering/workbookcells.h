#pragma once

#include <QString>
#include <variant>

// How an export's values become a workbook's cells: a column's kind from its declared type, and
// each value as the cell it is, falling back to text whenever it is not exactly that. Pure
// functions, for any thread.

namespace webapp {

enum class CellKind {
    Unknown,  // no declared type (a query's result): numbers and ISO dates as what they are
    Text,     // always text
    Number,   // numbers as numbers
    Date,     // YYYY-MM-DD as a date
    DateTime, // YYYY-MM-DD HH:MM[:SS[.fff]] as a date with its time
    Boolean,  // true/false, t/f, 1/0 as a boolean
};

// The kind of a column declared with type ("INTEGER", "timestamp", "" when not told).
CellKind CellKindOfType(const QString& type);

struct CellDate {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0;
    bool hasTime = false;
};
// A cell's value: a number, a date, a boolean, or text (std::monostate is left to NULL).
using CellValue = std::variant<QString, double, CellDate, bool>;

// What text in a column of kind is written as. A number that a double cannot hold exactly (a
// whole number past 2^53, more than 15 significant digits), a date outside the years a
// spreadsheet counts (1900 to 9999) or with a time zone, anything that does not read as its
// kind, stays text, so that nothing is changed on the way.
CellValue CellValueOf(CellKind kind, const QString& text);

// The most characters a cell's text holds.
inline constexpr int MAX_CELL_TEXT = 32767;

// A cell's text as the file carries it: the characters XML cannot hold and that the writer
// leaves alone (NUL, CR, U+FFFE, U+FFFF) and a text that reads as such an escape ("_x0041_")
// escaped as _xHHHH_, so that a reader gets back what was stored. Cut at MAX_CELL_TEXT
// characters (code points) of what is written; cut tells whether it was.
QByteArray CellText(const QString& text, bool* cut = nullptr);

} // namespace webapp
