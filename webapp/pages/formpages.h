#pragma once

#include "webapp/pageenvironment.h"

namespace webapp {

// ?page=forms: the forms of the application folder.
Response FormsPage(const PageEnvironment& env);
// ?page=form&name=f: the form (GET), or its submission (POST: the fields f.<field> with the
// hidden formnonce and formtoken): validated, written once through the data server, and
// answered with a redirect to the saved page.
Response FormPage(const PageEnvironment& env);
// ?page=saved&form=f&entry=<nonce>: what a submission saved.
Response SavedPage(const PageEnvironment& env);

} // namespace webapp
