#include "dbsvr/facets.h"

#include "dbsvr/labelsql.h"

namespace dbsvr {

namespace {

bool isCandidate(const ColumnDescription& column, const SqlDialect& dialect) {
    return column.primaryKey == 0 && dialect.kind(column) != ColumnKind::Blob;
}

bool isFacet(const QList<FacetValue>& values) {
    if (values.isEmpty() || values.size() > MAX_FACET_VALUES)
        return false;
    return std::none_of(values.begin(), values.end(), [](const FacetValue& v) {
        return v.value && v.value->size() > MAX_FACET_VALUE_CHARS;
    });
}

// ", (SELECT label ...)" for a column that has a label source, else "".
QString labelOf(const QString& column, const QList<LabelSource>& labels) {
    for (const LabelSource& l : labels)
        if (l.column == column)
            return QStringLiteral(", ") +
                   LabelSubquery(l, QStringLiteral("qv_label"), QStringLiteral("qv_facet"));
    return {};
}

} // namespace

FacetList CollectFacets(const QList<ColumnDescription>& columns, const ReadSource& source,
                        const QList<LabelSource>& labels, const SqlDialect& dialect,
                        const GroupedRows& group, const CountRows& count) {
    FacetList list;
    const QString limit = QStringLiteral(" LIMIT %1").arg(SCAN_ROWS);
    list.truncated =
        count(QStringLiteral("SELECT count(*) FROM (SELECT 1") + source.from +
                  QStringLiteral(" LIMIT %1) AS qv_rows").arg(SCAN_ROWS + 1),
              source.values) > SCAN_ROWS ||
        (!source.scanCount.isEmpty() && count(source.scanCount, source.scanValues) > SCAN_ROWS);
    for (const ColumnDescription& column : columns) {
        if (!isCandidate(column, dialect))
            continue;
        const QString name = QuoteIdentifier(column.name);
        const std::optional<QList<FacetValue>> values =
            group(QStringLiteral("SELECT ") + name + QStringLiteral(", count(*)") +
                      labelOf(column.name, labels) + QStringLiteral(" FROM (SELECT ") + name +
                      source.from + limit + QStringLiteral(") AS qv_facet GROUP BY ") + name +
                      QStringLiteral(" ORDER BY count(*) DESC, ") + name +
                      QStringLiteral(" LIMIT %1").arg(MAX_FACET_VALUES + 1),
                  source.values);
        if (values && isFacet(*values))
            list.facets << Facet{column.name, *values};
    }
    return list;
}

} // namespace dbsvr
