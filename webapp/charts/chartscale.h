#pragma once

#include <QList>

namespace webapp {

// A numeric axis with round ticks: from min to max in steps of 1, 2 or 5 times a power of
// ten, wide enough for the values it was made for. Any thread may call.
struct ChartScale {
    double min = 0;
    double max = 1;
    double step = 1;

    // About ticks ticks (at least two) over low..high; a zero-wide range is widened by one
    // step around its value. includeZero stretches it to 0, the baseline of bars and areas.
    static ChartScale nice(double low, double high, bool includeZero, int ticks = 5);

    QList<double> ticks() const;
    // Decimals that write every tick exactly (0 for steps of 1 and more).
    int decimals() const;
    // Where v lies between the pixels from (at min) and to (at max); v is clamped into range.
    double position(double v, double from, double to) const;
};

} // namespace webapp
