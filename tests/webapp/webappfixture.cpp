#include "webappfixture.h"

#include "bridge/formdata.h"
#include "common/codepage.h"
#include "common/files.h"
#include "common/guid.h"
#include "common/objectfactory.h"
#include "common/text.h"
#include "contract/contract.h"
#include "contract/namedmutex.h"
#include "tests/dbsvr/pgcluster.h"
#include "tests/support/programfolder.h"
#include "webapp/applicationservice.h"
#include "webapp/auth/identity.h"
#include "webapp/rendering/html.h"
#include "webappapi/webapplication.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace webapptest {

namespace {

bool copyFolder(const QString& from, const QString& to) {
    bool ok = QDir().mkpath(to);
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + file.mid(from.size());
        ok = QDir().mkpath(QFileInfo(target).path()) && QFile::copy(file, target) && ok;
    }
    return ok;
}

// Loads the example (and extra SQL) into a new database on the tests' PostgreSQL server and
// points the application's dataserver.xml at it; the database's name, "" when it failed.
QString useSharedPostgresql(const QString& app, const char* extraSql) {
    PgCluster* cluster = PgCluster::Shared();
    EXPECT_TRUE(cluster) << PgCluster::SkipReason().toStdString();
    if (!cluster)
        return {};
    const QString database = cluster->createDatabase(
        QString::fromUtf8(common::ReadFile(app + "/sample-postgresql.sql")) + QLatin1Char('\n') +
        QString::fromUtf8(extraSql ? extraSql : ""));
    EXPECT_FALSE(database.isEmpty()) << cluster->error().toStdString();
    const QString config = app + "/dataserver.xml";
    QString xml = QString::fromUtf8(common::ReadFile(config));
    xml.replace(QRegularExpression("<Database>[^<]*</Database>"),
                "<Database type=\"postgresql\">" +
                    cluster->connectionString(database).toHtmlEscaped() + "</Database>");
    common::SaveFile(config, xml.toUtf8());
    return database;
}

Page parse(const QString& answer) {
    Page page;
    page.raw = common::ToCodePage(answer);
    if (!page.raw.startsWith("HTTP/1.")) {
        page.content = page.raw;
        page.body = QString::fromUtf8(page.raw);
        return page;
    }
    page.complete = true;
    const qsizetype end = page.raw.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = page.raw.left(end).split('\n');
    page.status = lines.first().split(' ').value(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        page.headers.insert(line.left(colon).toLower(), line.mid(colon + 1).trimmed());
    }
    page.content = page.raw.mid(end + 4);
    page.body = QString::fromUtf8(page.content);
    return page;
}

} // namespace

bool OnPostgresql() {
    return qEnvironmentVariable("QV_TEST_DATABASE") == QLatin1String("postgresql");
}

ExampleApplication::ExampleApplication(const QString& extraQueries, const char* extraSql,
                                       const char* extraPostgresqlSql) {
    const QString requests = m_dir.filePath("queue/requests");
    const QString results = m_dir.filePath("queue/results");
    m_app = m_dir.filePath("application");
    m_requests = requests;
    m_results = results;
    bool copied = copyFolder(support::StageDir() + "/examples/microsoft access", m_app) &&
                  QDir().mkpath(requests) && QDir().mkpath(results);
    EXPECT_TRUE(copied);
    if (!extraQueries.isEmpty()) {
        const QString config = m_app + "/dataserver.xml";
        QString xml = QString::fromUtf8(common::ReadFile(config));
        xml.replace("</Queries>", extraQueries + "</Queries>");
        common::SaveFile(config, xml.toUtf8());
    }
    if (OnPostgresql()) {
        EXPECT_TRUE(!extraSql || extraPostgresqlSql) << "no PostgreSQL version of the extra SQL";
        m_pgDatabase = useSharedPostgresql(m_app, extraPostgresqlSql);
        copied = !m_pgDatabase.isEmpty() && copied;
    } else if (extraSql) {
        EXPECT_TRUE(runSql(extraSql));
    }
    m_parentMutex = common::NewGuidString();
    m_runningMutex = common::NewGuidString();
    m_parentHandle = dataserver::CreateInstanceMutex(m_parentMutex);
    const QStringList lines = {"parentmutex=\"" + m_parentMutex + "\"",
                               "runningmutex=\"" + m_runningMutex + "\"",
                               "inqueue=\"" + requests + "\"",
                               "outqueue=\"" + results + "\"",
                               "alivefile=\"" + m_dir.filePath("alive.xml") + "\"",
                               "messagefile=\"" + m_dir.filePath("message.xml") + "\"",
                               "configfolder=\"" + m_app + "\""};
    const QString parameters = m_dir.filePath("parameters.txt");
    common::SaveFile(parameters, common::ToCodePage(lines.join("\r\n")));
    // Its log goes into the test's folder, not into the staged program folder.
    m_process = std::make_unique<support::ChildProcess>(
        support::StageDir() + "/dbsvr", QStringList{"parameterfile=" + parameters, "hidden"},
        QStringList{QString::fromLatin1(dataserver::LOGS_FOLDER_VARIABLE) + QLatin1Char('=') +
                    m_dir.filePath("Logs")});
    m_ready = copied && m_process->started() &&
              support::Eventually([&] { return dataserver::MutexExists(m_runningMutex); });
    EXPECT_TRUE(m_ready);
}

