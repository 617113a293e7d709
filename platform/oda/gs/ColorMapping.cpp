#include "ColorMapping.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

// The ACI table: 1-9 named colours, 10-249 twenty-four hues in steps of 15 degrees, each at five values
// with a full and a half saturation, 250-255 greys. Built once; index 7 is white.
std::array<ODCOLORREF, 256> buildAciTable()
{
    std::array<ODCOLORREF, 256> t{};
    t[0] = ODRGB(0, 0, 0);
    t[1] = ODRGB(255, 0, 0);
    t[2] = ODRGB(255, 255, 0);
    t[3] = ODRGB(0, 255, 0);
    t[4] = ODRGB(0, 255, 255);
    t[5] = ODRGB(0, 0, 255);
    t[6] = ODRGB(255, 0, 255);
    t[7] = ODRGB(255, 255, 255);
    t[8] = ODRGB(128, 128, 128);
    t[9] = ODRGB(192, 192, 192);
    static const int values[5] = {255, 204, 153, 127, 76};
    for (int i = 10; i < 250; ++i) {
        const int hueStep = (i - 10) / 10;
        const int level = (i - 10) % 10;
        const double hue = hueStep * 15.0;
        const int value = values[level / 2];
        const bool pastel = (level % 2) == 1;
        auto channel = [&](int n) {
            const double k = std::fmod(n + hue / 60.0, 6.0);
            const double f = 1.0 - std::max(0.0, std::min({k, 4.0 - k, 1.0}));
            const double c = pastel ? value * (1.0 + f) / 2.0 : value * f;
            return int(std::floor(c + 1e-9));
        };
        t[i] = ODRGB(channel(5), channel(3), channel(1));
    }
    static const int greys[6] = {51, 80, 105, 130, 190, 255};
    for (int i = 0; i < 6; ++i)
        t[250 + i] = ODRGB(greys[i], greys[i], greys[i]);
    return t;
}

const std::array<ODCOLORREF, 256>& aciTable()
{
    static const std::array<ODCOLORREF, 256> table = buildAciTable();
    return table;
}

bool isLight(ODCOLORREF c)
{
    return (ODGETRED(c) * 299 + ODGETGREEN(c) * 587 + ODGETBLUE(c) * 114) / 1000 >= 128;
}

} // namespace

ODCOLORREF odcmLookupAci(std::uint8_t index)
{
    return aciTable()[index];
}

const ODCOLORREF* odcmAcadPalette(ODCOLORREF background)
{
    static const std::array<ODCOLORREF, 256> dark = aciTable();
    static const std::array<ODCOLORREF, 256> light = [] {
        std::array<ODCOLORREF, 256> t = aciTable();
        t[7] = ODRGB(0, 0, 0);
        return t;
    }();
    return isLight(background) ? light.data() : dark.data();
}
