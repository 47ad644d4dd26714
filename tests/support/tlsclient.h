#pragma once

// A TLS client of a server that runs on the test's own event loop: the client works on a
// thread of its own with blocking OpenSSL calls while the caller's loop runs, so the server
// answers while the client waits.

#include <QByteArray>
#include <QString>
#include <memory>

using SSL_SESSION = struct ssl_session_st;

namespace support {

struct TlsClientOptions {
    int minVersion = 0; // TLS1_2_VERSION...; 0: OpenSSL's default
    int maxVersion = 0;
    QByteArray alpn = QByteArrayLiteral("\x02h2\x08http/1.1"); // as browsers offer it
    std::shared_ptr<SSL_SESSION> session;                      // to resume
    QString trustedCertificate; // PEM: verify the server against it, for "localhost"
};

struct TlsAnswer {
    bool handshakeDone = false;
    QString failure;            // why not, in OpenSSL's words
    QByteArray bytes;           // everything the server sent until it closed
    QString protocol;           // "TLSv1.3"
    QByteArray alpn;            // what the server chose, "" when none
    QByteArray peerCertificate; // DER
    bool certificateRequested = false;
    bool resumed = false;
    std::shared_ptr<SSL_SESSION> session; // for the next connection
};

// Connects to 127.0.0.1:port, shakes hands, sends request and reads until the server closes.
TlsAnswer TlsFetch(quint16 port, const QByteArray& request, const TlsClientOptions& options = {});

} // namespace support
