#include "webapp/webapplication.h"

#include "webapp/applicationservice.h"
#include "webapp/forms/formentry.h"
#include "webapp/pages/adminpage.h"
#include "webapp/pages/applicationpages.h"
#include "webapp/pages/errorpages.h"
#include "webapp/pages/exports.h"
#include "webapp/pages/formpages.h"
#include "webapp/pages/helppages.h"
#include "webapp/pages/querypages.h"
#include "webapp/pages/tablepages.h"
#include "webappapi/answertext.h"
#include "webappapi/contextkeys.h"

#include <QHash>

namespace webapp {

namespace {

using PageHandler = Response (*)(const PageEnvironment&);

// Routing is by form fields only: a POST's address never reaches the component.
Response route(const PageEnvironment& env) {
    static const QHash<QString, PageHandler> pages = {
        {QStringLiteral("page"), NamedPage},      {QStringLiteral("tables"), TablesPage},
        {QStringLiteral("table"), TablePage},     {QStringLiteral("row"), RowPage},
        {QStringLiteral("queries"), QueriesPage}, {QStringLiteral("query"), QueryPage},
        {QStringLiteral("forms"), FormsPage},     {QStringLiteral("form"), FormPage},
        {QStringLiteral("saved"), SavedPage},     {QStringLiteral("export"), ExportPage},
        {QStringLiteral("admin"), AdminPage},     {QStringLiteral("help"), HelpPage},
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
    return handler ? handler(env) : NotFoundPage(env);
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
    const Frame frame(m_labels, request);
    DataClient client(settings.outQueueFolder, settings.inQueueFolder, m_service->replies(),
                      m_service->sweep());
    client.heed(m_service->silence(), lastAliveOf(request));
    const RemoteDatabase database(std::move(client));
    const PageEnvironment env{m_labels, request, frame, database, *m_service};
    Response response;
    try {
        response = route(env);
    } catch (const DataUnavailable& e) {
        response = UnavailablePage(env, e.reason);
    } catch (const DataFailure& failure) {
        response = FailurePage(env, failure);
    }
    // Sent by the web server, which reads the address from the context.
    if (const QString redirect = RedirectOf(response); !redirect.isEmpty()) {
        request.setRedirect(redirect);
        return Response::PageBody({});
    }
    return ComponentAnswer(response);
}

} // namespace webapp
