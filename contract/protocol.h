#pragma once

// The messages of the queue protocol between the web application and the data server, for
// both sides to use: a name changed here changes on both at once. Requests and replies are
// UTF-8 XML, <XML><Type>type</Type>...</XML>; every reply holds Type, Error (empty on success)
// and Message; a failure has the Type Error, its code in Error (dbsvr/README.md describes the
// messages). The queue component carries them (components/queue.h), an export's reply in
// parts (components/replyparts.h).

namespace dataserver::protocol {

inline constexpr char ROOT[] = "XML";
inline constexpr char TYPE[] = "Type";
inline constexpr char ERROR[] = "Error"; // the element, and the type of a failure's reply
inline constexpr char MESSAGE[] = "Message";

// The requests, and the types of their replies.
inline constexpr char PING[] = "Ping";
inline constexpr char PONG[] = "Pong";
inline constexpr char LIST_TABLES[] = "ListTables";
inline constexpr char TABLES[] = "Tables";
inline constexpr char LIST_QUERIES[] = "ListQueries";
inline constexpr char QUERIES[] = "Queries";
inline constexpr char DESCRIBE_TABLE[] = "DescribeTable";
inline constexpr char TABLE[] = "Table";
inline constexpr char READ_TABLE[] = "ReadTable";
inline constexpr char QUERY[] = "Query";
inline constexpr char ROWS[] = "Rows";
// Sent when the asker stops waiting for the message whose id it names (<Id>): the data server
// drops that message when it has not begun it and stops its statement when it has. No reply.
inline constexpr char CANCEL[] = "Cancel";
// The web application's users, their sessions and the audit trail, kept by the data server in
// tables of its own in the application's database.
inline constexpr char FIND_USER[] = "FindUser";
inline constexpr char USER[] = "User"; // also the element of a user, and a session's user
inline constexpr char LIST_USERS[] = "ListUsers";
inline constexpr char USERS[] = "Users";
inline constexpr char SAVE_USER[] = "SaveUser";
inline constexpr char USER_SAVED[] = "UserSaved";
inline constexpr char OPEN_SESSION[] = "OpenSession";
inline constexpr char SESSION[] = "Session";
inline constexpr char FIND_SESSION[] = "FindSession";
inline constexpr char TOUCH_SESSION[] = "TouchSession";
inline constexpr char CLOSE_SESSION[] = "CloseSession";
inline constexpr char SESSION_CLOSED[] = "SessionClosed";
inline constexpr char ADD_AUDIT[] = "AddAudit";
inline constexpr char AUDIT_ADDED[] = "AuditAdded";
inline constexpr char READ_AUDIT[] = "ReadAudit"; // answered with Rows, as ReadTable

// The elements of requests and replies.
inline constexpr char NAME[] = "Name";
inline constexpr char ID[] = "Id"; // of a Cancel: the message to cancel
inline constexpr char PARAMETERS[] = "Parameters";
inline constexpr char PARAMETER[] = "Parameter";
inline constexpr char REQUEST_ID[] = "RequestId";
inline constexpr char ORDER_BY[] = "OrderBy";
inline constexpr char DESCENDING[] = "Descending";
inline constexpr char FILTER[] = "Filter";
inline constexpr char OFFSET[] = "Offset";
inline constexpr char LIMIT[] = "Limit";
inline constexpr char EXPORT[] = "Export";
inline constexpr char COLUMNS[] = "Columns";
inline constexpr char COLUMN[] = "Column";
inline constexpr char ROW[] = "Row";
inline constexpr char FIELD[] = "Field";
inline constexpr char COUNT[] = "Count";
inline constexpr char MORE[] = "More";
inline constexpr char TOTAL[] = "Total";
inline constexpr char CHANGES[] = "Changes";
inline constexpr char LAST_INSERT_ID[] = "LastInsertId";
inline constexpr char DUPLICATE[] = "Duplicate";
inline constexpr char VOLATILE[] = "Volatile";   // a result that may change without the data
inline constexpr char CONTINUED[] = "Continued"; // every part of an export but the last
inline constexpr char FOREIGN_KEYS[] = "ForeignKeys";
inline constexpr char FOREIGN_KEY[] = "ForeignKey";
inline constexpr char REFERENCED_BY[] = "ReferencedBy";
inline constexpr char REFERENCE[] = "Reference";
inline constexpr char MAP[] = "Map";
// Of the account messages.
inline constexpr char FOUND[] = "Found";
inline constexpr char HASH[] = "Hash";
inline constexpr char ROLE[] = "Role";
inline constexpr char DISABLED[] = "Disabled";
inline constexpr char HAS_PASSWORD[] = "HasPassword";
inline constexpr char CREATED[] = "Created";
inline constexpr char CHANGED[] = "Changed";
inline constexpr char KEY[] = "Key";
inline constexpr char IDLE_SECONDS[] = "IdleSeconds";
inline constexpr char MAX_SECONDS[] = "MaxSeconds";
inline constexpr char LAST_SEEN[] = "LastSeen";
// An audit entry sent with a change, and its parts (USER is its user).
inline constexpr char AUDIT[] = "Audit";
inline constexpr char ADDRESS[] = "Address";
inline constexpr char ACTION[] = "Action";
inline constexpr char OBJECT[] = "Object";
inline constexpr char DETAIL[] = "Detail";
inline constexpr char RECORD_KEY[] = "RecordKey";
inline constexpr char AT[] = "At"; // of an Audit: when it happened, when not now

// Their attributes.
inline constexpr char ATTRIBUTE_NAME[] = "name";
inline constexpr char ATTRIBUTE_TYPE[] = "type";
inline constexpr char ATTRIBUTE_ROWS[] = "rows";
inline constexpr char ATTRIBUTE_KIND[] = "kind";
inline constexpr char ATTRIBUTE_NOT_NULL[] = "notnull";
inline constexpr char ATTRIBUTE_PK[] = "pk";
inline constexpr char ATTRIBUTE_NULL[] = "null";
inline constexpr char ATTRIBUTE_LENGTH[] = "length";
inline constexpr char ATTRIBUTE_COLUMN[] = "column";
inline constexpr char ATTRIBUTE_OP[] = "op";
inline constexpr char ATTRIBUTE_TABLE[] = "table";
inline constexpr char ATTRIBUTE_FROM[] = "from";
inline constexpr char ATTRIBUTE_TO[] = "to";
// Of a Table: the column that stands for its rows where other rows point at them.
inline constexpr char ATTRIBUTE_LABEL[] = "label";

// Their values.
inline constexpr char TRUE_TEXT[] = "true";
inline constexpr char FALSE_TEXT[] = "false";
inline constexpr char KIND_READ[] = "read";
inline constexpr char KIND_WRITE[] = "write";
inline constexpr char TYPE_BLOB[] = "blob"; // of a Field
inline constexpr char TYPE_VIEW[] = "view"; // of a Table
inline constexpr char OP_EQUAL[] = "eq";
inline constexpr char OP_NOT_EQUAL[] = "ne";
inline constexpr char OP_LESS[] = "lt";
inline constexpr char OP_LESS_OR_EQUAL[] = "le";
inline constexpr char OP_GREATER[] = "gt";
inline constexpr char OP_GREATER_OR_EQUAL[] = "ge";
inline constexpr char OP_CONTAINS[] = "contains";

// Named queries for people: their texts and links in ListQueries, and a Query's order.
inline constexpr char ATTRIBUTE_TITLE[] = "title";
inline constexpr char ATTRIBUTE_DESCRIPTION[] = "description";
// ATTRIBUTE_LABEL (above) names a label id of the language files here.
inline constexpr char ATTRIBUTE_USE[] = "use";
inline constexpr char USE_CHOICES[] = "choices";
inline constexpr char LINK[] = "Link"; // of a Query in ListQueries: column, table
inline constexpr char ATTRIBUTE_DESCENDING[] = "descending"; // of an OrderBy

// The codes of Error; an empty Error means success.
inline constexpr char ERROR_INVALID_REQUEST[] = "InvalidRequest";
inline constexpr char ERROR_UNKNOWN_TABLE[] = "UnknownTable";
inline constexpr char ERROR_UNKNOWN_COLUMN[] = "UnknownColumn";
inline constexpr char ERROR_UNKNOWN_QUERY[] = "UnknownQuery";
inline constexpr char ERROR_UNKNOWN_PARAMETER[] = "UnknownParameter";
inline constexpr char ERROR_MISSING_PARAMETER[] = "MissingParameter";
inline constexpr char ERROR_INVALID_ARGUMENT[] = "InvalidArgument";
inline constexpr char ERROR_NOT_CONNECTED[] = "UnableToConnectDB";
inline constexpr char ERROR_DATABASE[] = "DatabaseError";
inline constexpr char ERROR_REPLY_TOO_LARGE[] = "ReplyTooLarge";
inline constexpr char ERROR_TIME_LIMIT[] = "TimeLimit";

// Changing one row of a table: the requests (answered with Rows), their elements, attributes
// and errors. Key, Values, Original and Current hold a Field per column.
inline constexpr char INSERT_ROW[] = "InsertRow";
inline constexpr char UPDATE_ROW[] = "UpdateRow";
inline constexpr char DELETE_ROW[] = "DeleteRow";
inline constexpr char VALUES[] = "Values";
inline constexpr char ORIGINAL[] = "Original"; // the values the editor saw
inline constexpr char CURRENT[] = "Current";   // of a Conflict: the row as it is now
inline constexpr char REFERENCES[] = "References";
inline constexpr char ATTRIBUTE_COUNT[] = "count";
inline constexpr char ATTRIBUTE_DEFAULT[] = "default";             // of a Column
inline constexpr char ATTRIBUTE_AUTOINCREMENT[] = "autoincrement"; // of a Column
inline constexpr char ERROR_CONFLICT[] = "Conflict";      // the row changed since it was read
inline constexpr char ERROR_ROW_MISSING[] = "RowMissing"; // no row has the key
inline constexpr char ERROR_REFERENCED[] = "Referenced";  // other rows refer to it

// Finding rows: a ReadTable's search, the empty ops, the Facets message.
inline constexpr char SEARCH[] = "Search";
inline constexpr char TRUNCATED[] = "Truncated";
inline constexpr char FACETS[] = "Facets"; // the request's type and the reply's list
inline constexpr char FACET[] = "Facet";
inline constexpr char VALUE[] = "Value";
inline constexpr char ATTRIBUTE_INDEX[] = "index"; // of the refused Filter of an error
inline constexpr char OP_EMPTY[] = "empty";
inline constexpr char OP_NOT_EMPTY[] = "notempty";

// Labels of foreign keys: <Labels>true</Labels> in a ReadTable asks for them, and a Field of a
// single-column foreign key carries its referenced row's label as label="...". A named query's
// parameter whose values are a table's keys names it: <Parameter ... table="customers"/>.
inline constexpr char LABELS[] = "Labels"; // the attribute is ATTRIBUTE_LABEL

} // namespace dataserver::protocol
