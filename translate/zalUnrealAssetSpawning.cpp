#include "translate/zalUnrealAssetSpawning.h"

#include "translate/zalEntityRegistry.h"
#include "translate/zalTranslationOwner.h"
#include "translate/zalUnrealRenderView.h"
#include "translate/zalUnrealViewerFrame.h"
#include "translate/zalViewerNames.h"

#include "zalDbAssetsSpawner.h"
#include "zalDbXBlock.h"
#include "zalStrings.h"

#include "DbBlockReference.h"
#include "DbBlockTableRecord.h"
#include "DbDatabase.h"

#include "IzalApplication.h"
#include "XoRemoteRenderSenderFlattener.h"

#include <QFileInfo>
#include <QMap>
#include <QMetaObject>
#include <QMutex>
#include <QPointer>
#include <QSet>
#include <QVector>

#include <map>
#include <vector>

namespace {

const int kViewerRepresentation = 4;

struct PendingPlacement
{
    QString entity;
    QString owner;
    QString asset;
    QVector<float> transform;
    zalEntityRegistry* registry = nullptr;
};

QMutex& placementMutex()
{
    static QMutex m;
    return m;
}

// Pak path -> placements waiting for the pak to mount; the mount callback arrives on the channel's thread.
QMap<QString, QList<PendingPlacement>>& pendingPlacements()
{
    static QMap<QString, QList<PendingPlacement>> map;
    return map;
}

std::string utf8(const QString& s)
{
    return s.toUtf8().toStdString();
}

QString materialKey(const OdDbEntity* entity)
{
    OdDbDatabase* db = entity->database();
    const OdDbObjectId id = entity->materialId();
    if (id.isNull() || !db || id == db->byLayerMaterialId() || id == db->byBlockMaterialId())
        return zalViewerNames::ofId(OdDbObjectId());
    return zalViewerNames::ofId(id);
}

} // namespace

QString zalUnrealAssetSpawning::batchName(const QString& spawnerName, const QString& xblockKey)
{
    if (spawnerName.isEmpty() || xblockKey.isEmpty()) return spawnerName;
    QString key = xblockKey;
    key.replace(QLatin1Char('*'), QLatin1Char('_'));
    key.replace(QLatin1Char('['), QLatin1Char('|'));
    key.replace(QLatin1Char(']'), QLatin1Char('|'));
    return spawnerName + QLatin1String("[SE:") + key + QLatin1Char(']');
}

