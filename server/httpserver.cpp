#include "server/httpserver.h"

#include <QTimer>

#include "common/codepage.h"
#include "common/error.h"
#include "common/text.h"
#include "diagnostics/trace.h"
#include "server/descriptorlimit.h"
#include "server/httpslocation.h"
#include "server/listener.h"
#include "server/requestorigin.h"
#include "server/requestparser.h"
#include "server/responses.h"
#include "server/socket.h"
#include "server/socketarray.h"
#include "server/tls/tlssession.h"
#include "server/tracetext.h"
#include "server/winsockerror.h"

#include <QTimer>
#include <malloc.h>
#include <unistd.h>

namespace server {

namespace {
constexpr qsizetype TRACED_REQUEST_LINE = 200; // characters of a refused request line in the trace
constexpr qint64 TRIM_AFTER_BODY_BYTES = 1024 * 1024; // a body this large is worth giving back

QString requestLine(const QByteArray& text) {
    const qsizetype end = text.indexOf("\r\n");
    const QByteArray line = text.left(std::min(end < 0 ? text.size() : end, TRACED_REQUEST_LINE));
    return RequestTraceText(common::FromCodePage(line));
}
// Every Cookie line of a request, as one: a client may split its cookies over several.
QString cookieOf(const QByteArray& request) {
    QList<QByteArray> lines = HeaderValues(request, "Cookie");
    lines.removeIf([](const QByteArray& line) { return line.isEmpty(); });
    return common::FromCodePage(lines.join("; "));
}
} // namespace

HttpServer::HttpServer(HttpConfig& config, RequestHandler& handler, QObject* parent)
    : QObject(parent), m_config(config), m_handler(handler), m_staticFiles(config),
      m_secureListener(std::make_unique<Listener>()), sckServer(std::make_unique<SocketArray>()) {
    m_clock.start();
    connect(sckServer.get(), &SocketArray::ConnectionRequest, this, &HttpServer::ConnectionRequest);
    connect(m_secureListener.get(), &Listener::connectionRequest, this, [this](qintptr requestID) {
        guarded(0, "ConnectionRequest", [&] {
            Q_EMIT connectionCounted();
            acceptConnection(requestID, *m_secureListener, true);
        });
    });
    connect(sckServer.get(), &SocketArray::DataArrival, this,
            [this](int index, qint64) { DataArrival(index); });
    connect(sckServer.get(), &SocketArray::SendComplete, this, &HttpServer::SendComplete);
    connect(sckServer.get(), &SocketArray::Close, this, &HttpServer::Close);
    connect(&m_timeoutTimer, &QTimer::timeout, this,
            [this] { guarded(0, "time-out", [this] { sweepTimeouts(); }); });
}

// What a worker hands back to the loop: the answer, or the error that stopped it.
struct HttpServer::PageOutcome {
    common::Response answer;
    bool failed = false;
    int number = 0;
    QString description;
};

HttpServer::~HttpServer() {
    // Pages being made still hand their answers back; they are dropped with this object.
    if (m_pool)
        m_pool->stop();
    QObject::disconnect(sckServer.get(), nullptr, this, nullptr);
}

// --- Listener -------------------------------------------------------------

ListenOutcome HttpServer::StartServer() {
    return listenOn(m_config.tcpPort, Scheme::Http);
}

ListenOutcome HttpServer::StartSecureServer() {
    if (!m_config.httpsEnabled || !m_tls.loaded())
        return ListenOutcome::NoPort;
    return listenOn(m_config.httpsPort, Scheme::Https);
}

ListenOutcome HttpServer::listenOn(int port, Scheme scheme) {
    if (port == 0)
        return ListenOutcome::NoPort;
    const int error = tryListen(port, scheme);
    if (error == 0)
        return ListenOutcome::Listening;
    if (error == WSAEADDRINUSE)
        return ListenOutcome::PortInUse;
    // Not shown to the user, but a port below 1024 without the right to
    // bind it must leave a trace of why nobody can connect.
    diagnostics::WriteTrace(
        QStringLiteral("Cannot listen %1on port %2: error %3")
            .arg(scheme == Scheme::Https ? QStringLiteral("for HTTPS ") : QString())
            .arg(port)
            .arg(error),
        diagnostics::Severity::Error);
    return ListenOutcome::OtherError;
}

void HttpServer::loadCertificate() {
    m_tls.load(m_config.httpsCertificate, m_config.httpsKey);
}

void HttpServer::StopServer() {
    for (const auto& slot : m_connections)
        if (slot->Used && !slot->socket.sending())
            slot->socket.Close();
    closeListener();
}

void HttpServer::closeListener() {
    closeListener(Scheme::Http);
    closeListener(Scheme::Https);
}

void HttpServer::closeListener(Scheme scheme) {
    listener(scheme).close();
}

int HttpServer::tryListen(int port, Scheme scheme) {
    return listener(scheme).Listen(port);
}

quint16 HttpServer::serverPort(Scheme scheme) const {
    const Listener& open = listener(scheme);
    return open.isListening() ? open.serverPort() : 0;
}

Listener& HttpServer::listener(Scheme scheme) const {
    return scheme == Scheme::Https ? *m_secureListener : sckServer->listener();
}

// --- Slots and status -----------------------------------------------------

int HttpServer::GetFreeConnectionIndex() {
    for (int k = 1; k <= m_connections.Count(); ++k)
        if (!m_connections.Item(k).Used)
            return k;
    if (m_connections.Count() >= maxConnections())
        return 0;
    const int index = sckServer->Load();
    m_connections.Add((*sckServer)(index));
    Q_ASSERT(index == m_connections.Count());
    return index;
}

int HttpServer::maxConnections() const {
    // Asked only when the table would grow, so the limit may change at run time.
    return std::min(m_config.maxConnections, ConnectionSlotsForDescriptorLimit());
}

int HttpServer::GetConnection(int intConnectionIndex) const {
    // Slot k carries socket k: the record ties them together.
    return intConnectionIndex >= 1 && intConnectionIndex <= m_connections.Count()
               ? intConnectionIndex
               : 0;
}

clsConnection* HttpServer::slotOf(int index) {
    const int k = GetConnection(index);
    return k > 0 ? &m_connections.Item(k) : nullptr;
}

void HttpServer::RegisterRequest(const QString& FilePath, const QString& querystring,
                                 const QString& ipaddress) {
    diagnostics::WriteTrace(QLatin1Char('[') + ipaddress + QStringLiteral("] HTTP GET: ") +
                            RequestTraceText(FilePath, querystring));
}

// --- Events ---------------------------------------------------------------

void HttpServer::ConnectionRequest(int Index, qintptr requestID) {
    guarded(0, "ConnectionRequest", [&] {
        Q_EMIT connectionCounted();
        if (Index != 0)
            return;
        acceptConnection(requestID, sckServer->listener(), false);
    });
}

void HttpServer::acceptConnection(qintptr requestID, const Listener& from, bool secure) {
    const int k = GetFreeConnectionIndex();
    if (k == 0) {
        ::close(static_cast<int>(requestID));
        diagnostics::WriteTrace(
            QStringLiteral("Connection refused: all %1 connection slots are in use")
                .arg(m_connections.Count()),
            diagnostics::Severity::Warning);
        return;
    }
    Socket& socket = (*sckServer)(k);
    if (socket.State() != Socket::STATE_CLOSED)
        socket.Close();
    std::unique_ptr<TlsSession> tls;
    if (secure && !(tls = m_tls.accept(static_cast<int>(requestID)))) {
        ::close(static_cast<int>(requestID));
        diagnostics::WriteTrace(QStringLiteral("Cannot start TLS on a connection"),
                                diagnostics::Severity::Warning);
        return;
    }
    if (!socket.Accept(requestID, &from.peer(), std::move(tls))) {
        ::close(static_cast<int>(requestID));
        diagnostics::WriteTrace(QStringLiteral("Cannot accept a connection"),
                                diagnostics::Severity::Warning);
        return;
    }
    clsConnection& slot = m_connections.Item(k);
    slot.Used = true;
    releaseBody(slot); // released at the close already; never counted twice
    releaseAnswer(slot);
    slot.reader.clear();
    slot.acceptedAtMs = m_clock.elapsed();
    slot.sentMark = 0;
    slot.sentMarkAtMs = -1;
    if (!m_timeoutTimer.isActive())
        m_timeoutTimer.start(std::clamp(std::min({m_config.requestTimeoutMs, m_config.sendTimeoutMs,
                                                  m_config.handshakeTimeoutMs}) /
                                            4,
                                        10, 1000));
    socket.StartReading();
}

void HttpServer::DataArrival(int Index) {
    guarded(Index, "DataArrival", [&] {
        Socket& socket = (*sckServer)(Index);
        const QByteArray data = socket.GetData();
        clsConnection* slot = slotOf(Index);
        if (!slot || !slot->Used || slot->reader.status() != RequestStatus::Incomplete) {
            // Bytes beyond the request: they must be read before the close.
            socket.setLingerOnClose(true);
            return;
        }
        RequestReader& reader = slot->reader;
        const RequestStatus status = reader.append(data, m_config.maxBodyMemory - m_bodyBytesInUse);
        const QString ip = slot->RemoteAddress();
        if (status == RequestStatus::Incomplete) {
            awaitBody(*slot);
            return;
        }
        QByteArray text = reader.take();
        if (text.size() >= TRIM_AFTER_BODY_BYTES)
            m_trimPending = true;
        const quint64 connection = socket.generation();
        if (const auto refusal = RefusalOf(status))
            refuseRequest(Index, *refusal, text);
        else
            route(Index, text, ip); // may let events run: other connections come and go
        text = QByteArray();
        // Gone meanwhile, the connection's body was released as it closed.
        if (socket.generation() == connection)
            releaseBody(*slot);
    });
}

// A POST whose body is still to come, within the limits: its declared length
// counts against maxBodyMemory until the request is done, and a client that
// asked is told to send it.
void HttpServer::awaitBody(clsConnection& slot) {
    const RequestReader& reader = slot.reader;
    if (!reader.headerComplete() || slot.bodyReserved > 0 || reader.bodyLength() == 0)
        return;
    slot.bodyReserved = reader.bodyLength();
    m_bodyBytesInUse += slot.bodyReserved;
    if (reader.expectsContinue())
        slot.socket.SendInterim(ContinueAnswer().head());
}

void HttpServer::releaseBody(clsConnection& slot) {
    if (slot.bodyReserved >= TRIM_AFTER_BODY_BYTES)
        m_trimPending = true;
    m_bodyBytesInUse -= slot.bodyReserved;
    slot.bodyReserved = 0;
    // The heap keeps what a burst of large bodies took unless asked to give it back.
    if (m_trimPending && m_bodyBytesInUse == 0) {
        m_trimPending = false;
        ::malloc_trim(0);
    }
}

void HttpServer::releaseAnswer(clsConnection& slot) {
    m_answerBytesInUse -= slot.answerReserved;
    slot.answerReserved = 0;
}

void HttpServer::SendComplete(int Index) {
    guarded(Index, "SendComplete", [&] {
        if (clsConnection* slot = slotOf(Index))
            releaseAnswer(*slot); // all handed to the kernel: the socket holds none of it
        (*sckServer)(Index).Close();
    });
}

void HttpServer::Close(int Index) {
    guarded(Index, "Close", [&] {
        // The connection is gone (answered or the client went away): the slot
        // and its socket are free for the next one.
        (*sckServer)(Index).Close();
        clsConnection* slot = slotOf(Index);
        if (!slot)
            return;
        slot->Used = false;
        slot->reader.clear();
        releaseBody(*slot);
        releaseAnswer(*slot);
    });
}

// --- Routing --------------------------------------------------------------

void HttpServer::route(int index, const QByteArray& text, const QString& ip) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto header = ProcessDataRequest(common::FromCodePage(text));
    const bool isOptions = !text.startsWith("GET") && !text.startsWith("POST");
    const QString path = header ? header->FilePath : QString();
    const bool isStatic = !path.endsWith(QLatin1Char('/')) && !path.contains(QLatin1String("/?"));
    // Nothing to serve (no path, or one that cannot name a file), and nothing
    // said would leave the client waiting.
    if (!header ||
        (!isOptions && (path.isEmpty() || (isStatic && !StaticFiles::IsServablePath(path))))) {
        refuseRequest(index, 400, text);
        return;
    }
    RegisterRequest(header->FilePath, header->Command, ip);
    if (redirectsToHttps((*sckServer)(index)))
        redirectToHttps(index, *header, text, now);
    else if (isOptions)
        sendWhenConnected(index, MethodNotAllowedAnswer());
    else if (isStatic)
        SendFile(index, *header, now);
    else
        sendDynamicPage(index, *header, text, now);
}

