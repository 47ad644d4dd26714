#pragma once

#include "server/requestreader.h"

#include <QString>

namespace server {

class Socket;

// One connection slot and everything of the connection it carries: slot k uses
// socket k of the socket array (sckServer), from which the client's address is read.
struct clsConnection {
    explicit clsConnection(Socket& socket) : socket(socket) {}

    Socket& socket;
    bool Used = false;       // carries a connection whose answer has not been sent yet
    RequestReader reader;    // the request text so far (RequestBuffers)
    qint64 acceptedAtMs = 0; // for the request time-out
    // The answer's progress as last seen by the time-out sweep.
    quint64 sentMark = 0;
    qint64 sentMarkAtMs = -1;  // -1: not watched yet
    qint64 bodyReserved = 0;   // counted in the server's memory for bodies
    qint64 answerReserved = 0; // counted in the server's memory for answers

    // True once the socket has sent nothing for timeoutMs while an answer is still
    // going out. Watched by a sweep rather than per write, so sending costs nothing extra.
    bool answerStalled(qint64 nowMs, qint64 timeoutMs);
    int ConnectionIndex() const;   // index of the slot's socket
    QString RemoteAddress() const; // the client's address, dotted decimal for IPv4
};

} // namespace server
