// An object with graphics that lives in a block table record (model space, paper space, a block).
#pragma once

#include "CmColor.h"
#include "DbObject.h"
#include "Ge/GeExtents3d.h"
#include "Ge/GeMatrix3d.h"

class ODKIT_EXPORT OdDbEntity : public OdDbObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbEntity);
    OdDbEntity();
    ~OdDbEntity() override;

    // The block table record that holds it (its owner).
    OdDbObjectId blockId() const { return ownerId(); }

    OdDbObjectId layerId() const;
    OdString layer() const;
    void setLayer(const OdDbObjectId& layerId, bool doSubents = true);
    // OdError(eKeyNotFound) when the database has no such layer.
    void setLayer(const OdString& layerName, bool doSubents = true);

    OdCmColor color() const;
    void setColor(const OdCmColor& color, bool doSubents = true);
    OdUInt16 colorIndex() const;
    void setColorIndex(OdUInt16 colorIndex, bool doSubents = true);
    OdCmEntityColor entityColor() const;

    OdDbObjectId materialId() const;
    OdString material() const;
    void setMaterial(const OdDbObjectId& materialId, bool doSubents = true);

    OdDb::Visibility visibility() const;
    void setVisibility(OdDb::Visibility visibility, bool doSubents = true);

    // Layer "0" (or CLAYER), colour by layer, material by layer, visible.
    void setDatabaseDefaults(OdDbDatabase* db = nullptr, bool doSubents = false);

    // Marks the graphics as changed (the object must be open for write).
    void recordGraphicsModified(bool setModified = true);
    bool isModifiedGraphics() const { return m_graphicsModified; }

    OdResult transformBy(const OdGeMatrix3d& xform) { return subTransformBy(xform); }
    OdResult getGeomExtents(OdGeExtents3d& extents) const { return subGetGeomExtents(extents); }

    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

protected:
    virtual OdResult subTransformBy(const OdGeMatrix3d& xform);
    // eInvalidExtents by default (no geometry).
    virtual OdResult subGetGeomExtents(OdGeExtents3d& extents) const;
    OdUInt32 subSetAttributes(OdGiDrawableTraits* traits) const override;

private:
    OdDbObjectId m_layerId;
    OdCmColor m_color;
    OdDbObjectId m_materialId;
    OdDb::Visibility m_visibility = OdDb::kVisible;
    bool m_graphicsModified = false;
};
typedef OdSmartPtr<OdDbEntity> OdDbEntityPtr;
typedef OdSmartPtr<OdDbObject> OdDbObjectPtr;
