// Charts drawn from rows, without a data server: what a person would see in the SVG (bars in
// order and in proportion, labels, gaps), the data table, the "Other" category, round axes,
// and chart files that cannot be used.
#include "webapp/charts/chartdefinition.h"
#include "webapp/charts/chartfigure.h"
#include "webapp/charts/chartscale.h"
#include "webapp/rendering/labels.h"

#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>

using namespace webapp;

namespace {

struct Box {
    double x, y, width, height;
};

double attributeOf(const QString& element, const char* name) {
    const QRegularExpression re(QStringLiteral(" %1=\"([-0-9.]+)\"").arg(QLatin1String(name)));
    return re.match(element).captured(1).toDouble();
}

// The bars of the picture, in the order they are drawn.
QList<Box> barsOf(const QString& html) {
    static const QRegularExpression bar(QStringLiteral("<rect class=\"bar [^>]*>"));
    QList<Box> boxes;
    for (const QRegularExpressionMatch& m : bar.globalMatch(html))
        boxes.append({attributeOf(m.captured(), "x"), attributeOf(m.captured(), "y"),
                      attributeOf(m.captured(), "width"), attributeOf(m.captured(), "height")});
    return boxes;
}

// The y of the zero line bars stand on.
double baselineOf(const QString& html) {
    static const QRegularExpression axis(QStringLiteral("<line class=\"axis\"[^>]*>"));
    return attributeOf(axis.match(html).captured(), "y1");
}

qsizetype count(const QString& html, const QString& what) {
    return html.count(what);
}

RowSet rowsOf(const QStringList& columns, const QList<QStringList>& values) {
    RowSet rows;
    rows.columns = columns;
    for (const QStringList& row : values) {
        QList<Cell> cells;
        for (const QString& v : row)
            cells.append(v == QLatin1String("NULL") ? Cell{{}, true} : Cell{v});
        rows.rows.append(cells);
    }
    return rows;
}

ChartDefinition chartOf(const char* xml) {
    const Labels labels;
    return ChartDefinition::parse(QByteArray(xml), QStringLiteral("test"), labels);
}

const char BAR[] = R"(<Chart query="Q"><Title>Sales</Title>
  <Category column="c"><Title>Region</Title></Category><Series column="v"/></Chart>)";

// The few texts the figure's notes need, as a language file gives them.
const Labels& texts() {
    static pugi::xml_document doc;
    static const Labels labels = [] {
        doc.load_string("<Language code=\"en\"><Label id=\"webChartOther\">Other</Label>"
                        "<Label id=\"webChartGrouped\">%1 stands for %2 categories.</Label>"
                        "</Language>");
        return Labels(doc.document_element());
    }();
    return labels;
}

QString draw(const ChartDefinition& chart, const RowSet& rows) {
    return ChartFigure(texts(), chart, rows, QStringLiteral("c1")).toString();
}

} // namespace

TEST(Charts, BarsStandInOrderAndInProportionOnTheZeroLine) {
    const QString html =
        draw(chartOf(BAR), rowsOf({"c", "v"}, {{"North", "10"}, {"South", "40"}, {"East", "20"}}));
    const QList<Box> bars = barsOf(html);
    ASSERT_EQ(bars.size(), 3);
    EXPECT_LT(bars[0].x, bars[1].x);
    EXPECT_LT(bars[1].x, bars[2].x);
    EXPECT_NEAR(bars[1].height / bars[0].height, 4.0, 0.05);
    EXPECT_NEAR(bars[2].height / bars[0].height, 2.0, 0.05);
    for (const Box& b : bars)
        EXPECT_NEAR(b.y + b.height, baselineOf(html), 0.15);
    // Labels under the bars, in order; the picture speaks for itself to a screen reader.
    EXPECT_TRUE(html.contains(QRegularExpression(">North</text>.*>South</text>.*>East</text>")));
    EXPECT_TRUE(html.contains("role=\"img\" aria-labelledby=\"c1-title\" "
                              "aria-describedby=\"c1-desc\""));
    EXPECT_TRUE(html.contains("<title id=\"c1-title\">Sales</title>"));
    EXPECT_TRUE(html.contains("<title>South, v: 40</title>"));
    // And the data as a table below it.
    EXPECT_TRUE(
        html.contains("<th scope=\"col\">Region</th><th scope=\"col\" class=\"num\">v</th>"));
    EXPECT_TRUE(html.contains("<tr><th scope=\"row\">South</th><td data-label=\"v\" "
                              "class=\"num\">40</td></tr>"));
}

