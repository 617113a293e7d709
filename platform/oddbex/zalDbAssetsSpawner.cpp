#include "zalDbAssetsSpawner.h"

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
