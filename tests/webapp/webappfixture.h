#pragma once

// Drives the web application component the way the web server will: a context Dictionary
// per request, a real dbsvr on a copy of the staged example application, real queue folders.

#include "common/dictionary.h"
#include "tests/support/processes.h"
#include "webapp/response.h"
#include "webappapi/webapplication.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <pugixml.hpp>

namespace webapp {
class ApplicationService;
}

namespace webapptest {

// The component's answer, split as a browser would see it.
struct Page {
    int status = 200;
    QHash<QByteArray, QByteArray> headers; // names lower-cased; empty for a plain page body
    QByteArray raw;                        // the bytes as sent (one per character)
    QByteArray content;                    // the body's bytes
    QString body;                          // the body as UTF-8 text
    QString redirect;                      // the context's "Redirect" after the call
    QStringList cookies;                   // the context's "SetCookie" lines after the call
    bool complete = false;                 // the component wrote its own status line
};

// The database the example application is served from: SQLite, or with
// QV_TEST_DATABASE=postgresql in the environment a copy on a PostgreSQL server of
// the tests' own (the suite runs once each way).
bool OnPostgresql();

// A copy of the staged example application with a data server serving it.
class ExampleApplication final {
public:
    // extraQueries: <Query> elements added to the copy's dataserver.xml; extraSql and
    // extraPostgresqlSql: run on the copy's database (the one of its kind) before the
    // data server starts.
    explicit ExampleApplication(const QString& extraQueries = {}, const char* extraSql = nullptr,
                                const char* extraPostgresqlSql = nullptr);
    ~ExampleApplication();
    ExampleApplication(const ExampleApplication&) = delete;
    ExampleApplication& operator=(const ExampleApplication&) = delete;

    bool ready() const { return m_ready; }
    QString folder() const { return m_app; }
    QString inQueue() const { return m_results; }
    QString outQueue() const { return m_requests; }
    qint64 dataServerPid() const { return m_process ? m_process->pid() : 0; }
    // Runs sql on the application's database straight through the database's own library,
    // as another program would; false (and a test failure) when it fails.
    bool runSql(const char* sql) const;

private:
    QTemporaryDir m_dir;
    QString m_app, m_requests, m_results;
    QString m_pgDatabase; // on PostgreSQL: the database's name on the tests' server
    QString m_parentMutex, m_runningMutex;
    int m_parentHandle = 0;
    std::unique_ptr<support::ChildProcess> m_process;
    bool m_ready = false;
};

// The web server's side of the calls: one Application Dictionary and one web application
// service for the run (configured before every request from the fields below), a new context
// per request, the language document handed to every new component.
class Browser final {
public:
    static const QString SECRET;

    explicit Browser(const ExampleApplication& app, const QString& languageXml = {});
    // Without a data server: every data request fails at once.
    Browser(const QString& applicationFolder, const QString& languageXml);

    // A GET with this query string (as sent on the wire), or a POST with this body.
    Page get(const QString& query, const QString& remoteHost = QStringLiteral("127.0.0.1"));
    Page post(const QString& body);
    // A GET answered through the component's typed call, as the web server makes it.
    webapp::Response answer(const QString& query);
    // The last context handed to the component.
    common::DictionaryPtr lastContext() const { return m_lastContext; }
    common::DictionaryPtr application() const { return m_application; }
    webapp::ApplicationService& service() const { return *m_service; }
    // The run's own temporary folder the service is told of.
    QString instanceFolder() const { return m_instanceFolder.path(); }

    QString inQueue;
    QString outQueue;
    QString secret = SECRET;
    // The data server's last alive signal the pages are told of; unset: the moment of each.
    std::optional<QDateTime> lastAlive;
    // Who the web server says asks: by default the program's own account on this machine, an
    // administrator in both user modes, as a browser on the desktop is. anonymous() clears it.
    QString remoteUser;
    QString authType = QStringLiteral("Local");
    QString userMode = QStringLiteral("DETECT");
    // The Cookie header sent; the session cookie of every answer that sets one is kept here,
    // as a browser keeps it.
    QString cookie;
    QString remoteAddress; // REMOTE_ADDR; "" sends the remote host
    void anonymous() {
        remoteUser.clear();
        authType.clear();
    }

private:
    Page call(const common::DictionaryPtr& request, const QString& method,
              const QString& remoteHost);
    common::DictionaryPtr newContext(const common::DictionaryPtr& request, const QString& method,
                                     const QString& remoteHost);
    std::shared_ptr<bridge::WebApplication> newComponent();

    pugi::xml_document m_language;
    QTemporaryDir m_instanceFolder;
    QString m_applicationFolder;
    std::shared_ptr<webapp::ApplicationService> m_service;
    common::DictionaryPtr m_application;
    common::DictionaryPtr m_lastContext;
};

// Percent-encodes a value for a query string or form body, as a browser sends UTF-8.
QString Enc(const QString& value);
// The value of a hidden or text input named name in a page ("" when there is none).
QString InputValue(const QString& html, const QString& name);
// The hrefs of the links whose text is text, in page order; the first of them.
QStringList LinksTo(const QString& html, const QString& text);
QString LinkTo(const QString& html, const QString& text);
// The query string of an address ("/?a=b" gives "a=b"), with "&amp;" read back.
QString QueryOf(const QString& address);
// A form body that posts the hidden inputs of the entry form in html (the first form when it
// has none), with the given fields replaced or added (the hidden routing fields and the token
// are taken as they are).
QString FormBody(const QString& html, const QHash<QString, QString>& fields);

} // namespace webapptest