TEST(Charts, NegativeValuesReachBelowZeroAndStacksSplitBySign) {
    const QString html = draw(chartOf(BAR), rowsOf({"c", "v"}, {{"Gain", "30"}, {"Loss", "-15"}}));
    const QList<Box> bars = barsOf(html);
    ASSERT_EQ(bars.size(), 2);
    const double zero = baselineOf(html);
    EXPECT_NEAR(bars[0].y + bars[0].height, zero, 0.15);
    EXPECT_NEAR(bars[1].y, zero, 0.15); // hangs from the zero line
    EXPECT_NEAR(bars[0].height / bars[1].height, 2.0, 0.05);
    EXPECT_TRUE(html.contains(">-15</text>") || html.contains(">-20</text>")); // a tick below 0

    const ChartDefinition stacked = chartOf(R"(<Chart query="Q" type="stacked-bar">
      <Category column="c"/><Series column="a"/><Series column="b"/></Chart>)");
    const QString stacks =
        draw(stacked, rowsOf({"c", "a", "b"}, {{"x", "10", "-5"}, {"y", "10", "20"}}));
    const QList<Box> parts = barsOf(stacks);
    ASSERT_EQ(parts.size(), 4);
    const double base = baselineOf(stacks);
    EXPECT_NEAR(parts[1].y, base, 0.15); // x's negative part below zero, not on top of a
    EXPECT_NEAR(parts[3].y + parts[3].height, parts[2].y, 0.15); // y's b on top of its a
    EXPECT_NEAR(parts[3].height / parts[2].height, 2.0, 0.05);
}

TEST(Charts, HostileAndLongLabelsAreEscapedAndShortenedWithTheirWholeText) {
    const QString hostile = "<script>alert(1)</script>&\"'";
    const QString longLabel = "A category whose name goes on and on and on";
    const QString faces = QString::fromUtf8("\U0001F600").repeated(40); // pairs of UTF-16 units
    const ChartDefinition chart = chartOf(R"(<Chart query="Q"><Title>&lt;b&gt;Title</Title>
      <Category column="c"/><Series column="v"><Title>&lt;i&gt;</Title></Series></Chart>)");
    const QString html =
        draw(chart, rowsOf({"c", "v"}, {{hostile, "1"}, {longLabel, "2"}, {faces, "3"}}));
    EXPECT_FALSE(html.contains("<script>"));
    EXPECT_FALSE(html.contains("<b>"));
    EXPECT_FALSE(html.contains("<i>"));
    EXPECT_TRUE(html.contains("&lt;script&gt;"));
    // Shortened with a mark, the whole text kept as its tooltip.
    EXPECT_TRUE(html.contains("<title>" + longLabel + "</title>"));
    EXPECT_TRUE(html.contains(QString::fromUtf8("\u2026</text>")));
    EXPECT_TRUE(html.contains("<th scope=\"row\">" + longLabel + "</th>"));
    // A cut never splits a character in two.
    EXPECT_TRUE(html.toUtf8().isValidUtf8());
    for (qsizetype i = 0; i < html.size(); ++i) {
        if (html.at(i).isHighSurrogate()) {
            ASSERT_TRUE(i + 1 < html.size() && html.at(i + 1).isLowSurrogate()) << i;
        }
    }
}

