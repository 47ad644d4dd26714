#pragma once

#include "webapp/data/remotedatabase.h"

#include <QByteArray>

namespace webapp {

// One CSV field (RFC 4180): quoted when it holds a comma, a double quote, CR or LF, with
// double quotes doubled. A text starting with "=", "+", "-", "@", tab or CR would be taken
// for a formula by a spreadsheet: it gets a leading apostrophe, unless it is a plain number
// (so "-5" stays a number).
QString CsvField(const QString& text);

// One line of fields, ended by CRLF.
QByteArray CsvLine(const QStringList& fields);

// One line per row; NULL is an empty field, binary data its base64 text.
QByteArray CsvRows(const QList<QList<Cell>>& rows);

} // namespace webapp
