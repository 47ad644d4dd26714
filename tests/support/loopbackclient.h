#pragma once

// A raw TCP client of a server that runs on the test's own event loop: it never blocks that
// loop, so the server answers while the client waits.

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

namespace support {

// A raw loopback client: sends exactly the bytes given, in pieces if asked,
// and reads until the server closes, while the server's event loop runs.
class LoopbackClient final {
public:
    // Connects to port on 127.0.0.1, or on ::1 when ipv6.
    explicit LoopbackClient(quint16 port, bool ipv6 = false);
    ~LoopbackClient() { close(); }
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool connected() const { return m_connected; }
    void send(QByteArrayView bytes);
    void shutdownWrite();
    // Closes with a reset, as a client that crashes or gives up does.
    void reset();
    void close();
    // Takes what has arrived; true once the server has closed.
    bool poll();
    QByteArray readToEnd();
    const QByteArray& received() const { return m_received; }
    bool closedByServer() const { return m_closed; }

private:
    int m_fd = -1;
    bool m_connected = false;
    bool m_closed = false;
    QByteArray m_received;
};

// An answer cut at its blank line: the status and header lines, and the body.
struct HttpAnswer {
    QStringList head;
    QByteArray body;
};
HttpAnswer SplitAnswer(const QByteArray& bytes);

} // namespace support
