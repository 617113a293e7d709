// A light entity: distant, point, spot or web (photometric) light.
#pragma once

#include "CmColor.h"
#include "DbEntity.h"
#include "GiDrawable.h"
#include "GiShadowParameters.h"

class ODKIT_EXPORT OdDbLight : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdDbLight);
    OdDbLight();
    ~OdDbLight() override;

    enum LampColorType
    {
        kKelvin = 0,
        kPreset = 1
    };

    OdString name() const;
    OdResult setName(const OdString& name);
    // kDistantLight, kPointLight, kSpotLight, kWebLight or kAmbientLight.
    OdGiDrawable::DrawableType lightType() const;
    void setLightType(OdGiDrawable::DrawableType type);
    DrawableType drawableType() const override { return lightType(); }

    bool isOn() const;
    void setOn(bool on);
    bool isPlottable() const;
    void setIsPlottable(bool plottable);

    const OdCmColor& lightColor() const;
    void setLightColor(const OdCmColor& color);
    // The colour the light emits (light colour, or the lamp colour of a photometric light).
    OdCmEntityColor resultingColor() const;
    double intensity() const;
    void setIntensity(double intensity);
    double physicalIntensity() const;
    void setPhysicalIntensity(double intensity);
    double illuminanceDistance() const;
    void setIlluminanceDistance(double distance);
    double lampColorTemp() const;
    void setLampColorTemp(double kelvin);

    OdGePoint3d position() const;
    void setPosition(const OdGePoint3d& position);
    OdGePoint3d targetLocation() const;
    void setTargetLocation(const OdGePoint3d& target);
    // Direction of a distant light (from the light towards the scene), else target - position.
    OdGeVector3d lightDirection() const;
    void setLightDirection(const OdGeVector3d& direction);
    // Angles in radians.
    double hotspotAngle() const;
    void setHotspotAndFalloff(double hotspot, double falloff);
    double falloffAngle() const;

    const OdGiShadowParameters& shadowParameters() const;
    void setShadowParameters(const OdGiShadowParameters& params);

    OdString webFile() const;
    void setWebFile(const OdString& fileName);
    // Rotation of the web about X, Y, Z in degrees.
    OdGeVector3d webRotation() const;
    void setWebRotation(const OdGeVector3d& rotation);

    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

protected:
    OdResult subTransformBy(const OdGeMatrix3d& xform) override;
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

private:
    struct Data;
    Data* m_data;
};
typedef OdSmartPtr<OdDbLight> OdDbLightPtr;
