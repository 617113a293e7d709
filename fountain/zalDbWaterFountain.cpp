#include "zalDbWaterFountain.h"

#include "OdDbXmlPropWaterFountain.h"

#include "IzalApplication.h"

#include "DbDatabase.h"
#include "DbFiler.h"
#include "GiWorldDraw.h"
#include "PropServices.h"

#include <algorithm>
#include <cmath>

ODRX_DEFINE_MEMBERS_EX(zalDbWaterFountain, OdDbEntity, DBOBJECT_CONSTR, 33, 55, 3071,
                       OdString(L"zalDbWaterFountain"), OdString(L"zalDbWaterFountain"),
                       OdString(L"zalDbWaterFountain"))

namespace {

const double kPi = 3.14159265358979323846;
const OdInt16 kFormatVersion = 2;

} // namespace

zalDbWaterFountain::zalDbWaterFountain() = default;
zalDbWaterFountain::~zalDbWaterFountain() = default;

bool zalDbWaterFountain::active() const
{
    assertReadEnabled();
    return m_active;
}

void zalDbWaterFountain::setActive(bool active)
{
    assertWriteEnabled();
    m_active = active;
}

double zalDbWaterFountain::lifetime() const
{
    assertReadEnabled();
    return m_lifetime;
}

void zalDbWaterFountain::setLifetime(double lifetime)
{
    assertWriteEnabled();
    m_lifetime = lifetime;
}

double zalDbWaterFountain::spawnRate() const
{
    assertReadEnabled();
    return m_spawnRate;
}

void zalDbWaterFountain::setSpawnRate(double spawnRate)
{
    assertWriteEnabled();
    m_spawnRate = spawnRate;
}

double zalDbWaterFountain::spreadWidth() const
{
    assertReadEnabled();
    return m_spreadWidth;
}

void zalDbWaterFountain::setSpreadWidth(double spreadWidth)
{
    assertWriteEnabled();
    m_spreadWidth = spreadWidth;
}

double zalDbWaterFountain::spreadStartWidth() const
{
    assertReadEnabled();
    return m_spreadStartWidth;
}

void zalDbWaterFountain::setSpreadStartWidth(double spreadStartWidth)
{
    assertWriteEnabled();
    m_spreadStartWidth = spreadStartWidth;
}

double zalDbWaterFountain::jetPower() const
{
    assertReadEnabled();
    return m_jetPower;
}

void zalDbWaterFountain::setJetPower(double jetPower)
{
    assertWriteEnabled();
    m_jetPower = jetPower;
}

unsigned long zalDbWaterFountain::waterColor() const
{
    assertReadEnabled();
    return m_waterColor;
}

void zalDbWaterFountain::setWaterColor(unsigned long color)
{
    assertWriteEnabled();
    m_waterColor = OdUInt32(color);
}

OdGeMatrix3d zalDbWaterFountain::transform() const
{
    assertReadEnabled();
    return m_transform;
}

void zalDbWaterFountain::setTransform(const OdGeMatrix3d& transform)
{
    assertWriteEnabled();
    m_transform = transform;
}

QString zalDbWaterFountain::getCommand() const
{
    assertReadEnabled();
    const double red = double(m_waterColor & 0xFF) / 255.0;
    const double green = double((m_waterColor >> 8) & 0xFF) / 255.0;
    const double blue = double((m_waterColor >> 16) & 0xFF) / 255.0;
    return QStringLiteral("SetFountainParams %1 (R=%2,G=%3,B=%4,A=5.0) %5 %6 %7 %8 %9")
        .arg(m_active ? QStringLiteral("True") : QStringLiteral("False"))
        .arg(red, 0, 'g', -1)
        .arg(green, 0, 'g', -1)
        .arg(blue, 0, 'g', -1)
        .arg(m_lifetime, 0, 'g', -1)
        .arg(m_spawnRate, 0, 'g', -1)
        .arg(m_spreadWidth, 0, 'g', -1)
        .arg(m_spreadStartWidth, 0, 'g', -1)
        .arg(m_jetPower, 0, 'g', -1);
}

QString zalDbWaterFountain::getAssetPath() const
{
    return QStringLiteral("ConfigurableWaterFountain");
}

OdGePoint3d zalDbWaterFountain::gripPoint() const
{
    OdGePoint3d point = OdGePoint3d::kOrigin;
    return point.transformBy(transform());
}

OdGeMatrix3d zalDbWaterFountain::getAssetTransform() const
{
    assertReadEnabled();
    // The asset's origin sits one unit along its own X axis from the drawing's fountain position.
    const OdGeVector3d xAxis = OdGeVector3d(OdGeVector3d::kXAxis).transformBy(m_transform).normal();
    return OdGeMatrix3d::translation(-xAxis) * m_transform;
}

unsigned int zalDbWaterFountain::buildVersion() const
{
    assertReadEnabled();
    return m_buildVersion;
}

