#pragma once

#include "webapp/data/remotedatabase.h"

#include <QLocale>
#include <QString>

#include <optional>

namespace webapp {

class Labels;

// How the values of one column are shown: numbers right-aligned and, unless they are
// identifiers (keys), in the language's notation with the declared number of decimals.
struct NumberStyle {
    bool numeric = false;
    int scale = -1;          // decimals to show; -1 shows those the value has
    bool identifier = false; // a key: aligned as a number, its digits shown as stored
};

// The style of a declared column type (INTEGER, REAL, NUMERIC(10,2), DECIMAL(8,2), BIGINT,
// DOUBLE PRECISION...); nullopt when the type says nothing (empty, as a view's expressions).
std::optional<NumberStyle> NumberStyleOfType(const QString& declaredType);

// The style of a column whose type is unknown: numeric when every value that is not NULL
// is a number, and there is at least one.
NumberStyle NumberStyleOfValues(const RowSet& rows, qsizetype column);

// The styles of a table's columns as read (by name, in the order of columns), from their
// declared types; key columns (primary or foreign) are identifiers. nullopt for a column
// whose type says nothing.
QList<std::optional<NumberStyle>> ColumnNumberStyles(const TableSchema& schema,
                                                     const QStringList& columns);

// Whether text is a number as a database writes it: [-+]digits[.digits][e[-+]digits].
bool IsNumberText(const QString& text);

// raw in the locale's notation: its decimal separator, grouping and minus sign, with
// scale decimals when scale >= 0 (rounded half away from zero, or padded with zeros). Exact
// for any length of digits; text that is not a number comes back as it is.
QString FormatNumber(const QString& raw, const QLocale& locale, int scale = -1);

// The locale of the page's language ("de" writes 1.234,50).
QLocale NumberLocale(const Labels& labels);

} // namespace webapp
