#include "server/tls/tlsacceptor.h"

#include "common/error.h"
#include "diagnostics/trace.h"
#include "server/tls/tlscontext.h"
#include "server/tls/tlssession.h"

namespace server {

namespace {
void traceWarning(const QString& text) {
    if (!text.isEmpty())
        diagnostics::WriteTrace(text, diagnostics::Severity::Warning);
}
} // namespace

TlsAcceptor::TlsAcceptor() = default;
TlsAcceptor::~TlsAcceptor() = default;

void TlsAcceptor::load(const QString& certificateFile, const QString& keyFile) {
    // Stamped before reading: a change made while the files are read is seen next time.
    const FileStamp certificateStamp = FileStamp::Of(certificateFile);
    const FileStamp keyStamp = FileStamp::Of(keyFile);
    m_context = TlsContext::Load(certificateFile, keyFile, m_context.get());
    m_certificateFile = certificateFile;
    m_keyFile = keyFile;
    m_certificateStamp = certificateStamp;
    m_keyStamp = keyStamp;
    traceWarning(m_context->certificateWarning());
}

std::unique_ptr<TlsSession> TlsAcceptor::accept(int fd) {
    if (!m_context)
        return nullptr;
    reloadWhenChanged();
    SSL* connection = m_context->newConnection();
    return connection ? std::make_unique<TlsSession>(connection, fd) : nullptr;
}

// Two stat calls per connection: small beside a handshake, and a renewal is seen at once.
void TlsAcceptor::reloadWhenChanged() {
    const FileStamp certificateStamp = FileStamp::Of(m_certificateFile);
    const FileStamp keyStamp = FileStamp::Of(m_keyFile);
    if (certificateStamp == m_certificateStamp && keyStamp == m_keyStamp)
        return;
    m_certificateStamp = certificateStamp;
    m_keyStamp = keyStamp;
    try {
        m_context = TlsContext::Load(m_certificateFile, m_keyFile, m_context.get());
        diagnostics::WriteTrace(QStringLiteral("HTTPS certificate loaded again from ") +
                                m_certificateFile);
        traceWarning(m_context->certificateWarning());
    } catch (const common::Error& e) {
        traceWarning(e.description() +
                     QStringLiteral(". The certificate loaded before is served until the files "
                                    "change again."));
    }
}

} // namespace server
