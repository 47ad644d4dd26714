#pragma once

#include <QString>
#include <memory>

using SSL_CTX = struct ssl_ctx_st;
using SSL = struct ssl_st;

namespace server {

// One certificate (with its chain) and its key, and the TLS rules every connection of the
// HTTPS listener follows:
//   - TLS 1.2 and 1.3 only; no renegotiation, no compression;
//   - TLS 1.3 suites AES-128-GCM, AES-256-GCM, ChaCha20-Poly1305; TLS 1.2 only ECDHE key
//     exchange with AES-GCM or ChaCha20-Poly1305 (forward secrecy and AEAD, nothing else);
//     key exchange groups X25519, P-256, P-384;
//   - ALPN "http/1.1" (a client that offers only other protocols goes on without ALPN);
//   - sessions resumed with tickets only (no session cache kept here), under ticket keys made
//     for the run: a context made to replace another takes over its keys (Load's previous).
// Immutable once made; the SSL objects made from it keep it alive (OpenSSL counts references),
// so a connection keeps its certificate when the context is replaced.
class TlsContext final {
public:
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // Reads certificateFile (PEM, the server's certificate first, then its chain) and keyFile
    // (PEM, not protected by a passphrase). Raises common::Error with a message that names the
    // file and says what is wrong with it: missing or unreadable, not a certificate or key, or
    // a key that does not belong to the certificate.
    static std::shared_ptr<TlsContext> Load(const QString& certificateFile, const QString& keyFile,
                                            const TlsContext* previous = nullptr);

    // A new server-side connection object on this context; nullptr when OpenSSL cannot make one.
    SSL* newConnection() const;
    // "" or why the certificate should be looked at: it has expired or is not valid yet.
    const QString& certificateWarning() const { return m_warning; }

private:
    explicit TlsContext(SSL_CTX* context);

    SSL_CTX* m_context;
    QString m_warning;
};

} // namespace server
