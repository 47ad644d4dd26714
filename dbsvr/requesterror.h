#pragma once

#include <QString>

namespace dbsvr {

// Texts of <Error> in a reply; an empty <Error/> means success.
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

// A request that cannot be served, as the client gets it: the reply's Error
// and Message. Raised by the message handler and by the databases for what
// the client asked wrongly; the database's own failures stay common::Error.
struct RequestError {
    QString code;
    QString message;
};

[[noreturn]] inline void Fail(const char* code, const QString& message) {
    throw RequestError{QString::fromLatin1(code), message};
}

} // namespace dbsvr