bool ExampleApplication::runSql(const char* sql) const {
    if (OnPostgresql()) {
        PgCluster* cluster = PgCluster::Shared();
        const bool done = cluster && cluster->exec(m_pgDatabase, QString::fromUtf8(sql));
        EXPECT_TRUE(done) << (cluster ? cluster->error().toStdString() : "no PostgreSQL");
        return done;
    }
    sqlite3* db = nullptr;
    bool done = sqlite3_open((m_app + "/sample.db").toUtf8().constData(), &db) == SQLITE_OK;
    done = done && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    EXPECT_TRUE(done) << sqlite3_errmsg(db);
    sqlite3_close(db);
    return done;
}

ExampleApplication::~ExampleApplication() {
    if (m_parentHandle > 0)
        dataserver::DestroyInstanceMutex(m_parentHandle);
    if (m_process)
        m_process->finish(5000);
}

const QString Browser::SECRET = QStringLiteral("test secret of this run");

Browser::Browser(const ExampleApplication& app, const QString& languageXml)
    : Browser(app.folder(), languageXml) {
    inQueue = app.inQueue();
    outQueue = app.outQueue();
}

Browser::Browser(const QString& applicationFolder, const QString& languageXml)
    : m_applicationFolder(applicationFolder),
      m_service(std::make_shared<webapp::ApplicationService>()) {
    remoteUser = webapp::ProgramAccount();
    webapp::RegisterWebApplication(m_service);
    const QString xml =
        languageXml.isEmpty()
            ? QString::fromUtf8(common::ReadFile(support::StageDir() + "/language/en.xml"))
            : languageXml;
    EXPECT_TRUE(m_language.load_string(xml.toUtf8().constData()));
    m_application = common::NewDictionary();
    m_application->setItem("ApplicationFolder", applicationFolder);
}

Page Browser::get(const QString& query, const QString& remoteHost) {
    return call(bridge::ParseFormData(query), QStringLiteral("GET"), remoteHost);
}

Page Browser::post(const QString& body) {
    return call(bridge::ParseFormData(body), QStringLiteral("POST"), QStringLiteral("127.0.0.1"));
}

webapp::Response Browser::answer(const QString& query) {
    common::DictionaryPtr context = newContext(bridge::ParseFormData(query), QStringLiteral("GET"),
                                               QStringLiteral("127.0.0.1"));
    return newComponent()->Answer(context);
}

std::shared_ptr<bridge::WebApplication> Browser::newComponent() {
    // As the web server does: a new component per request, created by class name; with this
    // browser's own service, when a test has several.
    webapp::RegisterWebApplication(m_service);
    const auto component = std::dynamic_pointer_cast<bridge::WebApplication>(
        common::CreateObjectByName("Quorvex.WebApp"));
    EXPECT_TRUE(component);
    component->SetTranslation(m_language.document_element());
    return component;
}

Page Browser::call(const common::DictionaryPtr& request, const QString& method,
                   const QString& remoteHost) {
    common::DictionaryPtr context = newContext(request, method, remoteHost);
    Page page = parse(common::ToText(newComponent()->ProcessRequest(context)));
    page.redirect = common::ToText(context->item("Redirect"));
    const QString setCookie = common::ToText(context->item("SetCookie"));
    if (!setCookie.isEmpty())
        page.cookies = setCookie.split(QLatin1Char('\n'));
    for (const QString& line : page.cookies)
        if (line.startsWith(QStringLiteral("qvsession=")))
            cookie = line.contains(QStringLiteral("Max-Age=0"))
                         ? QString()
                         : line.section(QLatin1Char(';'), 0, 0);
    return page;
}

