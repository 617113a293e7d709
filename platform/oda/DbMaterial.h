// A render material. Every database has "ByBlock", "ByLayer" and "Global" in its material
// dictionary.
#pragma once

#include "DbObject.h"
#include "GiMaterialColor.h"
#include "GiMaterialMap.h"

class ODKIT_EXPORT OdDbMaterial : public OdDbObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbMaterial);
    OdDbMaterial();
    ~OdDbMaterial() override;

    OdString name() const;
    OdResult setName(const OdString& name);
    OdString description() const;
    void setDescription(const OdString& description);

    void ambient(OdGiMaterialColor& color) const;
    void setAmbient(const OdGiMaterialColor& color);
    void diffuse(OdGiMaterialColor& color, OdGiMaterialMap& map) const;
    void setDiffuse(const OdGiMaterialColor& color, const OdGiMaterialMap& map);
    void specular(OdGiMaterialColor& color, OdGiMaterialMap& map, double& glossFactor) const;
    void setSpecular(const OdGiMaterialColor& color, const OdGiMaterialMap& map, double glossFactor);
    void reflection(OdGiMaterialMap& map) const;
    void setReflection(const OdGiMaterialMap& map);
    // Opacity in [0, 1] and its map.
    void opacity(double& percentage, OdGiMaterialMap& map) const;
    void setOpacity(double percentage, const OdGiMaterialMap& map);
    void bump(OdGiMaterialMap& map) const;
    void setBump(const OdGiMaterialMap& map);
    void refraction(double& index, OdGiMaterialMap& map) const;
    void setRefraction(double index, const OdGiMaterialMap& map);
    double reflectivity() const;
    void setReflectivity(double value);
    double selfIllumination() const;
    void setSelfIllumination(double value);
    bool twoSided() const;
    void setTwoSided(bool value);

    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    struct Data;
    Data* m_data;
};
typedef OdSmartPtr<OdDbMaterial> OdDbMaterialPtr;
