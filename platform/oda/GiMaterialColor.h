// Colour component of a material channel.
#pragma once

#include "CmEntityColor.h"

class ODKIT_EXPORT OdGiMaterialColor
{
public:
    enum Method
    {
        kInherit = 0,
        kOverride = 1
    };
    OdGiMaterialColor() = default;
    explicit OdGiMaterialColor(const OdCmEntityColor& color) : m_method(kOverride), m_color(color) {}

    Method method() const { return m_method; }
    void setMethod(Method method) { m_method = method; }
    double factor() const { return m_factor; }
    void setFactor(double factor) { m_factor = factor; }
    const OdCmEntityColor& color() const { return m_color; }
    void setColor(const OdCmEntityColor& color) { m_color = color; }
    bool operator==(const OdGiMaterialColor& c) const
    {
        return m_method == c.m_method && m_factor == c.m_factor && m_color == c.m_color;
    }

private:
    Method m_method = kInherit;
    double m_factor = 1.0;
    OdCmEntityColor m_color;
};
