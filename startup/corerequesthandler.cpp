#include "startup/corerequesthandler.h"

#include "common/error.h"

namespace startup {

bool CoreRequestHandler::IsDataServerRunning() {
    return m_isDataServerRunning && m_isDataServerRunning();
}

QString CoreRequestHandler::ProcessRequest(const QString& getdata, const QString& postdata,
                                           const QString& useragent, const QString& method,
                                           const QString& remoteip) {
    if (!m_pages)
        throw common::Error(common::ERR_PROGRAM,
                            QStringLiteral("No web application is installed for dynamic pages."));
    return m_pages(getdata, postdata, useragent, method, remoteip);
}

} // namespace startup
