// Colour of an entity: by layer, by block, an ACI index or a true colour.
#pragma once

#include "OdaCommon.h"

class ODKIT_EXPORT OdCmEntityColor
{
public:
    enum ColorMethod
    {
        kByLayer = 0xC0,
        kByBlock = 0xC1,
        kByColor = 0xC2,
        kByACI = 0xC3,
        kByPen = 0xC4,
        kForeground = 0xC5,
        kByDgnIndex = 0xC7,
        kNone = 0xC8
    };
    enum ACIcolorMethod
    {
        kACIbyBlock = 0,
        kACIRed = 1,
        kACIYellow = 2,
        kACIGreen = 3,
        kACICyan = 4,
        kACIBlue = 5,
        kACIMagenta = 6,
        kACIforeground = 7,
        kACIbyLayer = 256,
        kACInone = 257
    };

    OdCmEntityColor() = default;
    OdCmEntityColor(ColorMethod method);
    OdCmEntityColor(OdUInt8 red, OdUInt8 green, OdUInt8 blue);

    ColorMethod colorMethod() const { return ColorMethod(m_value >> 24); }
    void setColorMethod(ColorMethod method);
    bool isByLayer() const { return colorMethod() == kByLayer; }
    bool isByBlock() const { return colorMethod() == kByBlock; }
    bool isByColor() const { return colorMethod() == kByColor; }
    bool isByACI() const { return colorMethod() == kByACI; }
    bool isNone() const { return colorMethod() == kNone; }

    // ACI index (kByACI); 0 by block, 256 by layer.
    OdUInt16 colorIndex() const;
    void setColorIndex(OdUInt16 index);
    void setRGB(OdUInt8 red, OdUInt8 green, OdUInt8 blue);
    // Components of a true colour, or the looked-up colour of an ACI index.
    OdUInt8 red() const;
    OdUInt8 green() const;
    OdUInt8 blue() const;
    // Method byte in bits 24-31, then red, green, blue in bits 16-23, 8-15, 0-7.
    OdUInt32 color() const { return m_value; }
    void setColor(OdUInt32 value) { m_value = value; }

    // RGB of an ACI index as 0x00RRGGBB (the standard 256-colour palette).
    static OdUInt32 lookUpRGB(OdUInt8 colorIndex);
    // Nearest ACI index (1..255) of a colour.
    static OdUInt8 lookUpACI(OdUInt8 red, OdUInt8 green, OdUInt8 blue);

    bool operator==(const OdCmEntityColor& c) const { return m_value == c.m_value; }
    bool operator!=(const OdCmEntityColor& c) const { return m_value != c.m_value; }

private:
    OdUInt32 m_value = OdUInt32(kByLayer) << 24;
};
