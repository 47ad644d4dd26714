#pragma once

#include <QList>
#include <QString>

namespace webapp {

class Labels;

// How a chart draws its rows.
enum class ChartType { Bar, StackedBar, Line, Area, Pie, Scatter };

// One column of the chart's query with the title people see for it.
struct ChartColumn {
    QString column;
    QString title; // the column's name when the file gives none
};

// A chart of the application folder's "charts" folder: <name>.xml (see README, "Charts").
// Texts are resolved through the language when parsed, so a definition is for one language.
struct ChartDefinition {
    QString name;
    QString title;
    QString description;
    QString query; // a named read query of dataserver.xml
    ChartType type = ChartType::Bar;
    ChartColumn category;      // the categories (the x values of a scatter chart)
    QList<ChartColumn> series; // the values, one series each
    QString valueAxisTitle;    // "" for none; the category axis is titled by category.title
    int decimals = -1;         // of the values shown; -1 shows those a value has
    int categoryDecimals = -1; // of a scatter chart's x values

    // Reads and checks the bytes of a chart file; raises ChartDefinitionError saying what is
    // wrong. A text with a label attribute comes from labels when the language has it, else
    // it is the element's own text. Any thread may call.
    static ChartDefinition parse(const QByteArray& bytes, const QString& name,
                                 const Labels& labels);
    // The query a chart file names, without checking anything else; "" when it cannot be read.
    static QString queryOf(const QByteArray& bytes);
};

struct ChartDefinitionError {
    QString message;
};

} // namespace webapp
