#pragma once

#include "webapp/pageenvironment.h"

namespace webapp {

// ?page=queries: every named read query of the application, with its parameters.
Response QueriesPage(const PageEnvironment& env);
// ?page=query&name=q: a GET form for the query's parameters and, once sent, its result,
// paged (see QueryView). Write queries are not offered here.
Response QueryPage(const PageEnvironment& env);

} // namespace webapp
