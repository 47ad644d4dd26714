#include "server/tls/tlscontext.h"

#include "common/error.h"
#include "server/tls/opensslerror.h"
#include "server/tls/opensslptr.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace server {

namespace {
const char* const TLS12_CIPHERS = "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                                  "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                                  "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";
const char* const TLS13_SUITES =
    "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256";
const char* const GROUPS = "X25519:P-256:P-384";
const unsigned char SESSION_CONTEXT[] = "quorvex-https";
const unsigned char HTTP11[] = "\x08http/1.1";
// Key name, HMAC key and AES key of the tickets, as OpenSSL hands them out.
constexpr size_t TICKET_KEYS_BYTES = 80;

[[noreturn]] void fail(const QString& text) {
    throw common::Error(common::ERR_PROGRAM, text);
}

// A file that is missing or unreadable is said so in the system's words, before OpenSSL
// speaks of PEM routines.
void checkReadable(const QString& kind, const QString& path) {
    if (path.isEmpty())
        fail(QStringLiteral("No HTTPS %1 file is set").arg(kind));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("The HTTPS %1 file %2 cannot be read: %3")
                 .arg(kind, path, file.errorString()));
}

int selectHttp11(SSL*, const unsigned char** out, unsigned char* outLength,
                 const unsigned char* offered, unsigned int offeredLength, void*) {
    unsigned char* chosen = nullptr;
    if (SSL_select_next_proto(&chosen, outLength, HTTP11, sizeof HTTP11 - 1, offered,
                              offeredLength) != OPENSSL_NPN_NEGOTIATED)
        return SSL_TLSEXT_ERR_NOACK;
    *out = chosen;
    return SSL_TLSEXT_ERR_OK;
}

// A key protected by a passphrase is refused rather than asked for on a terminal.
int noPassphrase(char*, int, int, void*) {
    return -1;
}

void applyRules(SSL_CTX* context) {
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(context, TLS1_3_VERSION);
    // A client that ends its side without a goodbye after its request still gets the answer,
    // as over plain HTTP (the request says how long it is).
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION |
                                     SSL_OP_CIPHER_SERVER_PREFERENCE |
                                     SSL_OP_IGNORE_UNEXPECTED_EOF);
    if (SSL_CTX_set_cipher_list(context, TLS12_CIPHERS) != 1 ||
        SSL_CTX_set_ciphersuites(context, TLS13_SUITES) != 1 ||
        SSL_CTX_set1_groups_list(context, GROUPS) != 1)
        fail(QStringLiteral("The TLS rules cannot be set: ") + OpenSslErrorText());
    SSL_CTX_set_alpn_select_cb(context, selectHttp11, nullptr);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_session_id_context(context, SESSION_CONTEXT, sizeof SESSION_CONTEXT - 1);
    SSL_CTX_set_num_tickets(context, 1);
    // Idle connections give their buffers back; answers go out as the socket takes them.
    SSL_CTX_set_mode(context, SSL_MODE_RELEASE_BUFFERS | SSL_MODE_ENABLE_PARTIAL_WRITE |
                                  SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // No read-ahead: with released buffers it costs a larger buffer made and freed at every
    // read, about 5 % more CPU per handshake than reading a record's header and body apiece.
    SSL_CTX_set_default_passwd_cb(context, noPassphrase);
}

void takeTicketKeys(SSL_CTX* context, const TlsContext* previous, SSL_CTX* previousContext) {
    if (!previous)
        return;
    unsigned char keys[TICKET_KEYS_BYTES];
    if (SSL_CTX_get_tlsext_ticket_keys(previousContext, keys, sizeof keys) == 1)
        SSL_CTX_set_tlsext_ticket_keys(context, keys, sizeof keys);
    OPENSSL_cleanse(keys, sizeof keys);
}

EvpPkeyPtr readKey(const QByteArray& path) {
    const BioPtr file(BIO_new_file(path.constData(), "r"));
    return EvpPkeyPtr(file ? PEM_read_bio_PrivateKey(file.get(), nullptr, noPassphrase, nullptr)
                           : nullptr);
}

QString validityWarning(SSL_CTX* context) {
    const X509* certificate = SSL_CTX_get0_certificate(context);
    if (!certificate)
        return {};
    if (X509_cmp_current_time(X509_get0_notAfter(certificate)) < 0)
        return QStringLiteral("The HTTPS certificate has expired: browsers refuse it");
    if (X509_cmp_current_time(X509_get0_notBefore(certificate)) > 0)
        return QStringLiteral("The HTTPS certificate is not valid yet: browsers refuse it");
    return {};
}
} // namespace

TlsContext::TlsContext(SSL_CTX* context) : m_context(context) {}

TlsContext::~TlsContext() {
    SSL_CTX_free(m_context);
}

std::shared_ptr<TlsContext> TlsContext::Load(const QString& certificateFile, const QString& keyFile,
                                             const TlsContext* previous) {
    checkReadable(QStringLiteral("certificate"), certificateFile);
    checkReadable(QStringLiteral("key"), keyFile);
    ClearOpenSslErrors();
    SSL_CTX* raw = SSL_CTX_new(TLS_server_method());
    if (!raw)
        fail(QStringLiteral("TLS cannot be set up: ") + OpenSslErrorText());
    std::shared_ptr<TlsContext> made(new TlsContext(raw));
    applyRules(raw);
    const QByteArray certificatePath = QFile::encodeName(certificateFile);
    const QByteArray keyPath = QFile::encodeName(keyFile);
    if (SSL_CTX_use_certificate_chain_file(raw, certificatePath.constData()) != 1)
        fail(QStringLiteral("The HTTPS certificate file %1 holds no usable certificate (PEM): %2")
                 .arg(certificateFile, OpenSslErrorText()));
    const EvpPkeyPtr key = readKey(keyPath);
    if (!key)
        fail(QStringLiteral("The HTTPS key file %1 holds no usable private key (PEM, without a "
                            "passphrase): %2")
                 .arg(keyFile, OpenSslErrorText()));
    if (SSL_CTX_use_PrivateKey(raw, key.get()) != 1 || SSL_CTX_check_private_key(raw) != 1)
        fail(QStringLiteral("The HTTPS key file %1 does not belong to the certificate in %2")
                 .arg(keyFile, certificateFile));
    ClearOpenSslErrors();
    takeTicketKeys(raw, previous, previous ? previous->m_context : nullptr);
    made->m_warning = validityWarning(raw);
    return made;
}

SSL* TlsContext::newConnection() const {
    SSL* connection = SSL_new(m_context);
    if (connection)
        SSL_set_accept_state(connection);
    else
        ClearOpenSslErrors();
    return connection;
}

} // namespace server
