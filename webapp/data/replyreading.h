#pragma once

#include "webapp/data/remotedatabase.h"

#include <functional>

// What the typed clients of the data server's messages share: reading the parts of a reply,
// its rows, and the requests that ask for rows.

namespace webapp {

// The attribute's text, exactly.
QString AttributeText(const pugi::xml_node& node, const char* name);
// The text of the child element, without blanks at its ends.
QString ChildText(const pugi::xml_node& node, const char* name);
// That text as a number; fallback when it is none.
qint64 ChildNumber(const pugi::xml_node& node, const char* name, qint64 fallback = 0);
// Whether the child element says true.
bool ChildFlag(const pugi::xml_node& node, const char* name);

// The rows of a Rows reply (one part of an export's).
RowSet RowSetOf(const DataReply& reply);
// A request of type for the rows of a table read: its filters and order, and for a ReadTable
// its Table; no paging.
DataMessage TableReadMessage(const char* type, const TableRead& read);
// Adds an OrderBy element for each sort key, in order.
void AddSortKeys(DataMessage& message, const QList<SortKey>& keys);
// Adds Offset and Limit, within what one reply may hold.
void AddPaging(DataMessage& message, qint64 offset, int limit);
// Asks for message as an export, handing part() each part of the reply as it arrives (see
// RemoteDatabase::exportTable).
void ExportRows(const DataClient& client, DataMessage message,
                const std::function<void(const RowSet&)>& part);

} // namespace webapp