TEST(Charts, EmptyOneRowAndNullValuesDrawWhatThereIs) {
    const ChartDefinition bar = chartOf(BAR);
    const QString empty = draw(bar, rowsOf({"c", "v"}, {}));
    EXPECT_FALSE(empty.contains("<svg"));
    EXPECT_TRUE(empty.contains("class=\"chart-empty\""));
    EXPECT_FALSE(draw(bar, rowsOf({"c", "v"}, {{"a", "NULL"}})).contains("<svg"));

    const QString one = draw(bar, rowsOf({"c", "v"}, {{"Only", "7"}}));
    ASSERT_EQ(barsOf(one).size(), 1);
    EXPECT_GT(barsOf(one)[0].height, 100);

    // NULL: no bar, an empty cell.
    const QString gaps = draw(bar, rowsOf({"c", "v"}, {{"a", "5"}, {"b", "NULL"}, {"c", "10"}}));
    EXPECT_EQ(barsOf(gaps).size(), 2);
    EXPECT_TRUE(gaps.contains("<th scope=\"row\">b</th><td data-label=\"v\"></td>"));

    // A line breaks at a NULL: two runs, a point for each value, a lone value still shown.
    const ChartDefinition line = chartOf(R"(<Chart query="Q" type="line">
      <Category column="c"/><Series column="v"/></Chart>)");
    const QString broken = draw(
        line, rowsOf({"c", "v"}, {{"1", "5"}, {"2", "6"}, {"3", "NULL"}, {"4", "7"}, {"5", "8"}}));
    EXPECT_EQ(count(broken, "<path class=\"line"), 2);
    EXPECT_EQ(count(broken, "<circle class=\"point"), 4);
    const QString lone = draw(line, rowsOf({"c", "v"}, {{"1", "NULL"}, {"2", "3"}}));
    EXPECT_EQ(count(lone, "<circle class=\"point"), 1);

    // A pie draws only shares above zero, a full circle for one.
    const ChartDefinition pie = chartOf(R"(<Chart query="Q" type="pie">
      <Category column="c"/><Series column="v"/></Chart>)");
    const QString whole = draw(pie, rowsOf({"c", "v"}, {{"a", "4"}, {"b", "0"}, {"c", "NULL"}}));
    EXPECT_EQ(count(whole, "<circle class=\"slice"), 1);
    EXPECT_EQ(count(whole, "<path class=\"slice"), 0);
    EXPECT_FALSE(draw(pie, rowsOf({"c", "v"}, {{"a", "-4"}})).contains("<svg"));
}

TEST(Charts, ManyCategoriesKeepTheFirstAndSumTheRestAsOther) {
    QList<QStringList> values;
    for (int i = 1; i <= 1000; ++i)
        values.append({QStringLiteral("Item %1").arg(i),
                       i == 500 ? "NULL" : QString::number(i < 25 ? 100 : 1)});
    const QString html = draw(chartOf(BAR), rowsOf({"c", "v"}, values));
    const QList<Box> bars = barsOf(html);
    ASSERT_EQ(bars.size(), 25);
    // 976 rows grouped, one of them NULL: 975.
    EXPECT_NEAR(bars.last().height / bars.first().height, 9.75, 0.01);
    EXPECT_TRUE(html.contains("<tr><th scope=\"row\">Other</th>"
                              "<td data-label=\"v\" class=\"num\">975</td></tr>"));
    EXPECT_TRUE(html.contains("Other stands for 976 categories."));
    EXPECT_EQ(count(html, "<tr><th scope=\"row\">"), 25);
    EXPECT_FALSE(html.contains("Item 25<"));

    const ChartDefinition pie = chartOf(R"(<Chart query="Q" type="pie">
      <Category column="c"/><Series column="v"/></Chart>)");
    EXPECT_EQ(count(draw(pie, rowsOf({"c", "v"}, values)), "<path class=\"slice"), 8);
}

