#pragma once

#include "contract/protocol.h"

#include <QString>
#include <functional>

namespace pugi {
class xml_node;
}

namespace dbsvr {

// Texts of <Error> in a reply; an empty <Error/> means success.
using dataserver::protocol::ERROR_CONFLICT;
using dataserver::protocol::ERROR_DATABASE;
using dataserver::protocol::ERROR_INVALID_ARGUMENT;
using dataserver::protocol::ERROR_INVALID_REQUEST;
using dataserver::protocol::ERROR_MISSING_PARAMETER;
using dataserver::protocol::ERROR_NOT_CONNECTED;
using dataserver::protocol::ERROR_REFERENCED;
using dataserver::protocol::ERROR_REPLY_TOO_LARGE;
using dataserver::protocol::ERROR_ROW_MISSING;
using dataserver::protocol::ERROR_TIME_LIMIT;
using dataserver::protocol::ERROR_UNKNOWN_COLUMN;
using dataserver::protocol::ERROR_UNKNOWN_PARAMETER;
using dataserver::protocol::ERROR_UNKNOWN_QUERY;
using dataserver::protocol::ERROR_UNKNOWN_TABLE;

// A request that cannot be served, as the client gets it: the reply's Error
// and Message. Raised by the message handler and by the databases for what
// the client asked wrongly; the database's own failures stay common::Error.
struct RequestError {
    QString code;
    QString message;
    // Adds what the error tells beyond its message to the reply's root (a conflict's row).
    std::function<void(pugi::xml_node)> details = {};
};

[[noreturn]] inline void Fail(const char* code, const QString& message) {
    throw RequestError{QString::fromLatin1(code), message};
}

} // namespace dbsvr
