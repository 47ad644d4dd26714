#pragma once

#include "dbsvr/database.h"
#include "dbsvr/requesterror.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <pugixml.hpp>

// The pieces of the data server's replies (dbsvr/README.md describes them).

namespace dbsvr {

QString BoolText(bool value);
// <name>text</name>, the text encoded when XML cannot carry it (common/xmlvalue.h).
void AddText(pugi::xml_node parent, const char* name, const QString& text);
void AddNumber(pugi::xml_node parent, const char* name, int64_t value);

// Columns, Rows with a Field per value, Offset, Limit, Count, More, and Total when the page has
// one. A BLOB is type="blob" with length="bytes", and its base64 text when the page holds it.
void AddPage(pugi::xml_node reply, const RowPage& page, const Paging& paging);

// A Field per value under parent, named by columns, as a page's rows have them.
void AddFields(pugi::xml_node parent, const QStringList& columns, const QList<FieldValue>& values);

// Changes, LastInsertId (empty when the write inserted no row) and Duplicate when it is true.
void AddWriteResult(pugi::xml_node reply, const WriteResult& result);

// The reply's text, as it goes out.
QByteArray Serialize(const pugi::xml_document& doc);

// A whole reply of the type "Error"; details adds what the error tells beyond its message.
QByteArray ErrorReply(const QString& code, const QString& message,
                      const std::function<void(pugi::xml_node)>& details = {});

} // namespace dbsvr
