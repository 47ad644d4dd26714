#pragma once

#include <QString>
#include <QtGlobal>

using SSL = struct ssl_st;

namespace server {

// The TLS side of one accepted connection, on its non-blocking descriptor: the handshake,
// then the request read and the answer written through it. Belongs to its Socket, on the
// event loop's thread.
class TlsSession final {
public:
    // What a step needs next: nothing (done), the socket readable or writable, or nothing
    // any more: the client closed the connection (or it broke), or broke the protocol.
    enum class Wait { None, Readable, Writable, Closed, Failed };

    // Takes ssl (made by TlsContext::newConnection) and puts it on fd.
    TlsSession(SSL* ssl, int fd);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    bool established() const { return m_established; }
    // Goes on with the handshake: None once it is done.
    Wait handshake();
    // Up to size bytes of the request; 0 with the reason when none came.
    qsizetype read(char* data, qsizetype size, Wait& wait);
    // Up to size bytes of the answer; 0 with the reason when none went. A call that waited
    // must be repeated with the same bytes (at the same or another address).
    qsizetype write(const char* data, qsizetype size, Wait& wait);
    // Says goodbye (close_notify) if the socket takes it at once; the descriptor is closed by
    // the caller either way.
    void shutdown();
    // Why the last step failed, for the trace.
    const QString& failure() const { return m_failure; }

private:
    Wait waitAfter(int result);

    SSL* m_ssl;
    bool m_established = false;
    QString m_failure;
};

} // namespace server
