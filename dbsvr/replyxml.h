#pragma once

#include "dbsvr/database.h"
#include "dbsvr/requesterror.h"

#include <QByteArray>
#include <QString>
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

// The reply's text, as it goes out.
QByteArray Serialize(const pugi::xml_document& doc);

// A whole reply of the type "Error".
QByteArray ErrorReply(const QString& code, const QString& message);
// The same for a refused request: for a refused filter, with <Filter index="n" column="c"/>.
QByteArray ErrorReply(const RequestError& error);

} // namespace dbsvr
