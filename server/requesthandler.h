#pragma once

#include "common/response.h"

#include <QString>

namespace server {

// One dynamic request as the HTTP layer hands it over.
struct DynamicRequest {
    QString method;        // "POST" when the request has a Content-Length, else "GET"
    QString query;         // the text after the first "?" of a GET path
    QString body;          // the body of a POST
    QString userAgent;     // the User-Agent header line
    QString remoteAddress; // the client's IP address
};

// The one narrow interface to dynamic pages: the HTTP layer never sees how a
// page is made, nor whether it can be made at all.
class RequestHandler {
public:
    virtual ~RequestHandler() = default;
    // The answer: a page body (Response::Form::Page), which goes out behind the HTTP
    // layer's own "200 OK" head, or a complete answer. May throw common::Error or
    // std::exception.
    virtual common::Response ProcessRequest(const DynamicRequest& request) = 0;
};

} // namespace server
