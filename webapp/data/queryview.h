#pragma once

#include "webapp/data/remotedatabase.h"
#include "webapp/rendering/html.h"

#include <QHash>

namespace webapp {

class Labels;
class RequestContext;

// A read query with the parameters a user entered, as its address carries them: name,
// p.<parameter> for each parameter, run=1 once the form was sent, offset and size, sort (a
// result column) and dir ("desc").
struct QueryView {
    static constexpr int DEFAULT_SIZE = 25;
    static const QString PARAMETER_PREFIX; // "p."

    QueryInfo info;
    QHash<QString, QString> entered; // parameter -> text as entered
    QHash<QString, QString> errors;  // parameter -> message, for values that do not fit
    bool submitted = false;          // run=1, or a query without parameters
    QueryRun run;                    // ready when submitted and errors is empty

    static QueryView fromRequest(const RequestContext& context, const QueryInfo& info,
                                 const Labels& labels);
    Link link(const QString& page, bool withOffset = true) const;
    // The same view sorted by column: ascending, or the other way when it is sorted by it
    // already; from the first row.
    QueryView sortedBy(const QString& column) const;
};

} // namespace webapp
