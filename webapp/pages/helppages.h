#pragma once

#include "webapp/pageenvironment.h"

namespace webapp {

// fn=help&context=<c> (the desktop window's help address, /fn/?productid=QV&version=...):
// help pages of our own, so help works without the internet. Contexts: "" (the web server),
// "tracelog", "ServerSettings", and the application's pages "home", "tables", "queries",
// "forms", "admin"; any other shows the list of topics.
Response HelpPage(const PageEnvironment& env);

} // namespace webapp
