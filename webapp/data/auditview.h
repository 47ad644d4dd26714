#pragma once

#include "webapp/data/remotedatabase.h"
#include "webapp/data/tableview.h"
#include "webapp/rendering/html.h"

#include <QHash>

namespace webapp {

class RequestContext;

// What the audit trail page shows, as its address carries it (so that a view of the trail can
// be bookmarked and exported): the entries whose user, action, object and address are the ones
// given (each exactly; an empty field does not filter), written from "from" to "to" (UTC,
// "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS", a "T" allowed for the blank; a
// "to" without seconds or without a time covers its whole minute or day), newest first, a
// page of "size" entries from "offset".
struct AuditView {
    static constexpr int DEFAULT_SIZE = TableView::DEFAULT_SIZE;
    // The fields that filter, in the order a form shows them.
    static const QStringList& filterNames();
    // The field that filters the audit table's column ("user" for "user_name"); "" for none.
    static QString fieldOf(const QString& column);

    QHash<QString, QString> filters; // field name -> value as given
    qint64 offset = 0;
    int size = DEFAULT_SIZE;

    static AuditView fromRequest(const RequestContext& context);
    // The time fields ("from", "to") that hold no time the trail can be read by.
    QStringList unreadable() const;
    // The read of this view: its filters, newest first. Only when unreadable() is empty.
    TableRead read() const;
    // The address of this view on the audit trail page; the offset only when asked.
    Link link(bool withOffset = true) const;
};

} // namespace webapp
