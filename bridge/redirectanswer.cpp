#include "bridge/redirectanswer.h"

#include "common/error.h"

namespace bridge {

common::Response RedirectAnswer(const QString& location) {
    if (location.contains(QLatin1Char('\r')) || location.contains(QLatin1Char('\n')))
        throw common::Error(common::ERR_PROGRAM,
                            QStringLiteral("The web application asked for a redirect holding a "
                                           "line break; refused."),
                            QStringLiteral("ProcessRequest"));
    return common::Response::redirectTo(location);
}

} // namespace bridge
