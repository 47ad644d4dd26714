#pragma once

#include "server/tls/filestamp.h"

#include <QString>
#include <memory>

namespace server {

class TlsContext;
class TlsSession;

// The HTTPS listener's certificate: loaded at the start, and loaded again when its files
// change, so that a renewed certificate is served from the next connection on without a
// restart. Connections already open keep the one they began with. A replacement that cannot
// be used (half written, a key of another certificate) is traced and the one in use stays,
// until the files change again. Only the event loop's thread calls it.
class TlsAcceptor final {
public:
    TlsAcceptor();
    ~TlsAcceptor();

    // Loads the files; raises common::Error (TlsContext::Load's message) when they cannot be
    // used, and then keeps what it had.
    void load(const QString& certificateFile, const QString& keyFile);
    bool loaded() const { return m_context != nullptr; }
    // The TLS side of a connection just accepted on fd, on the newest usable certificate;
    // nullptr when none is loaded or OpenSSL cannot make one.
    std::unique_ptr<TlsSession> accept(int fd);

private:
    void reloadWhenChanged();

    QString m_certificateFile;
    QString m_keyFile;
    FileStamp m_certificateStamp;
    FileStamp m_keyStamp;
    std::shared_ptr<TlsContext> m_context;
};

} // namespace server
