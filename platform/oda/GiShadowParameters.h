// Shadow settings of a light, including the shape of an extended (area) light.
#pragma once

#include "OdaCommon.h"

class ODKIT_EXPORT OdGiShadowParameters
{
public:
    enum ShadowType
    {
        kShadowsRayTraced = 0,
        kShadowMaps = 1,
        kAreaSampled = 2
    };
    enum ExtendedLightShape
    {
        kLinear = 0,
        kRectangle = 1,
        kDisk = 2,
        kCylinder = 3,
        kSphere = 4
    };
    OdGiShadowParameters() = default;

    bool shadowsOn() const { return m_on; }
    void setShadowsOn(bool on) { m_on = on; }
    ShadowType shadowType() const { return m_type; }
    void setShadowType(ShadowType type) { m_type = type; }
    ExtendedLightShape extendedLightShape() const { return m_shape; }
    void setExtendedLightShape(ExtendedLightShape shape) { m_shape = shape; }
    double extendedLightLength() const { return m_length; }
    void setExtendedLightLength(double length) { m_length = length; }
    double extendedLightWidth() const { return m_width; }
    void setExtendedLightWidth(double width) { m_width = width; }
    double extendedLightRadius() const { return m_radius; }
    void setExtendedLightRadius(double radius) { m_radius = radius; }
    OdUInt16 shadowSamples() const { return m_samples; }
    void setShadowSamples(OdUInt16 samples) { m_samples = samples; }

private:
    bool m_on = true;
    ShadowType m_type = kShadowsRayTraced;
    ExtendedLightShape m_shape = kLinear;
    double m_length = 0.0;
    double m_width = 0.0;
    double m_radius = 0.0;
    OdUInt16 m_samples = 16;
};
