#pragma once

#include "zalExport.h"

#include "zalIElevation.h"
#include "zalIUEAssetPlaceHolder.h"

#include "DbEntity.h"
#include "Ge/GeMatrix3d.h"

#include <QString>

// A water fountain: drawn in the drawing as a ground circle with four jets, shown by the viewer as the
// particle asset "ConfigurableWaterFountain" driven by the fountain's parameters. Created with
// createObject(); the database holds it once appended.
class ZAL_EXPORT zalDbWaterFountain : public zalIUEAssetPlaceHolder, public OdDbEntity, public zalIElevation
{
public:
    ODRX_DECLARE_MEMBERS(zalDbWaterFountain);
    zalDbWaterFountain();
    ~zalDbWaterFountain() override;

    bool active() const;
    void setActive(bool active);
    double lifetime() const;
    void setLifetime(double lifetime);
    double spawnRate() const;
    void setSpawnRate(double spawnRate);
    double spreadWidth() const;
    void setSpreadWidth(double spreadWidth);
    double spreadStartWidth() const;
    void setSpreadStartWidth(double spreadStartWidth);
    double jetPower() const;
    void setJetPower(double jetPower);
    // Red in bits 0-7, green in 8-15, blue in 16-23.
    unsigned long waterColor() const;
    void setWaterColor(unsigned long color);
    // Placement: the origin is the fountain's position, the symbol lies in its axes.
    OdGeMatrix3d transform() const;
    void setTransform(const OdGeMatrix3d& transform);

    // zalIUEAssetPlaceHolder: "SetFountainParams ..." arguments, the asset and its placement.
    QString getCommand() const override;
    QString getAssetPath() const override;
    OdGeMatrix3d getAssetTransform() const override;
    // The fountain's own position; its asset sits beside it.
    OdGePoint3d gripPoint() const override;

    // zalIElevation: the number of elevation corrections made; puts the fountain on the host's terrain.
    unsigned int buildVersion() const override;
    void updateElevation() override;

    // The fountain's own record only, behind its format version (2).
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

    // The fountain's property page, registered with the property services by class name.
    static void registerPropertySources();
    static void unregisterPropertySources();

protected:
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
    OdResult subTransformBy(const OdGeMatrix3d& xform) override;

private:
    OdGeMatrix3d m_transform;
    bool m_active = false;
    double m_lifetime = 1.0;
    double m_spawnRate = 7500.0;
    double m_spreadWidth = 1.0;
    OdUInt32 m_waterColor = 16768220;
    double m_spreadStartWidth = 0.5;
    double m_jetPower = 1.5;
    OdUInt32 m_buildVersion = 0;
};
typedef OdSmartPtr<zalDbWaterFountain> zalDbWaterFountainPtr;
