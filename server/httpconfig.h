#pragma once

#include "common/version.h"
#include "server/addressrange.h"

#include <QString>

namespace server {

// What the HTTP server needs from the settings; filled in by start-up before
// StartServer and read again on every request (the settings dialog may change it).
struct HttpConfig {
    QString webRootFolder; // absolute, no trailing "/"
    QString serverVersion = common::ServerVersion();
    double cacheExpiresStatic = 1.0;  // days
    double cacheExpiresDynamic = 0.0; // days
    int tcpPort = 0;
    // Symbolic links in the web root are followed only while they stay inside
    // it; true lets them lead anywhere. Not in the settings file: the core may set it.
    bool followSymlinksOutsideWebRoot = false;
    // The reverse proxies whose Remote-User and X-Forwarded-For are believed (TrustedProxies);
    // empty: none.
    QList<AddressRange> trustedProxies;

    // HTTPS: a second listener whose connections speak TLS (HttpsEnabled, HttpsPort), on the
    // certificate and key files given here (the core resolves them; HttpServer::loadCertificate
    // reads them). httpRedirect: the HTTP listener answers everything with a redirect to HTTPS.
    // hstsMaxAge: Strict-Transport-Security on HTTPS answers (seconds; 0: none).
    bool httpsEnabled = false;
    int httpsPort = 0;
    QString httpsCertificate;
    QString httpsKey;
    bool httpRedirect = false;
    qint64 hstsMaxAge = 0;

    // Limits that keep a client from holding resources for ever. Tests lower them.
    int maxConnections = 32767;     // connection slots; a slot index is a 16-bit number
    int requestTimeoutMs = 30000;   // a request not complete by then is dropped
    int sendTimeoutMs = 30000;      // an answer that makes no progress for so long is dropped
    int handshakeTimeoutMs = 10000; // a TLS handshake not done by then is dropped
    // The POST bodies being received at one time, counted by their Content-Length;
    // a request whose body would pass it is answered "503 Service Unavailable".
    qint64 maxBodyMemory = 64LL * 1024 * 1024;
    // The answers held in memory until they have been sent, counted by their size
    // (files streamed from disk count for nothing); an answer that would pass it
    // is replaced by "503 Service Unavailable".
    qint64 maxAnswerMemory = 64LL * 1024 * 1024;
    // The worker threads that make dynamic pages (0: DefaultWorkerThreads), fixed at the
    // first dynamic request, and the pages that may wait for one besides those being made;
    // a page beyond them is answered "503 Service Unavailable" with Retry-After at once.
    int workerThreads = 0;
    int workerQueueLimit = 256;
    int retryAfterSeconds = 5;
};

} // namespace server
