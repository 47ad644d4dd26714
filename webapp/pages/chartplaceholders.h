#pragma once

#include "webapp/pageenvironment.h"

namespace webapp {

// An application page's HTML with each placeholder <!--chart:name--> (blanks allowed around
// the name) replaced by that chart under a heading linking to its page: drawn when its query
// has no parameters, else only the link. A chart the user may not use is left out; a name
// that is not a chart's says so. The rest is the page author's markup, taken as it is.
// Raises DataUnavailable.
Html PageWithCharts(const PageEnvironment& env, const QString& content);

} // namespace webapp
