#pragma once

#include "zalExport.h"

#include <QString>

class OdDbBlockReference;
class zalDbAssetsSpawner;
class zalDbXBlock;
class zalEntityRegistry;
class zalUnrealRenderView;

// The roads of the draw hub that lead to ready-made viewer assets: spawners as batches of instances,
// XBlocks as placed assets (or their own geometry), block references as instances of their definitions.
class ZAL_EXPORT zalUnrealAssetSpawning
{
public:
    // A spawner: one instance for the spawner, then one batch of transforms per XBlock.
    static void sendAssetsSpawner(zalEntityRegistry* registry, const zalDbAssetsSpawner* spawner,
                                  zalUnrealRenderView* view);
    // The XBlock step of beginEntity: places the XBlock's viewer representation. True when the
    // representation is a drawing file, which the XBlock shows through its own geometry; the caller draws
    // it then and flushes the XBlock's faces in every case.
    static bool sendXBlock(zalEntityRegistry* registry, const zalDbXBlock* xblock, zalUnrealRenderView* view);
    // The last step of the block-reference road: the reference as an instance of its block definition.
    static void sendBlockReferenceInstance(zalEntityRegistry* registry, const OdDbBlockReference* reference,
                                           zalUnrealRenderView* view);

    // The batch name of a spawner's XBlock key; "*" becomes "_", "[" and "]" become "|".
    static QString batchName(const QString& spawnerName, const QString& xblockKey);
    // Pending pak placements waiting for their pak to mount (for tests).
    static int numPendingPlacements();

    // Receives the channel's pak-mounted notification (on the channel's thread).
    static void onPakMounted(const wchar_t* pakPath, bool mounted);
};
