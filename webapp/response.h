#pragma once

#include "common/response.h"

namespace webapp {

// What a page produces: an HTTP answer (common/response.h), built with Response::page (an HTML
// page in the frame), Response::redirectTo, or as an export builds its own. The header lines a
// page adds are its own; ComponentAnswer puts the component's lines around them.
using common::Response;

// The component's answer to what a page produced. A plain page (200, HTML, no header lines of
// its own) is a page body, which the web server sends behind its own "200 OK" head. Anything
// else is complete: the status line, Server, Date, Content-Type (text/html; charset=utf-8
// unless the page set another), Content-Length in bytes, the page's own header lines,
// "Cache-Control: no-store" and "Connection: close".
Response ComponentAnswer(const Response& page);

// The address of a page made with Response::redirectTo; "" for any other page.
QString RedirectOf(const Response& page);

} // namespace webapp