bool HttpServer::redirectsToHttps(const Socket& socket) const {
    return m_config.httpRedirect && !socket.secure() && serverPort(Scheme::Https) > 0;
}

void HttpServer::redirectToHttps(int index, const clsHeader& header, const QByteArray& text,
                                 const QDateTime& now) {
    const Socket& socket = (*sckServer)(index);
    const std::optional<QByteArray> location =
        HttpsLocation(text, HeaderField(*header.Parameters, QStringLiteral("Host")), socket.local(),
                      serverPort(Scheme::Https));
    if (location)
        sendWhenConnected(index, HttpsRedirectAnswer(*location, m_config, now));
    else
        refuseRequest(index, 400, text);
}

void HttpServer::SendFile(int index, const clsHeader& header, const QDateTime& now) {
    const QString cachetime =
        HeaderField(*header.Parameters, QStringLiteral("If-Modified-Since")).value_or(QString());
    const StaticAnswer answer = m_staticFiles.answer(header.FilePath, cachetime, now);
    sendAnswer(index, answer.response, answer.kept, answer.head);
}

void HttpServer::sendDynamicPage(int index, const clsHeader& header, const QByteArray& text,
                                 const QDateTime& now) {
    const Socket& socket = (*sckServer)(index);
    const quint64 connection = socket.generation();
    const QString ip = socket.RemoteHostIP();
    const common::Dictionary& parameters = *header.Parameters;
    DynamicRequest request;
    request.method = HeaderField(parameters, QStringLiteral("Content-Length"))
                         ? QStringLiteral("POST")
                         : QStringLiteral("GET");
    request.query = header.Command;
    request.body = common::ToText(parameters.item(QStringLiteral("Content")));
    request.userAgent = common::ToText(parameters.item(QStringLiteral("User-Agent")));
    request.remoteAddress = ip;
    request.cookie = cookieOf(text);
    request.origin = OriginOf(text, {socket.local(), socket.peer()}, m_config.trustedProxies);
    request.https = socket.secure();
    PageWork work = m_handler.Prepare(request);
    const bool queued = pool().post(
        [this, index, connection, work = std::move(work)] { makePage(index, connection, work); });
    if (queued)
        return;
    diagnostics::WriteTrace(QStringLiteral("[%1] HTTP 503 Service Unavailable: %2 pages are "
                                           "being made and %3 wait")
                                .arg(ip)
                                .arg(pool().threads())
                                .arg(pool().queueLimit()),
                            diagnostics::Severity::Warning);
    sendWhenConnected(index, BusyAnswer(m_config, now));
}

