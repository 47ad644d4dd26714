#include "bridge/dynamicpages.h"

#include "bridge/newcontext.h"
#include "bridge/pagecontext.h"
#include "bridge/redirectanswer.h"
#include "bridge/requestobject.h"
#include "bridge/setcookies.h"
#include "bridge/webapplicationobject.h"
#include "common/dictionary.h"
#include "common/text.h"
#include "diagnostics/trace.h"
#include "webappapi/contextkeys.h"

#include <QElapsedTimer>

namespace bridge {

common::Response DataServerNotRunningAnswer() {
    common::Response r(500, QByteArrayLiteral("Data Server is not running."));
    r.add("Connection", QByteArrayLiteral("close"));
    r.body = QByteArrayLiteral("Data Server is not running. Check the database options and "
                               "restart the web server.\r\n\r\n");
    return r;
}

namespace {
common::Response answerOf(WebApplication& component, common::DictionaryPtr& context,
                          const QElapsedTimer& clock) {
    common::Response answer = component.Answer(context);
    // The component may have replaced the context itself; it is read as it stands now.
    const QString redirect = context ? common::ToText(context->item(keys::REDIRECT)) : QString();
    if (!redirect.isEmpty())
        answer = RedirectAnswer(redirect);
    if (context)
        AddCookies(answer, common::ToText(context->item(keys::SET_COOKIE)));
    diagnostics::WriteTrace(QStringLiteral("Processing time"), double(clock.nsecsElapsed()) / 1e9);
    return answer;
}
} // namespace

server::PageWork DynamicPages::Prepare(const server::DynamicRequest& request) {
    if (!m_isDataServerRunning())
        return [] { return DataServerNotRunningAnswer(); };
    // Monotonic: a request that spans midnight, or a clock set back, still gives its real time.
    QElapsedTimer clock;
    clock.start();
    // Only what this thread owns is read here; the request object, the component and the
    // context are made on the worker, from copies.
    ServerStatus status = m_context.Server ? m_context.Server() : ServerStatus{};
    status.DataServerRunning = true; // or the request would not have come this far
    return [request, context = m_context, entries = m_contexts.templateFor(m_context),
            status = std::move(status), clock]() {
        const common::DictionaryPtr requestObject = CreateRequestObject(request, context);
        const std::shared_ptr<WebApplication> component = GetWebApplicationObject();
        const common::DictionaryPtr& application = context.ApplicationDictionary;
        application->setItem(keys::APPLICATION_FOLDER, context.ApplicationPath);
        application->setItem(keys::EXCEL_INSTALLED, context.ExcelInstalled);
        common::DictionaryPtr pageContext =
            ContextMaker::NewContext(entries, status, requestObject);
        requestObject->item(keys::SERVER_VARIABLES)
            .dictionary()
            ->setItem(keys::REMOTE_HOST, request.remoteAddress);
        // The time a page waited for a worker counts as its processing time, as users see it.
        return answerOf(*component, pageContext, clock);
    };
}

} // namespace bridge