void zalUnrealAssetSpawning::sendAssetsSpawner(zalEntityRegistry* registry, const zalDbAssetsSpawner* spawner,
                                               zalUnrealRenderView* view)
{
    XoRemoteRenderSenderFlattener* snd = registry ? registry->sender() : nullptr;
    if (!snd || !spawner || !view) return;
    const QString name = zalViewerNames::ofObject(spawner);
    const QString owner = zalViewerNames::ofId(view->viewerOwnerId(spawner));
    if (view->isEntityRegistered(name, owner) &&
        snd->isEntityValid(utf8(name).c_str(), utf8(owner).c_str())) {
        for (const QString& sub : registry->subEntities(name))
            snd->assureEntityConnected(sub, name);
        snd->assureEntityConnected(name, owner);
        return;
    }
    snd->addInstance(utf8(name).c_str(), utf8(owner).c_str(), "", utf8(name).c_str(), nullptr, "");
    view->registerEntity(name, owner);

    const QVector<AssetSpawnInfo>& entries = spawner->spawnObjectsInfoForRead();
    // XBlocks first, so that every batch finds its component in the viewer.
    std::vector<OdDbObjectId> xblocks;
    std::vector<QString> keys(std::size_t(entries.size()));
    for (int i = 0; i < entries.size(); ++i) {
        const AssetSpawnInfo& entry = entries[i];
        if (entry.xblockId.isNull()) continue;
        zalDbXBlockPtr xblock = zalDbXBlock::cast(entry.xblockId.openObject());
        if (!xblock) continue;
        const QString key = zalViewerNames::ofId(xblock->ownerId());
        keys[std::size_t(i)] = key;
        const bool present =
            view->isEntityRegistered(key, QString()) && snd->isEntityValid(utf8(key).c_str(), "");
        if (!present && std::find(xblocks.begin(), xblocks.end(), entry.xblockId) == xblocks.end())
            xblocks.push_back(entry.xblockId);
    }
    for (const OdDbObjectId& id : xblocks) {
        zalDbXBlockPtr xblock = zalDbXBlock::cast(id.openObject());
        if (!xblock) continue;
        // The XBlock's block definition first, so the hub draws the XBlock instead of postponing it.
        OdDbObjectPtr owner = xblock->ownerId().openObject();
        if (auto* record = dynamic_cast<OdDbBlockTableRecord*>(owner.get()))
            view->ensureBlockDefinition(record, false);
        view->drawObject(xblock.get());
    }

    QMap<QString, QList<int>> groups;
    for (int i = 0; i < entries.size(); ++i) {
        if (!entries[i].instanceTransforms.isEmpty() && !entries[i].xblockId.isNull())
            groups[keys[std::size_t(i)]].append(i);
    }
    std::vector<float> floats;
    for (int i = 0; i < entries.size(); ++i) {
        const AssetSpawnInfo& entry = entries[i];
        if (entry.instanceTransforms.isEmpty() || entry.xblockId.isNull()) continue;
        const QString& key = keys[std::size_t(i)];
        std::vector<const OdGeMatrix3d*> transforms;
        for (int member : groups.value(key)) {
            for (const OdGeMatrix3d& m : entries[member].instanceTransforms)
                transforms.push_back(&m);
        }
        const std::int64_t n = std::int64_t(transforms.size());
        floats.resize(std::size_t(n) * 16);
        float* out = floats.data();
#pragma omp parallel for schedule(static) if (n > 1024)
        for (std::int64_t t = 0; t < n; ++t)
            zalUnrealViewerFrame::toViewerMatrix(*transforms[std::size_t(t)], out + t * 16);
        const QString batch = batchName(name, key);
        view->registerEntity(batch, name);
        snd->spawnInstances(utf8(batch).c_str(), utf8(name).c_str(), utf8(key).c_str(), "", int(n),
                            floats.data(), "");
    }
}

bool zalUnrealAssetSpawning::sendXBlock(zalEntityRegistry* registry, const zalDbXBlock* xblock,
                                        zalUnrealRenderView* view)
{
    XoRemoteRenderSenderFlattener* snd = registry ? registry->sender() : nullptr;
    if (!snd || !xblock || !view) return false;
    const QString entity = zalViewerNames::ofObject(xblock);
    const QString owner = zalViewerNames::ofId(view->viewerOwnerId(xblock));
    const QString representation = zalStrings::toQString(xblock->subObjectPath(kViewerRepresentation));
    const QString file = zalStrings::toQString(xblock->localArchivePath()) + QLatin1Char('/') +
                         QFileInfo(representation).fileName();
    OdDbBlockReferencePtr instance = xblock->getInstanceForRepresentation(kViewerRepresentation);
    const QString instanceName = instance ? zalViewerNames::ofObject(instance.get()) : QString();

    auto placement = [&](float out[16]) {
        const double scale = xblock->getScaleForRepr(kViewerRepresentation, true) * 0.01;
        zalUnrealViewerFrame::toViewerMatrix(OdGeMatrix3d::scaling(scale) * instance->blockTransform(), out);
    };

    if (representation.startsWith(QLatin1String("Pak:"))) {
        const QStringList parts = representation.mid(4).split(QLatin1Char(':'));
        const QString pakFile = parts.value(0);
        const QString assetPath = parts.mid(1).join(QLatin1Char(':'));
        zalTranslationOwner* session = view->owner();
        const QString pakPath =
            (session ? session->assetsLibraryPath() : QString()) + QLatin1Char('/') + pakFile;
        QString base = QFileInfo(pakPath).fileName();
        if (base.endsWith(QLatin1String(".pak"), Qt::CaseInsensitive)) base.chop(4);
        const QString asset = base + QLatin1Char('_') + assetPath;
        if (instance) {
            PendingPlacement p;
            p.entity = entity;
            p.owner = owner;
            p.asset = asset;
            p.transform.resize(16);
            placement(p.transform.data());
            p.registry = registry;
            {
                QMutexLocker lock(&placementMutex());
                pendingPlacements()[pakPath].append(p);
            }
            snd->mountExternalPak(pakPath.toStdWString().c_str(), &zalUnrealAssetSpawning::onPakMounted);
        }
        view->registerEntity(entity, owner);
        view->registerEntity(instanceName, entity);
        return false;
    }
    const bool isDrawing = representation.endsWith(QLatin1String(".dwg"), Qt::CaseInsensitive);
    if (!QFileInfo::exists(file) && !isDrawing) {
        if (instance) {
            float matrix[16];
            placement(matrix);
            snd->addInstance(utf8(entity).c_str(), utf8(owner).c_str(), "", utf8(representation).c_str(),
                             matrix, "");
            view->registerEntity(entity, owner);
            view->registerEntity(instanceName, entity);
        }
        return false;
    }
    return true;
}

