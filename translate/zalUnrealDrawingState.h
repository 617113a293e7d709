#pragma once

#include "translate/zalPendingFaces.h"
#include "zalExport.h"

#include "DbObjectId.h"
#include "SmartPtr.h"

#include <QString>
#include <QVector>

#include <cstdint>
#include <vector>

class OdDbDatabase;
class OdDbBlockTableRecord;

// The drawing state of the module: the entity being drawn and its collected faces. One set for the
// process, touched only by the thread that vectorizes, which draws one entity at a time.
class ZAL_EXPORT zalUnrealDrawingState
{
public:
    static zalUnrealDrawingState& instance();

    QString currentEntityName;
    QString currentOwnerName;
    QString currentMaterialKey;
    std::uint32_t currentColor = 0; // 0x00BBGGRR
    OdDbDatabase* currentDatabase = nullptr;
    zalPendingFaces pendingFaces;
    // Block definitions met while drawing an entity, sent when the entity has faces.
    QVector<OdSmartPtr<OdDbBlockTableRecord>> deferredBlocks;

    // Forgets the entity being drawn (not the pending faces).
    void clearCurrentEntity();
};
