#pragma once

#include "server/clsconnections.h"
#include "server/datedlines.h"
#include "server/httpconfig.h"
#include "server/requesthandler.h"
#include "server/requestreader.h"
#include "server/staticfiles.h"
#include "server/tls/tlsacceptor.h"
#include "server/workerpool.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

namespace server {

class Listener;
class Socket;
class SocketArray;
struct clsHeader;

// What StartServer found: listening, no port set, the port in use, or another
// error (traced here; the caller shows nothing for it).
enum class ListenOutcome { Listening, NoPort, PortInUse, OtherError };

// Which of the two listeners: HTTP (the socket array's element 0) or HTTPS.
enum class Scheme { Http, Https };

// The HTTP server: the listener and the connection slots, reception of
// requests, routing to static files or the RequestHandler, and the answers.
// It knows no window: the core shows what StartServer reports and counts the
// connections it announces.
// One request and one answer per connection; the connection is closed once the
// answer has been sent. With HTTPS on, a second listener takes connections that speak TLS;
// they share the slots, limits and answers of the HTTP ones, byte for byte. Every event handler is
// a boundary for errors: a failure answers "500" (when nothing was sent yet) and is traced, never
// passed on. Everything here belongs to the event loop's thread, which never waits for a page: a
// dynamic page is prepared there, made on a worker thread of its pool, and its answer
// handed back to the loop, which sends it.
class HttpServer final : public QObject {
    Q_OBJECT
public:
    HttpServer(HttpConfig& config, RequestHandler& handler, QObject* parent = nullptr);
    ~HttpServer() override;

    // Listens on config().tcpPort; port 0 is not tried.
    ListenOutcome StartServer();
    // Listens on config().httpsPort when config().httpsEnabled, once loadCertificate has
    // succeeded; port 0 is not tried (NoPort, as when HTTPS is off).
    ListenOutcome StartSecureServer();
    // Reads config().httpsCertificate and httpsKey for the HTTPS listener; later changes of the
    // files are taken up by the next connection. Raises common::Error with a message that
    // says what is wrong with them.
    void loadCertificate();
    // Closes the connections still receiving a request (answers under way are
    // finished) and both listeners.
    void StopServer();
    void closeListener();
    void closeListener(Scheme scheme);
    // 0 on success, else a Winsock-style number: 10048 address in use, 10013 permission denied.
    int tryListen(int port, Scheme scheme = Scheme::Http);
    // The port actually listening, 0 when not.
    quint16 serverPort(Scheme scheme = Scheme::Http) const;
    HttpConfig& config() { return m_config; }

    // The slot table. A free slot is one whose socket is closed; the lowest free
    // one is reused first. 0 when all maxConnections() slots are in use.
    int GetFreeConnectionIndex();
    // config().maxConnections, lowered to what the descriptor limit allows
    // besides its reserve (ConnectionSlotsForDescriptorLimit).
    int maxConnections() const;
    // Position of the slot carrying socket intConnectionIndex, 0 when none.
    int GetConnection(int intConnectionIndex) const;
    const clsConnections& connections() const { return m_connections; }

    // The trace line of one request: "[ip] HTTP GET: " + path + query, as
    // RequestTraceText shows them (the key hidden, control characters escaped).
    void RegisterRequest(const QString& FilePath, const QString& querystring,
                         const QString& ipaddress);

Q_SIGNALS:
    // A connection request reached the listener (counted whether or not a slot takes it).
    void connectionCounted();

private:
    // Events of sckServer.
    void ConnectionRequest(int Index, qintptr requestID);
    void DataArrival(int Index);
    void SendComplete(int Index);
    void Close(int Index);

    ListenOutcome listenOn(int port, Scheme scheme);
    void acceptConnection(qintptr requestID, const Listener& from, bool secure);
    Listener& listener(Scheme scheme) const;
    // The HTTP listener sends everything to HTTPS (HttpRedirect, with HTTPS listening).
    bool redirectsToHttps(const Socket& socket) const;
    void redirectToHttps(int index, const clsHeader& header, const QByteArray& text,
                         const QDateTime& now);
    void awaitBody(clsConnection& slot);
    void releaseBody(clsConnection& slot);
    // The slot of socket index, which slot index carries; nullptr for the listener.
    clsConnection* slotOf(int index);
    void route(int index, const QByteArray& text, const QString& ip);
    void SendFile(int index, const clsHeader& header, const QDateTime& now);
    void sendDynamicPage(int index, const clsHeader& header, const QByteArray& text,
                         const QDateTime& now);
    WorkerPool& pool();
    // On a worker thread: makes the page and hands the outcome back to the loop.
    struct PageOutcome;
    void makePage(int index, quint64 connection, const PageWork& work);
    void pageMade(int index, quint64 connection, PageOutcome& outcome);
    void refuseRequest(int index, int status, const QByteArray& text);
    void sendWhenConnected(int index, const common::Response& answer);
    // Sends an answer. Its body, when held in memory and not kept (shared with the
    // static files' cache), counts against maxAnswerMemory until it has gone. head: the
    // answer's head as the cache keeps it; made here when empty.
    void sendAnswer(int index, const common::Response& answer, bool kept = false,
                    const QByteArray& head = {});
    // The one place where answers become bytes on the wire; an HTTPS answer gets its
    // Strict-Transport-Security line here.
    void write(Socket& socket, const common::Response& answer, const QByteArray& head = {});
    void releaseAnswer(clsConnection& slot);
    void sweepTimeouts();

    template <typename Handler> void guarded(int index, const char* event, Handler&& handler);
    void handleError(int index, quint64 generation, const char* event, int number,
                     const QString& description);
    quint64 generationOf(int index) const;

    HttpConfig& m_config;
    RequestHandler& m_handler;
    clsConnections m_connections;
    StaticFiles m_staticFiles;
    DatedLines m_dynamicLines;     // Server, Date and Expires of dynamic pages
    qint64 m_bodyBytesInUse = 0;   // POST bodies being received, by Content-Length
    qint64 m_answerBytesInUse = 0; // answers in memory not sent yet
    bool m_trimPending = false;    // a large body went: give the heap back once none is left
    QElapsedTimer m_clock;
    QTimer m_timeoutTimer;
    TlsAcceptor m_tls;
    std::unique_ptr<Listener> m_secureListener;
    std::unique_ptr<SocketArray> sckServer; // its sockets go before the state they report to
    std::unique_ptr<WorkerPool> m_pool;     // last: stopped first, while all it uses is there
};

} // namespace server
