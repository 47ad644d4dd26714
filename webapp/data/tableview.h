#pragma once

#include "webapp/data/remotedatabase.h"
#include "webapp/rendering/html.h"

namespace webapp {

class RequestContext;

// What a table page shows, as its address carries it (so a view can be bookmarked and
// exported): name, offset, size (rows per page), q (search words), sort keys sort/dir,
// sort2/dir2 ... up to MAX_SORT_KEYS (dir "desc" or "asc"), filters col1/op1/val1,
// col2/op2/val2... up to MAX_FILTERS, and cols (the columns shown, by name, comma separated;
// all when empty). The column picker's form sends pick=1 and a field show.<column> for each
// column checked, which stands for cols.
struct TableView {
    static constexpr int DEFAULT_SIZE = 25;
    static constexpr int MAX_FILTERS = 8;
    static constexpr int MAX_SORT_KEYS = 4;

    TableRead read;
    QStringList columns; // shown; empty for all

    static TableView fromRequest(const RequestContext& context);
    // The address of this view on page ("table" or "export"); the offset only when asked.
    Link link(const QString& page, bool withOffset = true) const;
    // The filter fields of this view, for a form that keeps them.
    QList<QPair<QString, QString>> filterFields() const;
    // This view sorted by column first, the previous first key second; a column that is the
    // first key already turns its direction.
    TableView sortedBy(const QString& column) const;
};

// The comparisons a filter offers, in the order a form lists them.
const QStringList& FilterOperators();
// Whether op takes no value (empty, notempty).
bool OperatorTakesNoValue(const QString& op);

} // namespace webapp
