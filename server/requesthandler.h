#pragma once

#include <QString>

namespace server {

// The one narrow interface to dynamic pages: the HTTP layer never sees how a
// page is made.
class RequestHandler {
public:
    virtual ~RequestHandler() = default;
    virtual bool IsDataServerRunning() = 0;
    // Page text (one char per byte, Windows-1252): a full answer starting with a
    // status line, or an HTML body. May throw common::Error or std::exception.
    virtual QString ProcessRequest(const QString& getdata, const QString& postdata,
                                   const QString& useragent, const QString& method,
                                   const QString& remoteip) = 0;
};

} // namespace server
