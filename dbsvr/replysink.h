#pragma once

#include <QByteArray>
#include <QDeadlineTimer>

namespace dbsvr {

// Where the replies to one request go, in order: the one reply of most requests, or the parts of
// an export (components/replyparts.h).
class ReplySink {
public:
    virtual ~ReplySink() = default;
    // Sends the next reply at once.
    virtual void send(const QByteArray& reply) = 0;
    // Sends the next part of an export once the reader has taken the part two before it, so that
    // no more than two wait; false, and nothing sent, when that did not happen by the deadline.
    virtual bool sendPart(const QByteArray& part, const QDeadlineTimer& deadline) = 0;
    // The request is done though nothing was sent: it asks for no reply.
    virtual void finishWithoutReply() {}
};

} // namespace dbsvr