common::DictionaryPtr Browser::newContext(const common::DictionaryPtr& request,
                                          const QString& method, const QString& remoteHost) {
    m_service->configure({.applicationFolder = m_applicationFolder,
                          .inQueueFolder = inQueue,
                          .outQueueFolder = outQueue,
                          .instanceFolder = m_instanceFolder.path(),
                          .urlPrefix = {}});
    m_application->setItem("ExcelInstalled", false);
    const common::DictionaryPtr variables = common::NewDictionary();
    variables->Add("PATH_TRANSLATED", m_application->item("ApplicationFolder"));
    variables->Add("SCRIPT_NAME", "/");
    variables->Add("HTTP_USER_AGENT", "webapp test");
    variables->Add("REQUEST_METHOD", method);
    variables->Add("REMOTE_HOST", remoteHost);
    variables->Add("HTTP_COOKIE", cookie);
    variables->Add("REMOTE_USER", remoteUser);
    variables->Add("AUTH_TYPE", authType);
    variables->Add("REMOTE_ADDR", remoteAddress.isEmpty() ? remoteHost : remoteAddress);
    variables->Add("HTTPS", "off");
    request->Add("ServerVariables", variables);

    const common::DictionaryPtr server = common::NewDictionary();
    server->Add("Version", "1.0.202");
    server->Add("StartTime", QDateTime::currentDateTime());
    server->Add("Port", 8080);
    server->Add("TotalRequests", 17);
    server->Add("InstanceName", "test-instance");
    server->Add("LanguageCode", "en");
    server->Add("DataServerRunning", true);
    server->Add("DataServerProcessId", 4711);
    server->Add("DataServerLastAlive", lastAlive.value_or(QDateTime::currentDateTime()));
    server->Add("DataServerRestarts", 0);
    server->Add("TraceEntries", common::Value::Array{"first <entry>", "second entry"});

    common::DictionaryPtr context = common::NewDictionary();
    context->Add("PhysicalServerRoot", support::StageDir());
    context->Add("PhysicalDocumentRoot", support::StageDir() + "/wwwroot");
    context->Add("Application", m_application);
    context->Add("Request", request);
    context->Add("Messages", common::NewDictionary());
    context->Add("ThemeFolder", "/themes");
    context->Add("ImageFolder", "/images");
    context->Add("AdminFolder", "/admin");
    context->Add("RelativePath", "");
    context->Add("Debug", false);
    context->Add("DefaultUserMode", userMode);
    context->Add("Secret", secret);
    context->Add("TempFolder", QDir::tempPath());
    context->Add("SessionTimeout", 20);
    context->Add("InQueueFolder", inQueue);
    context->Add("OutQueueFolder", outQueue);
    context->Add("session", common::NewDictionary());
    context->Add("Server", server);
    m_lastContext = context;
    return context;
}

QString Enc(const QString& value) {
    return common::FromCodePage(QUrl::toPercentEncoding(value));
}

QString InputValue(const QString& html, const QString& name) {
    const QRegularExpression input("<input[^>]*name=\"" + QRegularExpression::escape(name) +
                                   "\"[^>]*value=\"([^\"]*)\"");
    const auto m = input.match(html);
    return m.hasMatch() ? webapp::HtmlUnescape(m.captured(1)) : QString();
}

QStringList LinksTo(const QString& html, const QString& text) {
    // Other attributes may follow the address (a key's title).
    const QRegularExpression link("<a href=\"([^\"]*)\"[^>]*>" + QRegularExpression::escape(text) +
                                  "</a>");
    QStringList hrefs;
    for (const auto& m : link.globalMatch(html))
        hrefs.append(webapp::HtmlUnescape(m.captured(1)));
    return hrefs;
}

QString LinkTo(const QString& html, const QString& text) {
    return LinksTo(html, text).value(0);
}

QString QueryOf(const QString& address) {
    const qsizetype q = address.indexOf('?');
    return q < 0 ? QString() : address.mid(q + 1);
}

QString FormBody(const QString& html, const QHash<QString, QString>& fields) {
    static const QRegularExpression hidden(
        "<input type=\"hidden\" name=\"([^\"]*)\" value=\"([^\"]*)\">");
    // The page's entry form, not the menu's sign-out form before it.
    const qsizetype entry = html.indexOf("<form class=\"entry\"");
    const QString form = entry < 0 ? html : html.mid(entry, html.indexOf("</form>", entry) - entry);
    QStringList parts;
    for (const auto& m : hidden.globalMatch(form))
        if (!fields.contains(m.captured(1)))
            parts.append(Enc(m.captured(1)) + "=" + Enc(webapp::HtmlUnescape(m.captured(2))));
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        parts.append(Enc(it.key()) + "=" + Enc(it.value()));
    return parts.join('&');
}

} // namespace webapptest
