// Colour as stored by database objects (layer colour, light colour).
#pragma once

#include "CmEntityColor.h"
#include "OdString.h"

class ODKIT_EXPORT OdCmColor
{
public:
    OdCmColor() = default;
    OdCmColor(const OdCmEntityColor& color) : m_color(color) {}
    OdCmColor(OdCmEntityColor::ColorMethod method) : m_color(method) {}

    OdCmEntityColor::ColorMethod colorMethod() const { return m_color.colorMethod(); }
    void setColorMethod(OdCmEntityColor::ColorMethod method) { m_color.setColorMethod(method); }
    bool isByLayer() const { return m_color.isByLayer(); }
    bool isByBlock() const { return m_color.isByBlock(); }
    bool isByColor() const { return m_color.isByColor(); }
    bool isByACI() const { return m_color.isByACI(); }
    OdUInt16 colorIndex() const { return m_color.colorIndex(); }
    void setColorIndex(OdUInt16 index) { m_color.setColorIndex(index); }
    void setRGB(OdUInt8 red, OdUInt8 green, OdUInt8 blue) { m_color.setRGB(red, green, blue); }
    OdUInt8 red() const { return m_color.red(); }
    OdUInt8 green() const { return m_color.green(); }
    OdUInt8 blue() const { return m_color.blue(); }
    OdUInt32 color() const { return m_color.color(); }
    const OdCmEntityColor& entityColor() const { return m_color; }
    OdString colorName() const { return m_name; }
    void setNames(const OdString& colorName, const OdString& bookName = OdString())
    {
        m_name = colorName;
        m_book = bookName;
    }
    OdString bookName() const { return m_book; }
    bool operator==(const OdCmColor& c) const { return m_color == c.m_color; }
    bool operator!=(const OdCmColor& c) const { return m_color != c.m_color; }

private:
    OdCmEntityColor m_color;
    OdString m_name;
    OdString m_book;
};
