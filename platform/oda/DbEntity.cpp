#include "DbEntity.h"

#include "DbFilerEnum.h"

#include "DbDatabase.h"
#include "DbFiler.h"
#include "DbLayerTable.h"
#include "DbMaterial.h"
#include "internal/DbDefine.h"

ODKIT_DB_DEFINE_MEMBERS(OdDbEntity, OdDbObject, NO_CONSTR, L"AcDbEntity", L"")

OdDbEntity::OdDbEntity() = default;
OdDbEntity::~OdDbEntity() = default;

OdDbObjectId OdDbEntity::layerId() const
{
    assertReadEnabled();
    return m_layerId;
}

OdString OdDbEntity::layer() const
{
    assertReadEnabled();
    OdDbObjectPtr layer = m_layerId.openObject();
    if (layer.isNull()) return OdString();
    return OdDbLayerTableRecord::cast(layer)->getName();
}

void OdDbEntity::setLayer(const OdDbObjectId& layerId, bool)
{
    assertWriteEnabled();
    m_layerId = layerId;
}

void OdDbEntity::setLayer(const OdString& layerName, bool doSubents)
{
    OdDbDatabase* db = database();
    if (!db) throw OdError(eNotInDatabase);
    OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject();
    OdDbObjectId id = layers->getAt(layerName);
    if (id.isNull()) throw OdError(eKeyNotFound, OdString(L"No layer ") + layerName);
    setLayer(id, doSubents);
}

OdCmColor OdDbEntity::color() const
{
    assertReadEnabled();
    return m_color;
}

void OdDbEntity::setColor(const OdCmColor& color, bool)
{
    assertWriteEnabled();
    m_color = color;
}

OdUInt16 OdDbEntity::colorIndex() const
{
    assertReadEnabled();
    return m_color.colorIndex();
}

void OdDbEntity::setColorIndex(OdUInt16 colorIndex, bool)
{
    assertWriteEnabled();
    m_color.setColorIndex(colorIndex);
}

OdCmEntityColor OdDbEntity::entityColor() const
{
    assertReadEnabled();
    return m_color.entityColor();
}

OdDbObjectId OdDbEntity::materialId() const
{
    assertReadEnabled();
    return m_materialId;
}

OdString OdDbEntity::material() const
{
    assertReadEnabled();
    OdDbObjectPtr material = m_materialId.openObject();
    if (material.isNull()) return OdString();
    return OdDbMaterial::cast(material)->name();
}

void OdDbEntity::setMaterial(const OdDbObjectId& materialId, bool)
{
    assertWriteEnabled();
    m_materialId = materialId;
}

OdDb::Visibility OdDbEntity::visibility() const
{
    assertReadEnabled();
    return m_visibility;
}

void OdDbEntity::setVisibility(OdDb::Visibility visibility, bool)
{
    assertWriteEnabled();
    m_visibility = visibility;
}

void OdDbEntity::setDatabaseDefaults(OdDbDatabase* db, bool)
{
    assertWriteEnabled();
    if (!db) db = database();
    m_color = OdCmColor(OdCmEntityColor::kByLayer);
    m_visibility = OdDb::kVisible;
    if (db) {
        m_layerId = db->getCLAYER();
        m_materialId = db->byLayerMaterialId();
    }
}

void OdDbEntity::recordGraphicsModified(bool setModified)
{
    assertWriteEnabled(true, setModified);
    m_graphicsModified = setModified;
}

OdResult OdDbEntity::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbObject::dwgInFields(filer);
    if (res != eOk) return res;
    m_layerId = filer->rdHardPointerId();
    OdCmEntityColor c;
    c.setColor(OdUInt32(filer->rdInt32()));
    m_color = OdCmColor(c);
    m_materialId = filer->rdHardPointerId();
    m_visibility = odRdEnum16(filer, OdDb::kVisible, OdDb::kInvisible);
    return eOk;
}

void OdDbEntity::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbObject::dwgOutFields(filer);
    filer->wrHardPointerId(m_layerId);
    filer->wrInt32(OdInt32(m_color.color()));
    filer->wrHardPointerId(m_materialId);
    filer->wrInt16(OdInt16(m_visibility));
}

OdResult OdDbEntity::subTransformBy(const OdGeMatrix3d&)
{
    return eNotApplicable;
}

OdResult OdDbEntity::subGetGeomExtents(OdGeExtents3d&) const
{
    return eInvalidExtents;
}

OdUInt32 OdDbEntity::subSetAttributes(OdGiDrawableTraits*) const
{
    return m_visibility == OdDb::kInvisible ? (kDrawableIsAnEntity | kDrawableIsInvisible)
                                            : kDrawableIsAnEntity;
}
