#pragma once

#include <QString>
#include <cstdint>

namespace pugi {
class xml_node;
}

// Reading the parts of a request message.

namespace dbsvr {

// A setting of the request (a type, a number, a flag), where blanks around it do not count.
QString ChildText(const pugi::xml_node& node, const char* name);
// A name or a value, exactly as sent: a table "customers " is not customers.
QString ChildValue(const pugi::xml_node& node, const char* name);
// "true" in any case, or "1".
bool IsTrue(const QString& text);
// The whole number of 0 or more that the element name holds; fallback when there is none.
// Raises RequestError InvalidArgument for anything else.
int64_t ReadCount(const pugi::xml_node& request, const char* name, int64_t fallback);
// The request id of a write, "" when there is none. Raises RequestError InvalidArgument for
// one longer than MAX_REQUEST_ID.
QString ReadRequestId(const pugi::xml_node& request);

} // namespace dbsvr