WorkerPool& HttpServer::pool() {
    if (!m_pool)
        m_pool = std::make_unique<WorkerPool>(m_config.workerThreads > 0 ? m_config.workerThreads
                                                                         : DefaultWorkerThreads(),
                                              m_config.workerQueueLimit);
    return *m_pool;
}

void HttpServer::makePage(int index, quint64 connection, const PageWork& work) {
    PageOutcome outcome;
    try {
        outcome.answer = work();
    } catch (const common::Error& e) {
        outcome = {{}, true, e.number(), e.description()};
    } catch (const std::exception& e) {
        outcome = {{}, true, 0, QString::fromLocal8Bit(e.what())};
    } catch (...) {
        outcome = {{}, true, 0, QStringLiteral("unknown error")};
    }
    QMetaObject::invokeMethod(
        this,
        [this, index, connection, outcome = std::move(outcome)]() mutable {
            pageMade(index, connection, outcome);
        },
        Qt::QueuedConnection);
}

void HttpServer::pageMade(int index, quint64 connection, PageOutcome& outcome) {
    // A client gone while its page was made gets nothing, and neither does the next one
    // on the same socket.
    if (generationOf(index) != connection) {
        diagnostics::WriteTrace(QStringLiteral("A page was made for a client that has gone"));
        return;
    }
    if (outcome.failed) {
        handleError(index, connection, "ProcessRequest", outcome.number, outcome.description);
        return;
    }
    if (const int hold = outcome.answer.holdMs; hold > 0) {
        outcome.answer.holdMs = 0;
        QTimer::singleShot(hold, this,
                           [this, index, connection, outcome = std::move(outcome)]() mutable {
                               pageMade(index, connection, outcome);
                           });
        return;
    }
    // Dated when it is sent, not when it was asked for: a page may have waited seconds.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    guarded(index, "ProcessRequest", [&] {
        sendWhenConnected(index,
                          DynamicPageAnswer(std::move(outcome.answer),
                                            m_dynamicLines.refresh(now, m_config.serverVersion,
                                                                   m_config.cacheExpiresDynamic)));
    });
}

