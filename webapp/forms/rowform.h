#pragma once

#include "webapp/data/remotedatabase.h"
#include "webapp/forms/formdefinition.h"

#include <QList>
#include <QString>

namespace webapp {

// The input a column of a table gets in the form that edits its rows.
enum class RowInput {
    Text,      // <input type="text">, maxlength from the declared length
    Multiline, // <textarea>: text without a declared length
    Number,    // <input type="number">, step 1 for whole numbers, else from the scale or any
    Date,      // <input type="date">
    DateTime,  // <input type="datetime-local">
    Checkbox,  // a PostgreSQL boolean
    Choice,    // <select> of the rows a foreign key may point at
    Shown,     // a BLOB: shown, never edited
    Key        // the key of the row edited: shown, never changed (the rows that point at it
               // would be cut loose); a new key is a new row
};

// One column of the form, with the rules its values are checked by (those of a declarative
// form's field: required, type, length, choice).
struct RowFormField {
    QString column;
    RowInput input = RowInput::Text;
    QString step;      // Number: "1", "0.01", "any"
    FormField check;   // name is the column
    bool key = false;  // part of the primary key
    QString reference; // Choice: the table the column's key points at
    QString referenceColumn;
};

// The fields of a form for table's rows, in the table's order. inserting leaves out what the
// database fills itself (INTEGER PRIMARY KEY, serial, identity), editing keeps the key as it is
// (RowInput::Key); a column NOT NULL without a default is required.
QList<RowFormField> RowFormFields(const TableSchema& table, bool inserting);

// Whether the form sends a value of field that may change the row: not a Shown or a Key.
bool IsEditable(const RowFormField& field);

// The input a declared type gets (blob and bytea are Shown); step for a number input.
RowInput InputOfType(const QString& type, QString* step = nullptr);

// The value a datetime-local input shows for a stored date and time ("2024-05-01 12:00:00"),
// and the stored spelling of what it sends back.
QString DateTimeInputValue(const QString& stored);
QString DateTimeStoredValue(const QString& input);

} // namespace webapp
