#include "webapp/pages/chartplaceholders.h"

#include "webapp/pages/chartpages.h"

#include <QRegularExpression>

namespace webapp {

namespace {

Html placedChart(const PageEnvironment& env, const QString& name, int n) {
    const LoadedChart loaded = LoadChart(env, name);
    if (loaded.refused)
        return {};
    if (!loaded.chart)
        return loaded.problem;
    const Link page = Link(QStringLiteral("chart")).with(QStringLiteral("name"), name);
    Html html = "<section class=\"placed-chart\"><h2>" +
                Anchor(page, loaded.chart->title, env.root()) + "</h2>\n";
    if (loaded.query->parameters.isEmpty()) {
        QueryRun run;
        run.name = loaded.query->name;
        html += DrawChart(env, *loaded.chart, run, QStringLiteral("chart-") + QString::number(n));
    }
    return html + "</section>";
}

} // namespace

Html PageWithCharts(const PageEnvironment& env, const QString& content) {
    static const QRegularExpression placeholder(QStringLiteral("<!--\\s*chart:\\s*(.*?)\\s*-->"),
                                                QRegularExpression::CaseInsensitiveOption |
                                                    QRegularExpression::DotMatchesEverythingOption);
    Html html;
    qsizetype at = 0;
    int n = 0;
    for (const QRegularExpressionMatch& m : placeholder.globalMatch(content)) {
        html += Html::trustedMarkup(content.mid(at, m.capturedStart() - at));
        html += placedChart(env, m.captured(1), ++n);
        at = m.capturedEnd();
    }
    return html + Html::trustedMarkup(content.mid(at));
}

} // namespace webapp
