#include "webapp/data/queryview.h"

#include "webapp/forms/valuechecks.h"
#include "webapp/rendering/labels.h"
#include "webapp/requestcontext.h"

#include <algorithm>

namespace webapp {

const QString QueryView::PARAMETER_PREFIX = QStringLiteral("p.");

namespace {
// An error message for a parameter value, or "" when it fits the declared type.
QString check(const Labels& labels, const QueryParameter& p, const QString& value) {
    if (HasUnsendableCharacters(value, false))
        return labels.text(QStringLiteral("webErrCharacters"));
    if (p.type == QLatin1String("integer") && !ParseInteger(value))
        return labels.text(QStringLiteral("webErrInteger"));
    if (p.type == QLatin1String("real") && !ParseReal(value))
        return labels.text(QStringLiteral("webErrNumber"));
    return {};
}
} // namespace

QueryView QueryView::fromRequest(const RequestContext& context, const QueryInfo& info,
                                 const Labels& labels) {
    QueryView view;
    view.info = info;
    view.submitted = info.parameters.isEmpty() || context.field(QStringLiteral("run")) == "1";
    view.run.name = info.name;
    bool ok = false;
    view.run.offset = std::max(0LL, context.field(QStringLiteral("offset")).toLongLong(&ok));
    const int size = context.field(QStringLiteral("size")).toInt(&ok);
    view.run.limit = std::clamp(ok ? size : DEFAULT_SIZE, 1, RemoteDatabase::MAX_LIMIT);
    if (const QString sort = context.field(QStringLiteral("sort")); !sort.isEmpty())
        view.run.orderBy.append(
            {sort, context.field(QStringLiteral("dir")) == QLatin1String("desc")});
    for (const QueryParameter& p : info.parameters) {
        const QString value = context.field(PARAMETER_PREFIX + p.name);
        view.entered.insert(p.name, value);
        if (!view.submitted)
            continue;
        const QString error = check(labels, p, value);
        if (!error.isEmpty())
            view.errors.insert(p.name, error);
        view.run.arguments.append({p.name, p.type == QLatin1String("text") || p.type.isEmpty()
                                               ? value
                                               : value.trimmed()});
    }
    return view;
}

Link QueryView::link(const QString& page, bool withOffset) const {
    Link link(page);
    link.with(QStringLiteral("name"), info.name);
    for (const QueryParameter& p : info.parameters)
        link.keep(PARAMETER_PREFIX + p.name, entered.value(p.name));
    link.with(QStringLiteral("run"), QStringLiteral("1"));
    if (!run.orderBy.isEmpty()) {
        link.with(QStringLiteral("sort"), run.orderBy.first().column);
        if (run.orderBy.first().descending)
            link.with(QStringLiteral("dir"), QStringLiteral("desc"));
    }
    return link.paging(run.limit, DEFAULT_SIZE, withOffset ? run.offset : 0);
}

QueryView QueryView::sortedBy(const QString& column) const {
    QueryView sorted = *this;
    sorted.run.offset = 0;
    const bool current = !run.orderBy.isEmpty() && run.orderBy.first().column == column;
    sorted.run.orderBy = {{column, current && !run.orderBy.first().descending}};
    return sorted;
}

} // namespace webapp
