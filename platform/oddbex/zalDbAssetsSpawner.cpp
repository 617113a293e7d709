#include "zalDbAssetsSpawner.h"

#include "DbFiler.h"

#include "Ge/GeExtents3d.h"
#include "RxClass.h"

ODRX_DEFINE_MEMBERS_EX(zalDbAssetsSpawner, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0,
                       OdString(L"ZALASSETSSPAWNER"), OdString(L"zalOdDbEx"), OdString(L"zalDbAssetsSpawner"))

zalDbAssetsSpawner::zalDbAssetsSpawner() = default;

zalDbAssetsSpawner::~zalDbAssetsSpawner() = default;

const QVector<AssetSpawnInfo>& zalDbAssetsSpawner::spawnObjectsInfoForRead() const
{
    assertReadEnabled();
    return m_entries;
}

QVector<AssetSpawnInfo>& zalDbAssetsSpawner::spawnObjectsInfoForWrite()
{
    assertWriteEnabled();
    return m_entries;
}

void zalDbAssetsSpawner::setSpawnObjectsInfo(const QVector<AssetSpawnInfo>& entries)
{
    assertWriteEnabled();
    m_entries = entries;
}

int zalDbAssetsSpawner::numInstances() const
{
    assertReadEnabled();
    int n = 0;
    for (const AssetSpawnInfo& e : m_entries)
        n += e.instanceTransforms.size();
    return n;
}

OdResult zalDbAssetsSpawner::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    extents = OdGeExtents3d();
    bool any = false;
    for (const AssetSpawnInfo& e : m_entries) {
        for (const OdGeMatrix3d& m : e.instanceTransforms) {
            extents.addPoint(OdGePoint3d::kOrigin + m.translation());
            any = true;
        }
    }
    return any ? eOk : eInvalidExtents;
}

OdResult zalDbAssetsSpawner::subTransformBy(const OdGeMatrix3d& xform)
{
    assertWriteEnabled();
    for (AssetSpawnInfo& e : m_entries) {
        for (OdGeMatrix3d& m : e.instanceTransforms)
            m = xform * m;
        for (OdGeMatrix3d& m : e.transforms)
            m = xform * m;
    }
    return eOk;
}

namespace {
void writeMatrix(OdDbDwgFiler* filer, const OdGeMatrix3d& m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            filer->wrDouble(m.entry[r][c]);
}
OdGeMatrix3d readMatrix(OdDbDwgFiler* filer)
{
    OdGeMatrix3d m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.entry[r][c] = filer->rdDouble();
    return m;
}
} // namespace

OdResult zalDbAssetsSpawner::dwgInFields(OdDbDwgFiler* filer)
{
    const OdResult res = OdDbEntity::dwgInFields(filer);
    if (res != eOk) return res;
    if (filer->rdInt16() != 1) return eInvalidInput;
    const OdInt32 n = filer->rdInt32();
    if (n < 0) return eInvalidInput;
    QVector<AssetSpawnInfo> entries;
    for (OdInt32 i = 0; i < n; ++i) {
        AssetSpawnInfo e;
        e.xblockId = filer->rdHardPointerId();
        e.density = filer->rdDouble();
        e.minScale = filer->rdDouble();
        e.maxScale = filer->rdDouble();
        e.rotationJitter = filer->rdDouble();
        e.alignToSurface = filer->rdBool();
        e.followTerrain = filer->rdBool();
        for (OdInt32 k = 0, m = filer->rdInt32(); k < m; ++k)
            e.transforms.append(readMatrix(filer));
        for (OdInt32 k = 0, m = filer->rdInt32(); k < m; ++k)
            e.instanceTransforms.append(readMatrix(filer));
        e.direction = filer->rdVector3d();
        e.placementMode = InstancePlacementMode(filer->rdInt32());
        for (OdInt32 k = 0, m = filer->rdInt32(); k < m; ++k)
            e.offsets.append(filer->rdVector3d());
        e.spacing = filer->rdDouble();
        for (OdInt32 k = 0, m = filer->rdInt32(); k < m; ++k) {
            const double low = filer->rdDouble();
            e.scaleRanges.append(std::make_pair(low, filer->rdDouble()));
        }
        entries.append(e);
    }
    m_entries = entries;
    return eOk;
}

void zalDbAssetsSpawner::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    filer->wrInt16(1);
    filer->wrInt32(OdInt32(m_entries.size()));
    for (const AssetSpawnInfo& e : m_entries) {
        filer->wrHardPointerId(e.xblockId);
        filer->wrDouble(e.density);
        filer->wrDouble(e.minScale);
        filer->wrDouble(e.maxScale);
        filer->wrDouble(e.rotationJitter);
        filer->wrBool(e.alignToSurface);
        filer->wrBool(e.followTerrain);
        filer->wrInt32(OdInt32(e.transforms.size()));
        for (const OdGeMatrix3d& m : e.transforms)
            writeMatrix(filer, m);
        filer->wrInt32(OdInt32(e.instanceTransforms.size()));
        for (const OdGeMatrix3d& m : e.instanceTransforms)
            writeMatrix(filer, m);
        filer->wrVector3d(e.direction);
        filer->wrInt32(OdInt32(e.placementMode));
        filer->wrInt32(OdInt32(e.offsets.size()));
        for (const OdGeVector3d& v : e.offsets)
            filer->wrVector3d(v);
        filer->wrDouble(e.spacing);
        filer->wrInt32(OdInt32(e.scaleRanges.size()));
        for (const auto& r : e.scaleRanges) {
            filer->wrDouble(r.first);
            filer->wrDouble(r.second);
        }
    }
}
