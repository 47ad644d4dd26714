#include "webapp/webapplication.h"

#include "webapp/applicationservice.h"
#include "webapp/auth/sessioncookie.h"
#include "webapp/forms/formentry.h"
#include "webapp/forms/formtoken.h"
#include "webapp/pages/accesscheck.h"
#include "webapp/pages/adminpage.h"
#include "webapp/pages/applicationpages.h"
#include "webapp/pages/auditpage.h"
#include "webapp/pages/chartpages.h"
#include "webapp/pages/errorpages.h"
#include "webapp/pages/exports.h"
#include "webapp/pages/formpages.h"
#include "webapp/pages/helppages.h"
#include "webapp/pages/printpages.h"
#include "webapp/pages/querypages.h"
#include "webapp/pages/roweditpages.h"
#include "webapp/pages/signinpages.h"
#include "webapp/pages/tablepages.h"
#include "webapp/pages/userspage.h"
#include "webappapi/answertext.h"
#include "webappapi/contextkeys.h"

#include <QHash>

namespace webapp {

namespace {

using PageHandler = Response (*)(const PageEnvironment&);

// Routing is by form fields only: a POST's address never reaches the component.
Response route(const PageEnvironment& env) {
    static const QHash<QString, PageHandler> pages = {
        {QStringLiteral("page"), NamedPage},        {QStringLiteral("tables"), TablesPage},
        {QStringLiteral("table"), TablePage},       {QStringLiteral("row"), RowPage},
        {QStringLiteral("queries"), QueriesPage},   {QStringLiteral("query"), QueryPage},
        {QStringLiteral("forms"), FormsPage},       {QStringLiteral("form"), FormPage},
        {QStringLiteral("saved"), SavedPage},       {QStringLiteral("export"), ExportPage},
        {QStringLiteral("admin"), AdminPage},       {QStringLiteral("help"), HelpPage},
        {QStringLiteral("signin"), SignInPage},     {QStringLiteral("signout"), SignOutPage},
        {QStringLiteral("password"), PasswordPage}, {QStringLiteral("setup"), SetupPage},
        {QStringLiteral("users"), UsersPage},       {QStringLiteral("audit"), AuditPage},
        {QStringLiteral("new"), NewRowPage},        {QStringLiteral("edit"), EditRowPage},
        {QStringLiteral("delete"), DeleteRowPage},  {QStringLiteral("print"), PrintPage},
        {QStringLiteral("charts"), ChartsPage},     {QStringLiteral("chart"), ChartPage},
    };
    const QString page = env.field(QStringLiteral("page"));
    // A form's own fields have their rules and messages; any other field must be fit to
    // use as it came, or the request does nothing.
    const bool form = page == QLatin1String("form");
    if (const auto unusable = FindUnusableField(env.context, [form](const QString& name) {
            return form && name.startsWith(FORM_FIELD_PREFIX);
        }))
        return UnusableFieldPage(env, *unusable);
    if (env.field(QStringLiteral("fn")) == QLatin1String("help"))
        return HelpPage(env);
    if (page.isEmpty())
        return HomePage(env);
    const PageHandler handler = pages.value(page);
    if (!handler)
        return NotFoundPage(env);
    if (std::optional<Response> refused = CheckAccess(page, env))
        return *refused;
    return handler(env);
}

// What the frame shows of the user.
FrameUser frameUser(const Identity& identity, const AccessRules& rules,
                    const RequestContext& request) {
    FrameUser user;
    user.name = identity.user;
    user.tables = rules.allowsAny(identity.role, ObjectKind::Table);
    user.queries = rules.allowsAny(identity.role, ObjectKind::Query);
    user.forms = rules.allowsAny(identity.role, ObjectKind::Form);
    user.admin = identity.role >= Role::Admin;
    user.signedIn = identity.signedIn();
    user.signIn = identity.anonymous() && IsApplicationMode(request);
    if (user.signIn)
        user.signInReturn = SignInReturnAddress(request);
    if (user.signedIn)
        user.signOutToken = ActionToken(request.text(bridge::keys::SECRET),
                                        QStringLiteral("signout"), identity.formBinding());
    return user;
}

// Moves the Set-Cookie lines of a page's answer to the context, where the web server takes
// them for whatever answer goes out; a cookie of an ended session is removed.
void handOverCookies(Response& response, const Identity& identity, RequestContext& request) {
    QStringList cookies;
    response.headers.removeIf([&cookies](const QPair<QByteArray, QByteArray>& line) {
        if (line.first.compare("Set-Cookie", Qt::CaseInsensitive) != 0)
            return false;
        cookies << QString::fromLatin1(line.second);
        return true;
    });
    if (cookies.isEmpty() && identity.endedSession)
        cookies << SessionCookie({}, request.secure());
    if (!cookies.isEmpty())
        request.setCookies(cookies);
}

} // namespace

namespace {
// The data server's last alive signal as the web server saw it; invalid when never seen.
QDateTime lastAliveOf(const RequestContext& request) {
    const common::DictionaryPtr server = request.server();
    const common::Value alive =
        server ? server->item(bridge::keys::DATA_SERVER_LAST_ALIVE) : common::Value();
    return alive.isDate() ? alive.date() : QDateTime();
}
} // namespace

WebApp::WebApp(std::shared_ptr<ApplicationService> service) : m_service(std::move(service)) {}

QString WebApp::className() const {
    return QString::fromLatin1(bridge::WEB_APPLICATION_CLASS);
}

void WebApp::SetTranslation(pugi::xml_node root) {
    m_labels = Labels(root, m_service->labels());
}

common::Value WebApp::ProcessRequest(common::DictionaryPtr& context) {
    return bridge::ResponseText(Answer(context));
}

common::Response WebApp::Answer(common::DictionaryPtr& context) {
    const bridge::ApplicationSettings& settings = m_service->settings();
    RequestContext request(context, settings);
    DataClient client(settings.outQueueFolder, settings.inQueueFolder, m_service->replies(),
                      m_service->sweep());
    client.heed(m_service->silence(), lastAliveOf(request));
    const RemoteDatabase database(std::move(client));
    const AccountStore accounts(database);
    const std::shared_ptr<const ApplicationService::Rules> rules = m_service->accessRules();
    // Who asks is known before anything is shown: the menu depends on it. When the data
    // server cannot tell, the page says so to an anonymous visitor.
    Identity identity;
    std::optional<DataUnavailable> unavailable;
    std::optional<DataFailure> failed;
    try {
        identity = ResolveIdentity(request, accounts, rules->rules);
    } catch (const DataUnavailable& e) {
        unavailable = e;
    } catch (const DataFailure& failure) {
        failed = failure;
    }
    const Frame frame(m_labels, request, frameUser(identity, rules->rules, request));
    const PageEnvironment env{m_labels,   request,  frame,        database,
                              *m_service, identity, rules->rules, accounts};
    Response response;
    try {
        if (unavailable)
            throw *unavailable;
        if (failed)
            throw *failed;
        response = route(env);
    } catch (const DataUnavailable& e) {
        response = UnavailablePage(env, e.reason);
    } catch (const DataFailure& failure) {
        response = FailurePage(env, failure);
    }
    handOverCookies(response, identity, request);
    // Failed sign-ins of the last moments, written together (FailedSignInAudit).
    try {
        m_service->failedSignIns().flush(accounts);
    } catch (const DataUnavailable&) {
    } catch (const DataFailure&) {
        // Kept for the next request: the page itself was answered.
    }
    // Sent by the web server, which reads the address from the context.
    if (const QString redirect = RedirectOf(response); !redirect.isEmpty()) {
        request.setRedirect(redirect);
        return Response::PageBody({});
    }
    return ComponentAnswer(response);
}

} // namespace webapp
