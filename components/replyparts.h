#pragma once

#include <QString>

// What the web application and the data server agree on for replies: how big one may be, and
// how an export's rows come back. An export is answered in parts, one message each: the first
// under the request's id, the n-th under PartId(id, n); every part but the last says
// <Continued>true</Continued>. The data server writes a part only once the reader has taken the
// part two before it, so no more than two wait in the queue.

namespace components {

// The largest reply, in bytes: a request for more is refused (ReplyTooLarge), never cut short.
inline constexpr qint64 MAX_REPLY_BYTES = 16 * 1024 * 1024;
// The most rows one export holds; a longer result ends there and says so.
inline constexpr int MAX_EXPORT_ROWS = 100000;
// How long the data server may take for a whole export before it stops it (TimeLimit).
inline constexpr int EXPORT_TIME_LIMIT_MS = 15000;

// The message id of part n (from 1) of the reply to the message id.
inline QString PartId(const QString& id, int part) {
    return part <= 1 ? id : id + QLatin1Char('.') + QString::number(part);
}

} // namespace components
