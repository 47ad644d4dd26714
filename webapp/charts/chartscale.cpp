#include "webapp/charts/chartscale.h"

#include <algorithm>
#include <cmath>

namespace webapp {

namespace {

double niceStep(double range, int ticks) {
    const double rough = range / std::max(1, ticks - 1);
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    const double residual = rough / magnitude;
    const double nice = residual <= 1 ? 1 : residual <= 2 ? 2 : residual <= 5 ? 5 : 10;
    return nice * magnitude;
}

} // namespace

ChartScale ChartScale::nice(double low, double high, bool includeZero, int ticks) {
    if (includeZero) {
        low = std::min(low, 0.0);
        high = std::max(high, 0.0);
    }
    if (!std::isfinite(low) || !std::isfinite(high) || low > high)
        return {};
    if (high == low) {
        // One value: an axis of one step around it (or up from zero).
        const double step = low == 0 ? 1 : niceStep(std::abs(low), 2);
        return low >= 0 && includeZero ? ChartScale{0, std::max(step, high), step}
                                       : ChartScale{low - step, high + step, step};
    }
    const double step = niceStep(high - low, std::max(2, ticks));
    // The small allowance keeps a value a rounding error over a tick from adding a step.
    const double epsilon = step * 1e-9;
    return {std::floor((low + epsilon) / step) * step, std::ceil((high - epsilon) / step) * step,
            step};
}

QList<double> ChartScale::ticks() const {
    QList<double> out;
    const auto count = qsizetype(std::llround((max - min) / step));
    for (qsizetype i = 0; i <= count; ++i) {
        const double v = min + double(i) * step;
        out.append(std::abs(v) < step * 1e-9 ? 0.0 : v); // no "-0"
    }
    return out;
}

int ChartScale::decimals() const {
    int decimals = 0;
    for (double s = step; decimals < 12 && std::abs(s - std::round(s)) > s * 1e-6; s *= 10)
        ++decimals;
    return decimals;
}

double ChartScale::position(double v, double from, double to) const {
    const double t = max > min ? (std::clamp(v, min, max) - min) / (max - min) : 0;
    return from + t * (to - from);
}

} // namespace webapp
