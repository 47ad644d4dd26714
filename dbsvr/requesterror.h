#pragma once

#include "contract/protocol.h"

#include <QString>

namespace dbsvr {

// Texts of <Error> in a reply; an empty <Error/> means success.
using dataserver::protocol::ERROR_DATABASE;
using dataserver::protocol::ERROR_INVALID_ARGUMENT;
using dataserver::protocol::ERROR_INVALID_REQUEST;
using dataserver::protocol::ERROR_MISSING_PARAMETER;
using dataserver::protocol::ERROR_NOT_CONNECTED;
using dataserver::protocol::ERROR_REPLY_TOO_LARGE;
using dataserver::protocol::ERROR_TIME_LIMIT;
using dataserver::protocol::ERROR_UNKNOWN_COLUMN;
using dataserver::protocol::ERROR_UNKNOWN_PARAMETER;
using dataserver::protocol::ERROR_UNKNOWN_QUERY;
using dataserver::protocol::ERROR_UNKNOWN_TABLE;

// A request that cannot be served, as the client gets it: the reply's Error
// and Message. Raised by the message handler and by the databases for what
// the client asked wrongly; the database's own failures stay common::Error.
struct RequestError {
    RequestError(QString code, QString message, int filterIndex = 0, QString filterColumn = {})
        : code(std::move(code)), message(std::move(message)), filterIndex(filterIndex),
          filterColumn(std::move(filterColumn)) {}

    QString code;
    QString message;
    // The filter of a read that was refused (from 1, in the order sent), 0 when none; the reply
    // names it and its column, so that a page can show the error next to it.
    int filterIndex = 0;
    QString filterColumn;
};

[[noreturn]] inline void Fail(const char* code, const QString& message) {
    throw RequestError{QString::fromLatin1(code), message};
}

} // namespace dbsvr