void HttpServer::refuseRequest(int index, int status, const QByteArray& text) {
    const clsConnection* slot = slotOf(index);
    const QString ip = slot ? slot->RemoteAddress() : QString();
    diagnostics::WriteTrace(
        QStringLiteral("[%1] HTTP %2 %3: %4")
            .arg(ip)
            .arg(status)
            .arg(QLatin1String(common::ReasonPhrase(status)), requestLine(text)),
        diagnostics::Severity::Warning);
    Socket& socket = (*sckServer)(index);
    socket.setLingerOnClose(true);
    sendWhenConnected(index, ErrorAnswer(status, m_config, QDateTime::currentDateTimeUtc()));
}

void HttpServer::sendWhenConnected(int index, const common::Response& answer) {
    Socket& socket = (*sckServer)(index);
    if (socket.State() == Socket::STATE_CONNECTED)
        sendAnswer(index, answer);
    else
        socket.Close();
}

// Clients that do not read their answers must not make the server hold any
// amount of memory for them, as they cannot with request bodies. A file body is
// read as the socket drains and costs nothing here.
void HttpServer::sendAnswer(int index, const common::Response& answer, bool kept,
                            const QByteArray& head) {
    Socket& socket = (*sckServer)(index);
    clsConnection* slot = slotOf(index);
    const qint64 bytes = kept || answer.hasFile() ? 0 : answer.body.size();
    if (!slot || bytes == 0) {
        write(socket, answer, head);
        return;
    }
    if (m_answerBytesInUse + bytes > m_config.maxAnswerMemory) {
        diagnostics::WriteTrace(QStringLiteral("[%1] HTTP 503 Service Unavailable: an answer of %2 "
                                               "bytes would pass the %3 bytes kept for answers")
                                    .arg(slot->RemoteAddress())
                                    .arg(bytes)
                                    .arg(m_config.maxAnswerMemory),
                                diagnostics::Severity::Warning);
        write(socket, ErrorAnswer(503, m_config, QDateTime::currentDateTimeUtc()));
        return;
    }
    releaseAnswer(*slot);
    slot->answerReserved = bytes;
    m_answerBytesInUse += bytes;
    write(socket, answer, head);
}