void zalDbWaterFountain::updateElevation()
{
    assertWriteEnabled();
    IzalApplication* app = zalApp();
    OdDbDatabase* db = database();
    if (!app || !db) return;
    app->beginElevationQuery();
    const OdGePoint3d origin = m_transform.getCsOrigin();
    double elevation = 0.0;
    if (app->elevationAt(db, origin, elevation)) {
        m_transform.preMultBy(OdGeMatrix3d::translation(OdGeVector3d(0.0, 0.0, elevation - origin.z)));
        ++m_buildVersion;
    }
    app->endElevationQuery();
}

OdResult zalDbWaterFountain::dwgInFields(OdDbDwgFiler* filer)
{
    assertWriteEnabled();
    const OdInt16 version = filer->rdInt16();
    // A record from a later writer has fields this one would misread; version 0 was never written.
    if (version < 1 || version > kFormatVersion) return eInvalidInput;
    m_active = filer->rdBool();
    m_lifetime = filer->rdDouble();
    m_spawnRate = filer->rdDouble();
    m_spreadWidth = filer->rdDouble();
    m_waterColor = OdUInt32(filer->rdInt32());
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            m_transform.entry[row][column] = filer->rdDouble();
    if (version >= 2) {
        m_jetPower = filer->rdDouble();
        m_spreadStartWidth = filer->rdDouble();
    } else {
        // Drawings from before the jets could be tuned carry the values they were drawn with.
        m_jetPower = 1.0;
        m_spreadStartWidth = 0.25;
    }
    return eOk;
}

void zalDbWaterFountain::dwgOutFields(OdDbDwgFiler* filer) const
{
    assertReadEnabled();
    filer->wrInt16(kFormatVersion);
    filer->wrBool(m_active);
    filer->wrDouble(m_lifetime);
    filer->wrDouble(m_spawnRate);
    filer->wrDouble(m_spreadWidth);
    filer->wrInt32(OdInt32(m_waterColor));
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            filer->wrDouble(m_transform.entry[row][column]);
    filer->wrDouble(m_jetPower);
    filer->wrDouble(m_spreadStartWidth);
}

bool zalDbWaterFountain::subWorldDraw(OdGiWorldDraw* worldDraw) const
{
    assertReadEnabled();
    OdGiSubEntityTraits& traits = worldDraw->subEntityTraits();
    OdGiWorldGeometry& geometry = worldDraw->geometry();
    traits.setColor(colorIndex());
    traits.setTrueColor(entityColor());

    OdGePoint3d origin;
    OdGeVector3d xAxis, yAxis, zAxis;
    m_transform.getCoordSystem(origin, xAxis, yAxis, zAxis);
    // The placement's own axes: a mirrored fountain keeps its Y jets on its mirrored side.
    const OdGeVector3d x = xAxis.normal(), y = yAxis.normal(), z = zAxis.normal();

    // The ground circle; the last sample repeats the first so the outline closes.
    OdGePoint3d ring[16];
    for (int i = 0; i < 16; ++i) {
        const double angle = 2.0 * kPi * i / 15.0;
        ring[i] = origin + x * (m_spreadWidth * std::cos(angle)) + y * (m_spreadWidth * std::sin(angle));
    }
    geometry.polyline(16, ring, &z);

    OdCmEntityColor water;
    water.setColorMethod(OdCmEntityColor::kByColor);
    water.setRGB(OdUInt8(m_waterColor & 0xFF), OdUInt8((m_waterColor >> 8) & 0xFF),
                 OdUInt8((m_waterColor >> 16) & 0xFF));
    traits.setTrueColor(water);

    // Jets stay readable in the drawing however strong or wide the effect is.
    const double a = std::clamp(m_jetPower * m_lifetime, 0.01, 1.0);
    const double w = std::clamp(m_spreadWidth, 0.01, 2.5);
    const OdGeVector3d worldAxes[4] = {OdGeVector3d::kXAxis, -OdGeVector3d::kXAxis, OdGeVector3d::kYAxis,
                                       -OdGeVector3d::kYAxis};
    const OdGeVector3d ownAxes[4] = {x, -x, y, -y};
    for (int i = 0; i < 4; ++i)
        geometry.ellipArc(origin + worldAxes[i] * (w / 2.0), z * (1.5 * a), ownAxes[i] * (w / 2.0),
                          -kPi / 2.0, a * kPi / 2.0);
    return true;
}

OdResult zalDbWaterFountain::subTransformBy(const OdGeMatrix3d& xform)
{
    assertWriteEnabled();
    m_transform.preMultBy(xform);
    return eOk;
}

void zalDbWaterFountain::registerPropertySources()
{
    OdPropServicesPtr services = odrxPropServices();
    if (services.isNull()) return;
    services->registerXmlProp(
        OdString(L"zalDbWaterFountain"),
        [](OdRxObject* object) -> OdPropSourcePtr {
            zalDbWaterFountain* fountain = dynamic_cast<zalDbWaterFountain*>(object);
            if (!fountain) return OdPropSourcePtr();
            return OdPropSourcePtr(OdDbXmlPropWaterFountain::createObject(fountain).get());
        },
        0xFFFFFFFF);
}

void zalDbWaterFountain::unregisterPropertySources()
{
    OdPropServicesPtr services = odrxPropServices();
    if (!services.isNull()) services->unregisterXmlProp(OdString(L"zalDbWaterFountain"));
}
