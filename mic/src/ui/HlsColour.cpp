#include "ui/HlsColour.h"

#include <algorithm>

HLSColour RGBToHLS(COLORREF colour)
{
    const double r = GetRValue(colour) / 255.0, g = GetGValue(colour) / 255.0, b = GetBValue(colour) / 255.0;
    const double max = std::max({r, g, b}), min = std::min({r, g, b});
    const double l = (max + min) / 2;
    double h = 0, s = 0;
    if (max != min) {
        const double delta = max - min;
        s = l < 0.5 ? delta / (max + min) : delta / (2.0 - max - min);
        const double rd = ((max - r) / 6.0 + delta / 2.0) / delta;
        const double gd = ((max - g) / 6.0 + delta / 2.0) / delta;
        const double bd = ((max - b) / 6.0 + delta / 2.0) / delta;
        if (r == max)
            h = bd - gd;
        else if (g == max)
            h = 1.0 / 3 + rd - bd;
        else
            h = 2.0 / 3 + gd - rd;
        if (h < 0) h += 1.0;
        if (h > 1.0) h -= 1.0;
    }
    return HLSColour{static_cast<int>(h * 240 + 0.5), static_cast<int>(l * 240), static_cast<int>(s * 240 + 0.5)};
}

double HueToRGB(double m1, double m2, double h)
{
    if (h < 0) h += 1.0;
    if (h > 1.0) h -= 1.0;
    if (6 * h < 1) return m1 + (m2 - m1) * 6 * h;
    if (2 * h < 1) return m2;
    if (3 * h < 2) return m1 + (m2 - m1) * (2.0 / 3 - h) * 6;
    return m1;
}

COLORREF HLSToRGB(int hue, int lightness, int saturation)
{
    const double h = hue / 240.0, l = lightness / 240.0, s = saturation / 240.0;
    if (s == 0) {
        const BYTE v = static_cast<BYTE>(std::clamp(l * 255, 0.0, 255.0));
        return RGB(v, v, v);
    }
    const double m2 = l >= 0.5 ? l + s - l * s : l * (1.0 + s);
    const double m1 = 2 * l - m2;
    auto channel = [&](double hh) { return static_cast<BYTE>(std::clamp(HueToRGB(m1, m2, hh) * 255 + 0.5, 0.0, 255.0)); };
    const BYTE red = channel(h + 1.0 / 3), green = channel(h), blue = channel(h - 1.0 / 3);
    return RGB(red, green, blue);
}

COLORREF LightenColour(COLORREF colour, int amount)
{
    HLSColour c = RGBToHLS(colour);
    c.lightness = std::clamp(c.lightness + amount, 0, 240);
    return HLSToRGB(c.hue, c.lightness, c.saturation);
}

COLORREF DarkenColour(COLORREF colour, int amount)
{
    HLSColour c = RGBToHLS(colour);
    c.lightness = std::clamp(c.lightness - amount, 0, 240);
    return HLSToRGB(c.hue, c.lightness, c.saturation);
}