void HttpServer::write(Socket& socket, const common::Response& answer, const QByteArray& kept) {
    Q_ASSERT(answer.form != common::Response::Form::Page); // DynamicPageAnswer gave it its head
    QByteArray head = kept.isEmpty() ? answer.head() : kept;
    // The last line of the head, before the blank one that ends it.
    if (socket.secure() && m_config.hstsMaxAge > 0 && head.endsWith("\r\n\r\n"))
        head.insert(head.size() - 2, QByteArrayLiteral("Strict-Transport-Security: max-age=") +
                                         QByteArray::number(m_config.hstsMaxAge) +
                                         QByteArrayLiteral("\r\n"));
    if (answer.hasFile())
        socket.SendStream(head, answer.file.file, answer.file.length);
    else
        socket.SendData(head, answer.body);
}

void HttpServer::sweepTimeouts() {
    const qint64 now = m_clock.elapsed();
    bool anyUsed = false;
    for (int k = 1; k <= m_connections.Count(); ++k) {
        clsConnection& slot = m_connections.Item(k);
        if (!slot.Used)
            continue;
        anyUsed = true;
        Socket& socket = slot.socket;
        const bool handshaking = socket.handshaking();
        if (handshaking || slot.reader.status() == RequestStatus::Incomplete) {
            const int limit = handshaking ? m_config.handshakeTimeoutMs : m_config.requestTimeoutMs;
            if (now - slot.acceptedAtMs < limit)
                continue;
            diagnostics::WriteTrace(
                QStringLiteral("[%1] %2 not complete after %3 ms: connection closed")
                    .arg(slot.RemoteAddress(),
                         handshaking ? QStringLiteral("TLS handshake") : QStringLiteral("Request"),
                         QString::number(limit)),
                diagnostics::Severity::Warning);
            socket.Close();
        } else if (slot.answerStalled(now, m_config.sendTimeoutMs)) {
            diagnostics::WriteTrace(
                QStringLiteral("[%1] Answer made no progress for %2 ms: connection dropped")
                    .arg(slot.RemoteAddress())
                    .arg(m_config.sendTimeoutMs),
                diagnostics::Severity::Warning);
            socket.Abort();
        }
    }
    if (!anyUsed)
        m_timeoutTimer.stop();
}

