#include "DbBlockReference.h"

#include "DbBlockTableRecord.h"
#include "DbFiler.h"
#include "internal/DbDefine.h"
#include "internal/DbImpl.h"

#include <cmath>

ODKIT_DB_DEFINE_MEMBERS(OdDbBlockReference, OdDbEntity, DBOBJECT_CONSTR, L"AcDbBlockReference", L"INSERT")

OdDbBlockReference::OdDbBlockReference() = default;
OdDbBlockReference::~OdDbBlockReference() = default;

OdDbObjectId OdDbBlockReference::blockTableRecord() const
{
    assertReadEnabled();
    return m_blockId;
}

void OdDbBlockReference::setBlockTableRecord(const OdDbObjectId& blockId)
{
    assertWriteEnabled();
    if (isDBRO()) {
        OdDbObjectAccess::removeReference(m_blockId, objectId());
        OdDbObjectAccess::addReference(blockId, objectId());
    }
    m_blockId = blockId;
}

OdGePoint3d OdDbBlockReference::position() const
{
    assertReadEnabled();
    return m_position;
}

void OdDbBlockReference::setPosition(const OdGePoint3d& position)
{
    assertWriteEnabled();
    m_position = position;
}

OdGeScale3d OdDbBlockReference::scaleFactors() const
{
    assertReadEnabled();
    return m_scale;
}

void OdDbBlockReference::setScaleFactors(const OdGeScale3d& scale)
{
    assertWriteEnabled();
    m_scale = scale;
}

double OdDbBlockReference::rotation() const
{
    assertReadEnabled();
    return m_rotation;
}

void OdDbBlockReference::setRotation(double angle)
{
    assertWriteEnabled();
    m_rotation = angle;
}

OdGeVector3d OdDbBlockReference::normal() const
{
    assertReadEnabled();
    return m_normal;
}

void OdDbBlockReference::setNormal(const OdGeVector3d& normal)
{
    assertWriteEnabled();
    if (normal.isZeroLength()) throw OdError(eInvalidInput, L"Zero-length normal");
    m_normal = normal.normal();
}

OdGeMatrix3d OdDbBlockReference::blockTransform() const
{
    assertReadEnabled();
    OdGePoint3d origin;
    if (OdDbObject* block = OdDbObjectAccess::object(m_blockId)) {
        OdDbObjectPtr open = m_blockId.openObject(OdDb::kForRead, true);
        origin = static_cast<OdDbBlockTableRecord*>(block)->origin();
    }
    return OdGeMatrix3d::translation(m_position.asVector()) * OdGeMatrix3d::planeToWorld(m_normal) *
           OdGeMatrix3d::rotation(m_rotation, OdGeVector3d::kZAxis) * OdGeMatrix3d::scaling(m_scale) *
           OdGeMatrix3d::translation(-origin.asVector());
}

OdResult OdDbBlockReference::setBlockTransform(const OdGeMatrix3d& xform)
{
    assertWriteEnabled();
    OdGeVector3d x = xform.getCsXAxis(), y = xform.getCsYAxis(), z = xform.getCsZAxis();
    double sx = x.length(), sy = y.length(), sz = z.length();
    if (sx < 1e-12 || sy < 1e-12 || sz < 1e-12) return eInvalidInput;
    // A mirrored transform keeps the normal along the X-Y cross product and carries the
    // mirror in a negative Z scale.
    OdGeVector3d n = x.crossProduct(y).normal();
    if (z.dotProduct(n) < 0.0) sz = -sz;
    OdGePoint3d origin;
    if (OdDbObject* block = OdDbObjectAccess::object(m_blockId)) {
        OdDbObjectPtr open = m_blockId.openObject(OdDb::kForRead, true);
        origin = static_cast<OdDbBlockTableRecord*>(block)->origin();
    }
    m_normal = n;
    OdGeVector3d xInPlane = OdGeMatrix3d::worldToPlane(n) * x;
    m_rotation = std::atan2(xInPlane.y, xInPlane.x);
    m_scale = OdGeScale3d(sx, sy, sz);
    // position = xform * origin (the block origin lands on the insertion point).
    m_position = xform * origin;
    return eOk;
}

OdResult OdDbBlockReference::subTransformBy(const OdGeMatrix3d& xform)
{
    return setBlockTransform(xform * blockTransform());
}

OdResult OdDbBlockReference::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    OdDbObjectPtr block = m_blockId.openObject();
    if (block.isNull()) return eInvalidExtents;
    OdGeExtents3d e;
    OdResult res = static_cast<OdDbBlockTableRecord*>(block.get())->getGeomExtents(e);
    if (res != eOk) return res;
    e.transformBy(blockTransform());
    extents = e;
    return eOk;
}

OdResult OdDbBlockReference::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbEntity::dwgInFields(filer);
    if (res != eOk) return res;
    m_blockId = filer->rdHardPointerId();
    m_position = filer->rdPoint3d();
    m_scale = filer->rdScale3d();
    m_rotation = filer->rdDouble();
    m_normal = filer->rdVector3d();
    return eOk;
}

void OdDbBlockReference::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    filer->wrHardPointerId(m_blockId);
    filer->wrPoint3d(m_position);
    filer->wrScale3d(m_scale);
    filer->wrDouble(m_rotation);
    filer->wrVector3d(m_normal);
}
