#include "DbLight.h"

#include "DbFilerEnum.h"

#include "DbFiler.h"
#include "internal/DbDefine.h"

#include <algorithm>
#include <cmath>

ODKIT_DB_DEFINE_MEMBERS(OdDbLight, OdDbEntity, DBOBJECT_CONSTR, L"AcDbLight", L"LIGHT")

struct OdDbLight::Data
{
    OdString name;
    OdGiDrawable::DrawableType type = OdGiDrawable::kPointLight;
    bool on = true;
    bool plottable = true;
    OdCmColor color;
    double intensity = 1.0;
    double physicalIntensity = 1500.0;
    double illuminanceDistance = 1.0;
    double kelvin = 6500.0;
    OdGePoint3d position;
    OdGePoint3d target{0.0, 0.0, -1.0};
    OdGeVector3d direction{0.0, 0.0, -1.0};
    double hotspot = OdaPI / 4.0;
    double falloff = OdaPI / 3.0;
    OdGiShadowParameters shadow;
    OdString webFile;
    OdGeVector3d webRotation;
};

OdDbLight::OdDbLight() : m_data(new Data)
{
    m_data->color.setRGB(255, 255, 255);
}

OdDbLight::~OdDbLight()
{
    delete m_data;
}

OdString OdDbLight::name() const
{
    assertReadEnabled();
    return m_data->name;
}
OdResult OdDbLight::setName(const OdString& name)
{
    assertWriteEnabled();
    m_data->name = name;
    return eOk;
}
OdGiDrawable::DrawableType OdDbLight::lightType() const
{
    assertReadEnabled();
    return m_data->type;
}
void OdDbLight::setLightType(OdGiDrawable::DrawableType type)
{
    assertWriteEnabled();
    m_data->type = type;
}
bool OdDbLight::isOn() const
{
    assertReadEnabled();
    return m_data->on;
}
void OdDbLight::setOn(bool on)
{
    assertWriteEnabled();
    m_data->on = on;
}
bool OdDbLight::isPlottable() const
{
    assertReadEnabled();
    return m_data->plottable;
}
void OdDbLight::setIsPlottable(bool plottable)
{
    assertWriteEnabled();
    m_data->plottable = plottable;
}
const OdCmColor& OdDbLight::lightColor() const
{
    assertReadEnabled();
    return m_data->color;
}
void OdDbLight::setLightColor(const OdCmColor& color)
{
    assertWriteEnabled();
    m_data->color = color;
}

OdCmEntityColor OdDbLight::resultingColor() const
{
    assertReadEnabled();
    const OdCmColor& c = m_data->color;
    return OdCmEntityColor(c.red(), c.green(), c.blue());
}

double OdDbLight::intensity() const
{
    assertReadEnabled();
    return m_data->intensity;
}
void OdDbLight::setIntensity(double intensity)
{
    assertWriteEnabled();
    m_data->intensity = intensity;
}
double OdDbLight::physicalIntensity() const
{
    assertReadEnabled();
    return m_data->physicalIntensity;
}
void OdDbLight::setPhysicalIntensity(double intensity)
{
    assertWriteEnabled();
    m_data->physicalIntensity = intensity;
}
double OdDbLight::illuminanceDistance() const
{
    assertReadEnabled();
    return m_data->illuminanceDistance;
}
void OdDbLight::setIlluminanceDistance(double distance)
{
    assertWriteEnabled();
    m_data->illuminanceDistance = distance;
}
double OdDbLight::lampColorTemp() const
{
    assertReadEnabled();
    return m_data->kelvin;
}
void OdDbLight::setLampColorTemp(double kelvin)
{
    assertWriteEnabled();
    m_data->kelvin = kelvin;
}
OdGePoint3d OdDbLight::position() const
{
    assertReadEnabled();
    return m_data->position;
}
void OdDbLight::setPosition(const OdGePoint3d& position)
{
    assertWriteEnabled();
    m_data->position = position;
}
OdGePoint3d OdDbLight::targetLocation() const
{
    assertReadEnabled();
    return m_data->target;
}
void OdDbLight::setTargetLocation(const OdGePoint3d& target)
{
    assertWriteEnabled();
    m_data->target = target;
}

OdGeVector3d OdDbLight::lightDirection() const
{
    assertReadEnabled();
    if (m_data->type == OdGiDrawable::kDistantLight) return m_data->direction;
    return m_data->target - m_data->position;
}

void OdDbLight::setLightDirection(const OdGeVector3d& direction)
{
    assertWriteEnabled();
    m_data->direction = direction;
}

