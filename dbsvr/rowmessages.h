#pragma once

#include <QString>

namespace pugi {
class xml_node;
}

namespace dbsvr {

class Database;

// The messages that change one row of a table, as an editor's form sends them:
//
//   InsertRow  Table, Values/Field[@name] (null="true" for NULL; a column left out takes its
//              default), RequestId, Audit
//   UpdateRow  Table, Key/Field (every primary key column), Original/Field (the values the
//              editor saw), Values/Field (the new ones), RequestId, Audit
//   DeleteRow  Table, Key/Field, Original/Field, RequestId, Audit
//
// Each runs as a named query's write does (one transaction with the ledger and the audit
// entry). An update or delete is written only where the row still holds Original; otherwise
// nothing is written, no ledger entry made, and the error is Conflict with the row as it is now
// (Current/Field), or RowMissing when no row has the key. A delete the database's own rules
// refuse because other rows refer to it is the error Referenced with a
// References/Reference[@table, @count] (and its Maps) per referring key.
bool IsRowMessage(const QString& kind);
// Fills reply (a Rows reply: Table, Changes, LastInsertId, Key/Field of the row, Duplicate)
// or raises RequestError; common::Error for the database's own failures.
void AnswerRowMessage(Database& database, const QString& kind, const pugi::xml_node& request,
                      pugi::xml_node reply);

} // namespace dbsvr
