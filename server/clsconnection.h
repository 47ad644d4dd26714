#pragma once

#include <QString>

namespace server {

// One connection slot: slot k uses socket k of the socket array.
struct clsConnection {
    bool Used = false;       // carries a connection whose answer has not been sent yet
    QString RemoteAddress;   // the client's address, dotted decimal for IPv4
    int ConnectionIndex = 0; // index of the slot's socket
};

} // namespace server
