#include "webapp/charts/chartsvg.h"

#include "webapp/charts/chartscale.h"
#include "webapp/rendering/numberformat.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace webapp {

namespace {

// The picture's own units; the page scales it to its width.
constexpr double WIDTH = 720;
constexpr double HEIGHT = 400;
// More colours than this repeat: the legend and the table still tell them apart.
constexpr int COLOURS = 8;
// Above this many categories their labels are slanted to fit.
constexpr int UPRIGHT_LABELS = 12;
// The longest slanted category label and the longest tick label, in characters.
constexpr int SLANTED_CHARS = 16;
constexpr double LETTER_WIDTH = 7; // of the style sheet's 12px text, about

struct Plot {
    double left = 72, top = 16, right = WIDTH - 16, bottom = HEIGHT - 56;
    double width() const { return right - left; }
};

Html num(double v) {
    return Html::number(std::round(v * 10) / 10, 1);
}

// text cut to at most chars characters (not inside a surrogate pair), "…" marking the cut.
QString shortened(const QString& text, int chars) {
    if (text.size() <= chars)
        return text;
    qsizetype cut = std::max(1, chars - 1);
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}

// A text at (x, y); when it had to be shortened, its whole text as a tooltip.
Html label(double x, double y, const QString& text, int chars, const Html& attributes = {}) {
    const QString shown = shortened(text, chars);
    Html html = "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\"" + attributes + ">";
    if (shown != text)
        html += "<title>" + Html::text(text) + "</title>";
    return html + Html::text(shown) + "</text>";
}

QString formatted(double v, int decimals, const QLocale& locale) {
    return FormatNumber(QString::number(v, 'f', decimals), locale, decimals);
}

// What a mark's tooltip says: "category, series: value".
Html markTitle(const QString& category, const QString& series, const QString& value) {
    return "<title>" +
           Html::text(
               QString(category + QStringLiteral(", ") + series + QStringLiteral(": ") + value)) +
           "</title>";
}

// The grid lines and tick labels of the value axis, at the left.
Html valueAxis(const ChartScale& scale, const Plot& plot, const QLocale& locale) {
    Html html("<g class=\"grid\">");
    const int decimals = scale.decimals();
    for (const double t : scale.ticks()) {
        const double y = scale.position(t, plot.bottom, plot.top);
        html += "<line x1=\"" + num(plot.left) + "\" x2=\"" + num(plot.right) + "\" y1=\"" +
                num(y) + "\" y2=\"" + num(y) + "\"/>" +
                label(plot.left - 6, y + 4, formatted(t, decimals, locale), 12,
                      Html(" text-anchor=\"end\""));
    }
    return html + "</g>";
}

// The ticks and labels of a numeric x axis (scatter charts).
Html numberAxis(const ChartScale& scale, const Plot& plot, const QLocale& locale) {
    Html html("<g class=\"grid\">");
    const int decimals = scale.decimals();
    for (const double t : scale.ticks()) {
        const double x = scale.position(t, plot.left, plot.right);
        html += "<line x1=\"" + num(x) + "\" x2=\"" + num(x) + "\" y1=\"" + num(plot.top) +
                "\" y2=\"" + num(plot.bottom) + "\"/>" +
                label(x, plot.bottom + 18, formatted(t, decimals, locale), 12,
                      Html(" text-anchor=\"middle\""));
    }
    return html + "</g>";
}

Html baseline(double y, const Plot& plot) {
    return "<line class=\"axis\" x1=\"" + num(plot.left) + "\" x2=\"" + num(plot.right) +
           "\" y1=\"" + num(y) + "\" y2=\"" + num(y) + "\"/>";
}

// The categories' labels under their bands: upright while they fit, slanted beyond.
Html categoryLabels(const ChartData& data, const Plot& plot) {
    const qsizetype n = data.categories.size();
    const double band = plot.width() / double(n);
    Html html("<g class=\"categories\">");
    for (qsizetype i = 0; i < n; ++i) {
        const double x = plot.left + (double(i) + 0.5) * band;
        const QString& text = data.categories[i].text;
        if (n > UPRIGHT_LABELS)
            html += label(x, plot.bottom + 14, text, SLANTED_CHARS,
                          " text-anchor=\"end\" transform=\"rotate(-45 " + num(x) + " " +
                              num(plot.bottom + 14) + ")\"");
        else
            html += label(x, plot.bottom + 18, text, std::max(3, int(band / LETTER_WIDTH)),
                          Html(" text-anchor=\"middle\""));
    }
    return html + "</g>";
}

Html axisTitles(const ChartDefinition& chart, const Plot& plot) {
    const double middle = (plot.top + plot.bottom) / 2;
    Html html = label((plot.left + plot.right) / 2, HEIGHT - 6, chart.category.title, 60,
                      Html(" class=\"axis-title\" text-anchor=\"middle\""));
    if (!chart.valueAxisTitle.isEmpty())
        html += label(16, middle, chart.valueAxisTitle, 40,
                      " class=\"axis-title\" text-anchor=\"middle\" transform=\"rotate(-90 16 " +
                          num(middle) + ")\"");
    return html;
}

// The lowest and highest value drawn: of every value, or of the stacks of stacked bars.
std::pair<double, double> valueRange(const ChartDefinition& chart, const ChartData& data) {
    double low = INFINITY, high = -INFINITY;
    for (qsizetype i = 0; i < data.categories.size(); ++i) {
        double below = 0, above = 0;
        for (const ChartSeriesData& s : data.series) {
            const std::optional<double> v = s.values[i].number;
            if (!v)
                continue;
            if (chart.type == ChartType::StackedBar) {
                (*v < 0 ? below : above) += *v;
                low = std::min(low, below);
                high = std::max(high, above);
            } else {
                low = std::min(low, *v);
                high = std::max(high, *v);
            }
        }
    }
    return {low, high};
}

Html bars(const ChartDefinition& chart, const ChartData& data, const ChartScale& scale,
          const Plot& plot) {
    const bool stacked = chart.type == ChartType::StackedBar;
    const qsizetype n = data.categories.size();
    const double band = plot.width() / double(n);
    const double width = band * 0.8 / double(stacked ? 1 : data.series.size());
    const double zero = scale.position(0, plot.bottom, plot.top);
    Html html("<g class=\"marks\">");
    for (qsizetype i = 0; i < n; ++i) {
        double below = 0, above = 0;
        for (qsizetype s = 0; s < data.series.size(); ++s) {
            const ChartValue& value = data.series[s].values[i];
            if (!value.number)
                continue; // NULL: no bar
            double from = 0, to = *value.number;
            if (stacked) {
                double& stack = to < 0 ? below : above;
                from = stack;
                to = stack += *value.number;
            }
            const double x =
                plot.left + double(i) * band + band * 0.1 + (stacked ? 0 : double(s) * width);
            const double y0 = stacked ? scale.position(from, plot.bottom, plot.top) : zero;
            const double y1 = scale.position(to, plot.bottom, plot.top);
            html += "<rect class=\"bar " + SeriesClass(s) + "\" x=\"" + num(x) + "\" y=\"" +
                    num(std::min(y0, y1)) + "\" width=\"" + num(width) + "\" height=\"" +
                    num(std::abs(y1 - y0)) + "\">" +
                    markTitle(data.categories[i].text, data.series[s].title, value.shown) +
                    "</rect>";
        }
    }
    return html + "</g>" + baseline(zero, plot);
}

// The runs of points a line joins: NULL values break it.
QList<QList<std::pair<double, double>>> runs(const QList<double>& xs, const ChartSeriesData& series,
                                             const ChartScale& scale, const Plot& plot) {
    QList<QList<std::pair<double, double>>> out;
    bool open = false;
    for (qsizetype i = 0; i < xs.size(); ++i) {
        const std::optional<double> v = series.values[i].number;
        if (!v) {
            open = false;
            continue;
        }
        if (!open)
            out.emplaceBack();
        open = true;
        out.last().append({xs[i], scale.position(*v, plot.bottom, plot.top)});
    }
    return out;
}

Html pathOf(const QList<std::pair<double, double>>& points) {
    Html d;
    for (const auto& [x, y] : points)
        d += (d.isEmpty() ? Html("M") : Html(" L")) + num(x) + " " + num(y);
    return d;
}

Html lines(const ChartDefinition& chart, const ChartData& data, const ChartScale& scale,
           const Plot& plot) {
    const double band = plot.width() / double(data.categories.size());
    QList<double> xs;
    for (qsizetype i = 0; i < data.categories.size(); ++i)
        xs.append(plot.left + (double(i) + 0.5) * band);
    const double zero = scale.position(0, plot.bottom, plot.top);
    Html html("<g class=\"marks\">");
    for (qsizetype s = 0; s < data.series.size(); ++s) {
        const Html cls = SeriesClass(s);
        for (const auto& run : runs(xs, data.series[s], scale, plot)) {
            if (chart.type == ChartType::Area)
                html += "<path class=\"area " + cls + "\" d=\"" + pathOf(run) + " L" +
                        num(run.last().first) + " " + num(zero) + " L" + num(run.first().first) +
                        " " + num(zero) + " Z\"/>";
            html += "<path class=\"line " + cls + "\" d=\"" + pathOf(run) + "\"/>";
        }
        // A point for each value, so that a lone value between gaps shows too.
        for (qsizetype i = 0; i < xs.size(); ++i)
            if (const ChartValue& v = data.series[s].values[i]; v.number)
                html += "<circle class=\"point " + cls + "\" cx=\"" + num(xs[i]) + "\" cy=\"" +
                        num(scale.position(*v.number, plot.bottom, plot.top)) + "\" r=\"3.5\">" +
                        markTitle(data.categories[i].text, data.series[s].title, v.shown) +
                        "</circle>";
    }
    html += "</g>";
    return chart.type == ChartType::Area ? html + baseline(zero, plot) : html;
}

Html points(const ChartData& data, const ChartScale& xScale, const ChartScale& yScale,
            const Plot& plot) {
    Html html("<g class=\"marks\">");
    for (qsizetype s = 0; s < data.series.size(); ++s)
        for (qsizetype i = 0; i < data.categories.size(); ++i) {
            const ChartValue& x = data.categories[i];
            const ChartValue& y = data.series[s].values[i];
            if (!x.number || !y.number)
                continue;
            html += "<circle class=\"point " + SeriesClass(s) + "\" cx=\"" +
                    num(xScale.position(*x.number, plot.left, plot.right)) + "\" cy=\"" +
                    num(yScale.position(*y.number, plot.bottom, plot.top)) + "\" r=\"4\">" +
                    markTitle(x.shown, data.series[s].title, y.shown) + "</circle>";
        }
    return html + "</g>";
}

Html pie(const ChartData& data) {
    const ChartSeriesData& series = data.series.first();
    double total = 0;
    for (const ChartValue& v : series.values)
        if (v.number && *v.number > 0)
            total += *v.number;
    const double cx = WIDTH / 2, cy = HEIGHT / 2, r = HEIGHT / 2 - 24;
    Html html("<g class=\"marks\">");
    double angle = -std::numbers::pi / 2; // from twelve o'clock, clockwise
    for (qsizetype i = 0; i < series.values.size(); ++i) {
        const ChartValue& v = series.values[i];
        if (!v.number || *v.number <= 0)
            continue; // a slice needs a share
        const double share = *v.number / total;
        const Html title = markTitle(data.categories[i].text, series.title, v.shown);
        const Html cls = "slice " + SeriesClass(i);
        if (share >= 1 - 1e-9) {
            html += "<circle class=\"" + cls + "\" cx=\"" + num(cx) + "\" cy=\"" + num(cy) +
                    "\" r=\"" + num(r) + "\">" + title + "</circle>";
            continue;
        }
        const double end = angle + share * 2 * std::numbers::pi;
        html += "<path class=\"" + cls + "\" d=\"M" + num(cx) + " " + num(cy) + " L" +
                num(cx + r * std::cos(angle)) + " " + num(cy + r * std::sin(angle)) + " A" +
                num(r) + " " + num(r) + " 0 " + (share > 0.5 ? Html("1") : Html("0")) + " 1 " +
                num(cx + r * std::cos(end)) + " " + num(cy + r * std::sin(end)) + " Z\">" + title +
                "</path>";
        angle = end;
    }
    return html + "</g>";
}

Html picture(const ChartDefinition& chart, const ChartData& data, const QLocale& locale) {
    if (chart.type == ChartType::Pie)
        return pie(data);
    Plot plot;
    if (chart.type != ChartType::Scatter && data.categories.size() > UPRIGHT_LABELS)
        plot.bottom = HEIGHT - 110; // room for slanted labels
    const auto [low, high] = valueRange(chart, data);
    if (chart.type == ChartType::Scatter) {
        double xLow = INFINITY, xHigh = -INFINITY;
        for (const ChartValue& x : data.categories)
            if (x.number) {
                xLow = std::min(xLow, *x.number);
                xHigh = std::max(xHigh, *x.number);
            }
        const ChartScale xScale = ChartScale::nice(xLow, xHigh, false);
        const ChartScale yScale = ChartScale::nice(low, high, false);
        return valueAxis(yScale, plot, locale) + numberAxis(xScale, plot, locale) +
               points(data, xScale, yScale, plot) + axisTitles(chart, plot);
    }
    const bool line = chart.type == ChartType::Line;
    // Bars and areas stand on zero; a line may show a range away from it.
    const ChartScale scale = ChartScale::nice(low, high, !line);
    const Html marks = line || chart.type == ChartType::Area ? lines(chart, data, scale, plot)
                                                             : bars(chart, data, scale, plot);
    return valueAxis(scale, plot, locale) + marks + categoryLabels(data, plot) +
           axisTitles(chart, plot);
}

} // namespace