TEST(Charts, AxesTickInRoundStepsThatCoverTheValues) {
    const struct {
        double low, high;
        bool zero;
    } cases[] = {{0, 97, true},      {-3, 7, true},    {0.001, 0.0042, false}, {3, 3, false},
                 {1e9, 4.2e9, true}, {-50, -10, true}, {12.5, 12.75, false},   {0, 0, true}};
    for (const auto& c : cases) {
        const ChartScale s = ChartScale::nice(c.low, c.high, c.zero);
        const std::string what = std::to_string(c.low) + ".." + std::to_string(c.high);
        EXPECT_LE(s.min, c.low) << what;
        EXPECT_GE(s.max, c.high) << what;
        EXPECT_LT(s.min, s.max) << what;
        if (c.zero) {
            EXPECT_LE(s.min, 0) << what;
            EXPECT_GE(s.max, 0) << what;
        }
        const double mantissa = s.step / std::pow(10.0, std::floor(std::log10(s.step)));
        EXPECT_TRUE(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 ||
                    std::abs(mantissa - 5) < 1e-9)
            << what << " step " << s.step;
        const QList<double> ticks = s.ticks();
        EXPECT_GE(ticks.size(), 2) << what;
        EXPECT_LE(ticks.size(), 11) << what;
        EXPECT_DOUBLE_EQ(ticks.last(), s.max) << what;
    }
    EXPECT_EQ(ChartScale::nice(0, 0.004, false).decimals(), 3);
    EXPECT_EQ(ChartScale::nice(0, 97, true).decimals(), 0);
}

TEST(Charts, FilesThatCannotBeUsedSayWhy) {
    const struct {
        const char* xml;
        const char* says;
    } cases[] = {
        {"<Chart query=", "cannot be read as XML"},
        {"<Form/>", "root element must be Chart"},
        {"<Chart><Category column=\"c\"/><Series column=\"v\"/></Chart>", "names no query"},
        {"<Chart query=\"Q\"><Series column=\"v\"/></Chart>", "no Category"},
        {"<Chart query=\"Q\"><Category column=\"c\"/></Chart>", "no Series"},
        {"<Chart query=\"Q\"><Category/><Series column=\"v\"/></Chart>",
         "Category element names no column"},
        {"<Chart query=\"Q\" type=\"donut\"><Category column=\"c\"/><Series column=\"v\"/></Chart>",
         "donut is not one of"},
        {"<Chart query=\"Q\"><Category column=\"c\"/><Series column=\"v\"/>"
         "<ValueAxis decimals=\"-1\"/></Chart>",
         "decimals must be a whole number"},
    };
    for (const auto& c : cases) {
        try {
            chartOf(c.xml);
            ADD_FAILURE() << c.xml;
        } catch (const ChartDefinitionError& e) {
            EXPECT_TRUE(e.message.contains(c.says)) << c.xml << ": " << e.message.toStdString();
        }
    }
    // A column the result lacks is said when the chart is drawn.
    try {
        draw(chartOf(BAR), rowsOf({"c", "w"}, {{"a", "1"}}));
        ADD_FAILURE();
    } catch (const ChartDefinitionError& e) {
        EXPECT_TRUE(e.message.contains("no column v"));
    }
}

TEST(Charts, TextsComeFromTheLanguageWhereItHasThem) {
    pugi::xml_document doc;
    doc.load_string("<Language code=\"de\"><Label id=\"chT\">Umsatz</Label></Language>");
    const Labels german(doc.document_element());
    const ChartDefinition chart = ChartDefinition::parse(
        R"(<Chart query="Q"><Title label="chT">Revenue</Title><Description label="chNone">Own text</Description>
           <Category column="c"/><Series column="v"/><ValueAxis decimals="2"/></Chart>)",
        "r", german);
    EXPECT_EQ(chart.title, "Umsatz");
    EXPECT_EQ(chart.description, "Own text");
    const QString html =
        ChartFigure(german, chart, rowsOf({"c", "v"}, {{"a", "1234.5"}}), "x").toString();
    EXPECT_TRUE(html.contains(">1.234,50</td>")); // the language's notation, two decimals
}
