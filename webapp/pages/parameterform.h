#pragma once

#include "webapp/data/queryview.h"
#include "webapp/pageenvironment.h"

namespace webapp {

// The GET form of a read query's parameters, as entered in view: each labelled by its title,
// a choice list of a table's rows or a typed input, its description as a hint, its error
// beside it. fields are sent along as hidden inputs (the page, its name...), with run=1.
Html ParameterForm(const PageEnvironment& env, const QueryView& view, const Link& fields,
                   const Html& button);

} // namespace webapp
