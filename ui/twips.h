#pragma once

#include <cmath>

namespace ui {

// Sizes the program stores and lays out in twips (1/1440 inch; 15 make one pixel at
// 96 dots per inch), converted at the window's dots per inch.
inline constexpr int TWIPS_PER_INCH = 1440;

inline int TwipsToPixels(double twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / TWIPS_PER_INCH));
}
inline int PixelsToTwips(double pixels, double dpi) {
    return static_cast<int>(std::lround(pixels * TWIPS_PER_INCH / dpi));
}

} // namespace ui