void zalUnrealAssetSpawning::sendBlockReferenceInstance(zalEntityRegistry* registry,
                                                        const OdDbBlockReference* reference,
                                                        zalUnrealRenderView* view)
{
    XoRemoteRenderSenderFlattener* snd = registry ? registry->sender() : nullptr;
    if (!snd || !reference || !view || !zalUnrealRenderView::isVisible(reference)) return;
    const QString name = zalViewerNames::ofObject(reference);
    const QString owner = zalViewerNames::ofId(view->viewerOwnerId(reference));
    if (owner.isEmpty()) return;
    if (view->isEntityRegistered(name, owner) && snd->isEntityValid(utf8(name).c_str(), utf8(owner).c_str()))
        return;
    const QString material = view->ensureMaterial(materialKey(reference));
    float matrix[16];
    zalUnrealViewerFrame::toViewerMatrix(reference->blockTransform(), matrix);
    const QString component = zalViewerNames::ofId(reference->blockTableRecord());
    snd->addInstance(utf8(name).c_str(), utf8(owner).c_str(), utf8(component).c_str(), utf8(name).c_str(),
                     matrix, utf8(material).c_str());
    view->registerEntity(name, owner);
    snd->assureEntityConnected(name, owner);
}

int zalUnrealAssetSpawning::numPendingPlacements()
{
    QMutexLocker lock(&placementMutex());
    int n = 0;
    for (const QList<PendingPlacement>& list : pendingPlacements())
        n += list.size();
    return n;
}

void zalUnrealAssetSpawning::onPakMounted(const wchar_t* pakPath, bool)
{
    QList<PendingPlacement> placements;
    {
        QMutexLocker lock(&placementMutex());
        placements = pendingPlacements().take(QString::fromWCharArray(pakPath));
    }
    if (placements.isEmpty()) return;
    // Placing talks to the channel, which belongs to the GUI thread.
    auto place = [placements]() mutable {
        QSet<QString> handled;
        while (!placements.isEmpty()) {
            const PendingPlacement p = placements.takeLast();
            if (handled.contains(p.entity)) continue;
            handled.insert(p.entity);
            if (!zalEntityRegistry::isAlive(p.registry) || !p.registry->sender()) continue;
            p.registry->sender()->addInstance(utf8(p.entity).c_str(), utf8(p.owner).c_str(), "",
                                              utf8(p.asset).c_str(), p.transform.constData(), "");
        }
    };
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, place, Qt::QueuedConnection);
}
