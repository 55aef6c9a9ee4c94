// Colour arithmetic of the colour buttons in the hue-lightness-saturation model: hue,
// lightness and saturation each on a 0 to 240 scale, colour channels 0 to 255.
#pragma once

#include "winport/WinTypes.h"

struct HLSColour {
    int hue;
    int lightness;
    int saturation;
};

HLSColour RGBToHLS(COLORREF colour);
COLORREF HLSToRGB(int hue, int lightness, int saturation);
double HueToRGB(double m1, double m2, double h);
/// Lightness raised by amount, kept within 0 to 240.
COLORREF LightenColour(COLORREF colour, int amount);
/// Lightness lowered by amount, kept within 0 to 240 (a negative amount lightens).
COLORREF DarkenColour(COLORREF colour, int amount);
