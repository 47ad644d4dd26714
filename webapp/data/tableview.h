#pragma once

#include "webapp/data/remotedatabase.h"
#include "webapp/rendering/html.h"

namespace webapp {

class RequestContext;

// What a table page shows, as its address carries it (so a view can be bookmarked and
// exported): name, offset, size (rows per page), sort (a column), dir ("desc" or "asc")
// and filters col1/op1/val1, col2/op2/val2... up to MAX_FILTERS.
struct TableView {
    static constexpr int DEFAULT_SIZE = 25;
    static constexpr int MAX_FILTERS = 8;

    TableRead read;

    static TableView fromRequest(const RequestContext& context);
    // The address of this view on page ("table" or "export"); the offset only when asked.
    Link link(const QString& page, bool withOffset = true) const;
    // The filter fields of this view, for a form that keeps them.
    QList<QPair<QString, QString>> filterFields() const;
};

// The comparisons a filter offers, in the order a form lists them.
const QStringList& FilterOperators();

} // namespace webapp
