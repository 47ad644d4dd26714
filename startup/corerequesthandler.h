#pragma once

#include "server/requesthandler.h"

#include <functional>

namespace startup {

// Makes the answer of one dynamic request (query string, body, user agent,
// method, client address); installed by whoever brings the web application in.
using DynamicPages =
    std::function<QString(const QString& getdata, const QString& postdata, const QString& useragent,
                          const QString& method, const QString& remoteip)>;

// The HTTP layer's view of the core: asks the data server supervision whether
// dynamic pages may run (isDataServerRunning), and hands them to the installed
// dynamic pages.
class CoreRequestHandler final : public server::RequestHandler {
public:
    explicit CoreRequestHandler(std::function<bool()> isDataServerRunning)
        : m_isDataServerRunning(std::move(isDataServerRunning)) {}

    void setDynamicPages(DynamicPages pages) { m_pages = std::move(pages); }

    bool IsDataServerRunning() override;
    // Raises 1000 while no dynamic pages are installed.
    QString ProcessRequest(const QString& getdata, const QString& postdata,
                           const QString& useragent, const QString& method,
                           const QString& remoteip) override;

private:
    std::function<bool()> m_isDataServerRunning;
    DynamicPages m_pages;
};

} // namespace startup
