#include "zalDbXBlock.h"

#include "DbFiler.h"

#include "GiWorldDraw.h"

#include "Ge/GeExtents3d.h"
#include "RxClass.h"

ODRX_DEFINE_MEMBERS_EX(zalDbXBlock, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"ZALXBLOCK"),
                       OdString(L"zalOdDbEx"), OdString(L"zalDbXBlock"))

namespace {
const int kViewerRepresentation = 4;
}

zalDbXBlock::zalDbXBlock() = default;

zalDbXBlock::~zalDbXBlock() = default;

OdString zalDbXBlock::subObjectPath(int representationType) const
{
    assertReadEnabled();
    auto it = m_paths.find(representationType);
    return it == m_paths.end() ? OdString() : it->second;
}

void zalDbXBlock::setSubObjectPath(int representationType, const OdString& path)
{
    assertWriteEnabled();
    m_paths[representationType] = path;
}

OdString zalDbXBlock::localArchivePath() const
{
    assertReadEnabled();
    return m_archivePath;
}

void zalDbXBlock::setLocalArchivePath(const OdString& path)
{
    assertWriteEnabled();
    m_archivePath = path;
}

OdDbObjectId zalDbXBlock::instanceIdForRepresentation(int representationType) const
{
    assertReadEnabled();
    auto it = m_instances.find(representationType);
    return it == m_instances.end() ? OdDbObjectId() : it->second;
}

OdDbBlockReferencePtr zalDbXBlock::getInstanceForRepresentation(int representationType) const
{
    return OdDbBlockReference::cast(instanceIdForRepresentation(representationType).openObject());
}

void zalDbXBlock::setInstanceForRepresentation(int representationType, const OdDbObjectId& referenceId)
{
    assertWriteEnabled();
    if (referenceId.isNull())
        m_instances.erase(representationType);
    else
        m_instances[representationType] = referenceId;
}

double zalDbXBlock::getScaleForRepr(int representationType, bool orDefault) const
{
    assertReadEnabled();
    auto it = m_scales.find(representationType);
    if (it == m_scales.end()) return orDefault ? 1.0 : 0.0;
    return it->second;
}

void zalDbXBlock::setScaleForRepr(int representationType, double scale)
{
    assertWriteEnabled();
    m_scales[representationType] = scale;
}

bool zalDbXBlock::subWorldDraw(OdGiWorldDraw* wd) const
{
    assertReadEnabled();
    OdDbBlockReferencePtr instance = getInstanceForRepresentation(kViewerRepresentation);
    if (instance) wd->geometry().draw(instance.get());
    return true;
}

OdResult zalDbXBlock::subGetGeomExtents(OdGeExtents3d& extents) const
{
    OdDbBlockReferencePtr instance = getInstanceForRepresentation(kViewerRepresentation);
    return instance ? instance->getGeomExtents(extents) : eInvalidExtents;
}

OdResult zalDbXBlock::dwgInFields(OdDbDwgFiler* filer)
{
    const OdResult res = OdDbEntity::dwgInFields(filer);
    if (res != eOk) return res;
    if (filer->rdInt16() != 1) return eInvalidInput;
    m_archivePath = filer->rdString();
    m_paths.clear();
    m_instances.clear();
    m_scales.clear();
    for (OdInt32 i = 0, n = filer->rdInt32(); i < n; ++i) {
        const int type = filer->rdInt32();
        m_paths[type] = filer->rdString();
    }
    for (OdInt32 i = 0, n = filer->rdInt32(); i < n; ++i) {
        const int type = filer->rdInt32();
        m_instances[type] = filer->rdHardOwnershipId();
    }
    for (OdInt32 i = 0, n = filer->rdInt32(); i < n; ++i) {
        const int type = filer->rdInt32();
        m_scales[type] = filer->rdDouble();
    }
    return eOk;
}

void zalDbXBlock::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    filer->wrInt16(1);
    filer->wrString(m_archivePath);
    filer->wrInt32(OdInt32(m_paths.size()));
    for (const auto& [type, path] : m_paths) {
        filer->wrInt32(type);
        filer->wrString(path);
    }
    filer->wrInt32(OdInt32(m_instances.size()));
    for (const auto& [type, id] : m_instances) {
        filer->wrInt32(type);
        filer->wrHardOwnershipId(id);
    }
    filer->wrInt32(OdInt32(m_scales.size()));
    for (const auto& [type, scale] : m_scales) {
        filer->wrInt32(type);
        filer->wrDouble(scale);
    }
}
