#include "CmEntityColor.h"

#include <cmath>

OdCmEntityColor::OdCmEntityColor(ColorMethod method)
{
    setColorMethod(method);
}

OdCmEntityColor::OdCmEntityColor(OdUInt8 red, OdUInt8 green, OdUInt8 blue)
{
    setRGB(red, green, blue);
}

void OdCmEntityColor::setColorMethod(ColorMethod method)
{
    m_value = OdUInt32(method) << 24;
    if (method == kByACI) m_value |= kACIforeground;
}

OdUInt16 OdCmEntityColor::colorIndex() const
{
    switch (colorMethod()) {
    case kByLayer:
        return kACIbyLayer;
    case kByBlock:
        return kACIbyBlock;
    case kByACI:
        return OdUInt16(m_value & 0xFFFF);
    case kByColor:
        return lookUpACI(red(), green(), blue());
    case kForeground:
        return kACIforeground;
    default:
        return kACInone;
    }
}

void OdCmEntityColor::setColorIndex(OdUInt16 index)
{
    if (index == kACIbyLayer)
        m_value = OdUInt32(kByLayer) << 24;
    else if (index == kACIbyBlock)
        m_value = OdUInt32(kByBlock) << 24;
    else if (index >= kACInone)
        m_value = OdUInt32(kNone) << 24;
    else
        m_value = (OdUInt32(kByACI) << 24) | index;
}

void OdCmEntityColor::setRGB(OdUInt8 r, OdUInt8 g, OdUInt8 b)
{
    m_value = (OdUInt32(kByColor) << 24) | (OdUInt32(r) << 16) | (OdUInt32(g) << 8) | b;
}

OdUInt8 OdCmEntityColor::red() const
{
    if (colorMethod() == kByACI) return OdUInt8(lookUpRGB(OdUInt8(colorIndex())) >> 16);
    return OdUInt8(m_value >> 16);
}

OdUInt8 OdCmEntityColor::green() const
{
    if (colorMethod() == kByACI) return OdUInt8(lookUpRGB(OdUInt8(colorIndex())) >> 8);
    return OdUInt8(m_value >> 8);
}

OdUInt8 OdCmEntityColor::blue() const
{
    if (colorMethod() == kByACI) return OdUInt8(lookUpRGB(OdUInt8(colorIndex())));
    return OdUInt8(m_value);
}

OdUInt32 OdCmEntityColor::lookUpRGB(OdUInt8 index)
{
    static const OdUInt32 basic[10] = {0x000000, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF,
                                       0x0000FF, 0xFF00FF, 0xFFFFFF, 0x808080, 0xC0C0C0};
    if (index < 10) return basic[index];
    if (index >= 250) {
        static const OdUInt8 grays[6] = {51, 91, 132, 173, 214, 255};
        OdUInt32 g = grays[index - 250];
        return (g << 16) | (g << 8) | g;
    }
    // 24 hues of 15 degrees; in each group five brightness levels, full then half saturation.
    static const double levels[5] = {255.0, 165.0, 127.0, 76.0, 38.0};
    int group = (index - 10) / 10;
    int offset = (index - 10) % 10;
    double v = levels[offset / 2];
    double s = (offset % 2) ? 0.5 : 1.0;
    double h = group * 15.0 / 60.0;
    int sector = int(h) % 6;
    double f = h - std::floor(h);
    double p = v * (1.0 - s), q = v * (1.0 - s * f), t = v * (1.0 - s * (1.0 - f));
    double r, g, b;
    switch (sector) {
    case 0:
        r = v, g = t, b = p;
        break;
    case 1:
        r = q, g = v, b = p;
        break;
    case 2:
        r = p, g = v, b = t;
        break;
    case 3:
        r = p, g = q, b = v;
        break;
    case 4:
        r = t, g = p, b = v;
        break;
    default:
        r = v, g = p, b = q;
        break;
    }
    return (OdUInt32(std::floor(r)) << 16) | (OdUInt32(std::floor(g)) << 8) | OdUInt32(std::floor(b));
}

OdUInt8 OdCmEntityColor::lookUpACI(OdUInt8 r, OdUInt8 g, OdUInt8 b)
{
    int best = 1;
    long bestDistance = -1;
    for (int i = 1; i < 256; ++i) {
        OdUInt32 c = lookUpRGB(OdUInt8(i));
        long dr = long((c >> 16) & 0xFF) - r, dg = long((c >> 8) & 0xFF) - g, db = long(c & 0xFF) - b;
        long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return OdUInt8(best);
}
