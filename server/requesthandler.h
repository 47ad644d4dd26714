#pragma once

#include "common/response.h"
#include "server/requestorigin.h"

#include <QString>
#include <functional>

namespace server {

// One dynamic request as the HTTP layer hands it over.
struct DynamicRequest {
    QString method;        // "POST" when the request has a Content-Length, else "GET"
    QString query;         // the text after the first "?" of a GET path
    QString body;          // the body of a POST
    QString userAgent;     // the User-Agent header line
    QString remoteAddress; // the peer's IP address
    QString cookie;        // every Cookie line of the request, joined with "; "
    RequestOrigin origin;  // the client's address and where its user comes from
    bool https = false;    // whether the request came over TLS
};

// The part of a dynamic page that makes its answer: a page body (Response::Form::Page),
// which goes out behind the HTTP layer's own "200 OK" head, or a complete answer. It runs on
// a worker thread, as it may wait for the data server, and holds copies of what it needs
// of the server's state. May throw common::Error or std::exception.
using PageWork = std::function<common::Response()>;

// The one narrow interface to dynamic pages: the HTTP layer never sees how a
// page is made, nor whether it can be made at all.
class RequestHandler {
public:
    virtual ~RequestHandler() = default;
    // On the event loop's thread: takes what the page needs of the server's state now and
    // gives the work that makes its answer. May throw common::Error or std::exception.
    virtual PageWork Prepare(const DynamicRequest& request) = 0;
    // Both steps on the calling thread.
    common::Response ProcessRequest(const DynamicRequest& request) { return Prepare(request)(); }
};

} // namespace server