Html SeriesClass(qsizetype n) {
    return "series-" + Html::number(n % COLOURS + 1);
}

bool ChartHasNumbers(const ChartDefinition& chart, const ChartData& data) {
    for (qsizetype i = 0; i < data.categories.size(); ++i)
        for (qsizetype s = 0; s < data.series.size(); ++s) {
            if (chart.type == ChartType::Pie && s > 0)
                break;
            const std::optional<double> v = data.series[s].values[i].number;
            if (!v || (chart.type == ChartType::Pie && *v <= 0) ||
                (chart.type == ChartType::Scatter && !data.categories[i].number))
                continue;
            return true;
        }
    return false;
}

Html ChartSvg(const ChartDefinition& chart, const ChartData& data, const ChartCaption& caption) {
    const Html title = Html::text(caption.id + QStringLiteral("-title"));
    const Html desc = Html::text(caption.id + QStringLiteral("-desc"));
    return "<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
           Html::number(qint64(WIDTH)) + " " + Html::number(qint64(HEIGHT)) +
           "\" role=\"img\" aria-labelledby=\"" + title + "\" aria-describedby=\"" + desc +
           "\" focusable=\"false\">\n<title id=\"" + title + "\">" + Html::text(caption.title) +
           "</title>\n<desc id=\"" + desc + "\">" + Html::text(caption.description) + "</desc>\n" +
           picture(chart, data, caption.locale) + "\n</svg>";
}

} // namespace webapp
