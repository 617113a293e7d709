#pragma once

#include "AssetSpawnInfo.h"
#include "zalOdDbExExport.h"

#include "DbEntity.h"

#include <QVector>

// Scatters copies of XBlocks: a list of spawn entries, each with the placements produced for it.
class ZALODDBEX_EXPORT zalDbAssetsSpawner : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(zalDbAssetsSpawner);
    zalDbAssetsSpawner();
    ~zalDbAssetsSpawner() override;

    const QVector<AssetSpawnInfo>& spawnObjectsInfoForRead() const;
    QVector<AssetSpawnInfo>& spawnObjectsInfoForWrite();
    void setSpawnObjectsInfo(const QVector<AssetSpawnInfo>& entries);
    // Number of instances over all entries.
    int numInstances() const;

    // Own fields behind a format version, so a file keeps every one.
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

protected:
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;
    OdResult subTransformBy(const OdGeMatrix3d& xform) override;

private:
    QVector<AssetSpawnInfo> m_entries;
};

typedef OdSmartPtr<zalDbAssetsSpawner> zalDbAssetsSpawnerPtr;
