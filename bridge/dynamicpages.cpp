#include "bridge/dynamicpages.h"

#include "common/error.h"

namespace bridge {

QString DataServerNotRunningAnswer() {
    return QStringLiteral("HTTP/1.1 500 Data Server is not running.\r\nConnection: close\r\n\r\n"
                          "Data Server is not running. Check the database options and restart the "
                          "web server.\r\n\r\n");
}

QString DynamicPages::ProcessRequest(const server::DynamicRequest&) {
    if (!m_isDataServerRunning())
        return DataServerNotRunningAnswer();
    throw common::Error(common::ERR_PROGRAM,
                        QStringLiteral("No web application is installed for dynamic pages."));
}

} // namespace bridge