double OdDbLight::hotspotAngle() const
{
    assertReadEnabled();
    return m_data->hotspot;
}
void OdDbLight::setHotspotAndFalloff(double hotspot, double falloff)
{
    assertWriteEnabled();
    m_data->hotspot = hotspot;
    m_data->falloff = falloff;
}
double OdDbLight::falloffAngle() const
{
    assertReadEnabled();
    return m_data->falloff;
}
const OdGiShadowParameters& OdDbLight::shadowParameters() const
{
    assertReadEnabled();
    return m_data->shadow;
}
void OdDbLight::setShadowParameters(const OdGiShadowParameters& params)
{
    assertWriteEnabled();
    m_data->shadow = params;
}
OdString OdDbLight::webFile() const
{
    assertReadEnabled();
    return m_data->webFile;
}
void OdDbLight::setWebFile(const OdString& fileName)
{
    assertWriteEnabled();
    m_data->webFile = fileName;
}
OdGeVector3d OdDbLight::webRotation() const
{
    assertReadEnabled();
    return m_data->webRotation;
}
void OdDbLight::setWebRotation(const OdGeVector3d& rotation)
{
    assertWriteEnabled();
    m_data->webRotation = rotation;
}

OdResult OdDbLight::subTransformBy(const OdGeMatrix3d& xform)
{
    assertWriteEnabled();
    m_data->position = xform * m_data->position;
    m_data->target = xform * m_data->target;
    m_data->direction = xform * m_data->direction;
    return eOk;
}

OdResult OdDbLight::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    if (m_data->type == OdGiDrawable::kDistantLight || m_data->type == OdGiDrawable::kAmbientLight)
        return eInvalidExtents;
    extents = OdGeExtents3d(m_data->position, m_data->position);
    return eOk;
}

OdResult OdDbLight::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbEntity::dwgInFields(filer);
    if (res != eOk) return res;
    Data& d = *m_data;
    d.name = filer->rdString();
    d.type = odRdEnum16(filer, OdGiDrawable::kGeometry, OdGiDrawable::kImageBasedLightingBackground);
    d.on = filer->rdBool();
    d.plottable = filer->rdBool();
    OdCmEntityColor c;
    c.setColor(OdUInt32(filer->rdInt32()));
    d.color = OdCmColor(c);
    d.intensity = filer->rdDouble();
    d.physicalIntensity = filer->rdDouble();
    d.illuminanceDistance = filer->rdDouble();
    d.kelvin = filer->rdDouble();
    d.position = filer->rdPoint3d();
    d.target = filer->rdPoint3d();
    d.direction = filer->rdVector3d();
    d.hotspot = filer->rdDouble();
    d.falloff = filer->rdDouble();
    d.shadow.setShadowsOn(filer->rdBool());
    d.shadow.setShadowType(
        odRdEnum16(filer, OdGiShadowParameters::kShadowsRayTraced, OdGiShadowParameters::kAreaSampled));
    d.shadow.setExtendedLightShape(
        odRdEnum16(filer, OdGiShadowParameters::kLinear, OdGiShadowParameters::kSphere));
    d.shadow.setExtendedLightLength(filer->rdDouble());
    d.shadow.setExtendedLightWidth(filer->rdDouble());
    d.shadow.setExtendedLightRadius(filer->rdDouble());
    d.shadow.setShadowSamples(OdUInt16(filer->rdInt16()));
    d.webFile = filer->rdString();
    d.webRotation = filer->rdVector3d();
    return eOk;
}

void OdDbLight::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    const Data& d = *m_data;
    filer->wrString(d.name);
    filer->wrInt16(OdInt16(d.type));
    filer->wrBool(d.on);
    filer->wrBool(d.plottable);
    filer->wrInt32(OdInt32(d.color.color()));
    filer->wrDouble(d.intensity);
    filer->wrDouble(d.physicalIntensity);
    filer->wrDouble(d.illuminanceDistance);
    filer->wrDouble(d.kelvin);
    filer->wrPoint3d(d.position);
    filer->wrPoint3d(d.target);
    filer->wrVector3d(d.direction);
    filer->wrDouble(d.hotspot);
    filer->wrDouble(d.falloff);
    filer->wrBool(d.shadow.shadowsOn());
    filer->wrInt16(OdInt16(d.shadow.shadowType()));
    filer->wrInt16(OdInt16(d.shadow.extendedLightShape()));
    filer->wrDouble(d.shadow.extendedLightLength());
    filer->wrDouble(d.shadow.extendedLightWidth());
    filer->wrDouble(d.shadow.extendedLightRadius());
    filer->wrInt16(OdInt16(d.shadow.shadowSamples()));
    filer->wrString(d.webFile);
    filer->wrVector3d(d.webRotation);
}
