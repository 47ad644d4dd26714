#pragma once

#include "common/value.h"

namespace server {
struct DynamicRequest;
}

namespace bridge {

struct PageContext;

// The request object of a dynamic request: its form fields (the query of a GET,
// the body otherwise; the method compared exactly with "GET"), then
// "ServerVariables" with PATH_TRANSLATED (the application folder), SCRIPT_NAME
// (UrlPrefix + "/"), HTTP_USER_AGENT, REQUEST_METHOD ("GET" or "POST", as the HTTP
// layer chose it), HTTP_COOKIE, REMOTE_ADDR, REMOTE_USER and AUTH_TYPE (DetectUser, which
// may ask the kernel: made on the page's worker), HTTPS ("on" or "off"). REMOTE_HOST is the
// caller's to add.
common::DictionaryPtr CreateRequestObject(const server::DynamicRequest& request,
                                          const PageContext& context);

} // namespace bridge
