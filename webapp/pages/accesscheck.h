#pragma once

#include "webapp/pageenvironment.h"

#include <optional>

namespace webapp {

// Where the sign-in page is to come back to from this request: its own address for a GET (a
// post cannot be repeated by an address), except for the sign-in page itself; "" for home.
QString SignInReturnAddress(const RequestContext& request);

// The answer to a page the user may not use: for a signed-in user (or any user where there is
// no sign-in) 403; for an anonymous visitor who could sign in, the way to the sign-in page,
// which comes back to this page.
Response RefusedPage(const PageEnvironment& env);
// The refusal for the page the request names, when the user may not use it or what it shows
// (the table, query or form in its fields); nullopt when they may. Pages that list objects
// leave out those the user may not use themselves.
std::optional<Response> CheckAccess(const QString& page, const PageEnvironment& env);

} // namespace webapp
