#include "webapp/charts/chartdefinition.h"

#include "common/xml.h"
#include "webapp/rendering/labels.h"

#include <QHash>

namespace webapp {

namespace {

// Most decimals a chart shows: more say nothing on a screen.
constexpr int MAX_DECIMALS = 6;

[[noreturn]] void invalid(const QString& message) {
    throw ChartDefinitionError{message};
}

QString attribute(const pugi::xml_node& node, const char* name) {
    return common::ToQString(node.attribute(name).value()).trimmed();
}

// An element's text: the language's label when it names one the language has, else its own.
QString textOf(const pugi::xml_node& node, const Labels& labels) {
    if (!node)
        return {};
    const QString label = attribute(node, "label");
    if (!label.isEmpty() && labels.has(label))
        return labels.text(label);
    return common::ToQString(node.child_value()).simplified();
}

ChartType typeOf(const QString& text) {
    static const QHash<QString, ChartType> types = {
        {QStringLiteral("bar"), ChartType::Bar},
        {QStringLiteral("stacked-bar"), ChartType::StackedBar},
        {QStringLiteral("line"), ChartType::Line},
        {QStringLiteral("area"), ChartType::Area},
        {QStringLiteral("pie"), ChartType::Pie},
        {QStringLiteral("scatter"), ChartType::Scatter},
    };
    if (text.isEmpty())
        return ChartType::Bar;
    const auto at = types.constFind(text);
    if (at == types.constEnd())
        invalid(QStringLiteral("The chart type %1 is not one of bar, stacked-bar, line, area, "
                               "pie, scatter.")
                    .arg(text));
    return *at;
}

int decimalsOf(const pugi::xml_node& node) {
    const QString text = attribute(node, "decimals");
    if (text.isEmpty())
        return -1;
    bool ok = false;
    const int decimals = text.toInt(&ok);
    if (!ok || decimals < 0 || decimals > MAX_DECIMALS)
        invalid(QStringLiteral("decimals must be a whole number from 0 to %1, not %2.")
                    .arg(MAX_DECIMALS)
                    .arg(text));
    return decimals;
}

ChartColumn columnOf(const pugi::xml_node& node, const Labels& labels, const char* element) {
    ChartColumn c{attribute(node, "column"), textOf(node.child("Title"), labels)};
    if (c.column.isEmpty())
        invalid(QStringLiteral("The %1 element names no column (column=\"...\").")
                    .arg(QLatin1String(element)));
    if (c.title.isEmpty())
        c.title = c.column;
    return c;
}

} // namespace

ChartDefinition ChartDefinition::parse(const QByteArray& bytes, const QString& name,
                                       const Labels& labels) {
    pugi::xml_document doc;
    if (!common::LoadXmlBytes(doc, bytes))
        invalid(QStringLiteral("The file cannot be read as XML."));
    const pugi::xml_node root = doc.document_element();
    if (QLatin1String(root.name()) != QLatin1String("Chart"))
        invalid(QStringLiteral("The root element must be Chart."));
    ChartDefinition chart;
    chart.name = name;
    chart.title = textOf(root.child("Title"), labels);
    if (chart.title.isEmpty())
        chart.title = name;
    chart.description = textOf(root.child("Description"), labels);
    chart.query = attribute(root, "query");
    if (chart.query.isEmpty())
        invalid(QStringLiteral("The chart names no query (<Chart query=\"...\">)."));
    chart.type = typeOf(attribute(root, "type"));
    const pugi::xml_node category = root.child("Category");
    if (!category)
        invalid(QStringLiteral("The chart has no Category element."));
    chart.category = columnOf(category, labels, "Category");
    chart.categoryDecimals = decimalsOf(category);
    for (const pugi::xml_node& node : root.children("Series"))
        chart.series.append(columnOf(node, labels, "Series"));
    if (chart.series.isEmpty())
        invalid(QStringLiteral("The chart has no Series element."));
    const pugi::xml_node axis = root.child("ValueAxis");
    chart.valueAxisTitle = textOf(axis.child("Title"), labels);
    chart.decimals = decimalsOf(axis);
    return chart;
}

QString ChartDefinition::queryOf(const QByteArray& bytes) {
    pugi::xml_document doc;
    if (!common::LoadXmlBytes(doc, bytes))
        return {};
    return attribute(doc.document_element(), "query");
}

} // namespace webapp
