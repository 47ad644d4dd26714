#pragma once

#include "webapp/data/auditentry.h"
#include "webapp/data/remotedatabase.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace webapp {

// Values by column; nullopt stands for NULL.
using ColumnValues = QList<QPair<QString, std::optional<QString>>>;

// One row to add, change or delete (the data server's InsertRow, UpdateRow, DeleteRow).
struct RowChange {
    enum class Kind { Insert, Update, Delete };
    Kind kind = Kind::Insert;
    QString table;
    QList<QPair<QString, QString>> key; // every primary key column (not for an insert)
    ColumnValues original;              // what the editor saw (not for an insert)
    ColumnValues values;                // the new values (not for a delete)
    QString requestId;                  // the form's nonce: applied once
    std::optional<AuditEntry> audit;
};

// A key of another table that refers to the row, and how many of its rows do.
struct RowReferrer {
    KeyReference key; // columns: (the other table's column, this table's)
    qint64 count = 0;
};

// How the data server took a change. A change it refused for another reason raises
// DataFailure; no answer raises DataUnavailable.
struct RowChangeOutcome {
    enum class Result { Done, Conflict, RowMissing, Referenced };
    Result result = Result::Done;
    QString message;                                // the data server's, when not done
    WriteResult write;                              // done
    QList<QPair<QString, QString>> key;             // done: the row's key (a new row's included)
    QHash<QString, std::optional<QString>> current; // a conflict: the row as it is now
    QList<RowReferrer> referrers;                   // referenced
};

RowChangeOutcome ChangeRow(const RemoteDatabase& database, const RowChange& change);

} // namespace webapp