// --- Errors ---------------------------------------------------------------

quint64 HttpServer::generationOf(int index) const {
    return index > 0 && index <= sckServer->UBound() ? (*sckServer)(index).generation() : 0;
}

template <typename Handler>
void HttpServer::guarded(int index, const char* event, Handler&& handler) {
    const quint64 generation = generationOf(index);
    try {
        handler();
    } catch (const common::Error& e) {
        handleError(index, generation, event, e.number(), e.description());
    } catch (const std::exception& e) {
        handleError(index, generation, event, 0, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        handleError(index, generation, event, 0, QStringLiteral("unknown error"));
    }
}

void HttpServer::handleError(int index, quint64 generation, const char* event, int number,
                             const QString& description) {
    try {
        // The client the error belongs to may have gone while the page ran.
        const bool sameClient = index > 0 && generationOf(index) == generation;
        const clsConnection* slot = sameClient ? slotOf(index) : nullptr;
        const QString ip = slot ? slot->RemoteAddress() : QString();
        diagnostics::WriteTrace(QStringLiteral("Error %1 in %2 [%3]: %4")
                                    .arg(number)
                                    .arg(QLatin1String(event), ip, description),
                                diagnostics::Severity::Error);
        if (!sameClient)
            return;
        Socket& socket = (*sckServer)(index);
        if (!socket.answerQueued() && socket.State() == Socket::STATE_CONNECTED)
            write(socket, ErrorAnswer(500, m_config, QDateTime::currentDateTimeUtc()));
        else if (!socket.sending())
            socket.Close();
    } catch (...) {
        // Nothing may leave an event handler.
    }
}

} // namespace server
