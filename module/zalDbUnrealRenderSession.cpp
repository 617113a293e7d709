#include "module/zalDbUnrealRenderSession.h"
#include "module/zalSessionRegistry.h"
#include "translate/zalViewerNames.h"

#include "module/QUnrealDbRenderWidget.h"
#include "module/zalModuleContext.h"
#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"

#include "IzalApplication.h"
#include "IzalProjectManager.h"
#include "IzalView.h"
#include "IzalViewSystem.h"

#include "DbBlockReference.h"
#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbDictionary.h"
#include "DbDictionaryIterator.h"
#include "DbEntity.h"
#include "DbLayerTableRecord.h"
#include "DbMaterial.h"
#include "DbObjectIterator.h"
#include "Ge/GeMatrix3d.h"
#include "gs/GsView.h"
#include "zalDbXBlock.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMutexLocker>
#include <QSettings>
#include <QTimer>

#include <cmath>
#include <utility>

namespace {

const char* const kRefreshTitle = "Synchronizing Scene";
const double kExtentsLimit = 1e6;
const double kMinimumDiagonal = 0.001;
const double kPlanTiltDegrees = 2.5;
const double kParallelAimDistance = 1000.0;

QString idString(const OdDbObject* object)
{
    return zalViewerNames::ofObject(object);
}

QString idString(const OdDbObjectId& id)
{
    return zalViewerNames::ofId(id);
}

template <class T> OdSmartPtr<T> openAs(const OdDbObjectId& id, OdDb::OpenMode mode = OdDb::kForRead)
{
    OdDbObjectPtr object = id.openObject(mode);
    if (object.isNull() || !object->isKindOf(T::desc())) return OdSmartPtr<T>();
    return OdSmartPtr<T>(static_cast<T*>(object.get()));
}

bool withinLimit(const OdGePoint3d& p)
{
    return std::fabs(p.x) <= kExtentsLimit && std::fabs(p.y) <= kExtentsLimit &&
           std::fabs(p.z) <= kExtentsLimit;
}

// A definition whose contents live elsewhere: they are invalidated one by one.
bool isForeignDefinition(const OdDbBlockTableRecord* record, const OdDbDatabase* sessionDb)
{
    return record->isFromExternalReference() || record->database() != sessionDb;
}

} // namespace

zalDbUnrealRenderSession::zalDbUnrealRenderSession() = default;

zalDbUnrealRenderSession::~zalDbUnrealRenderSession()
{
    auto& registry = zalSessionRegistry::instance().sessions();
    auto entry = registry.find(m_database.get());
    if (entry != registry.end() && entry->second == this) registry.erase(entry);
    {
        QMutexLocker lock(&zalSessionRegistry::instance().windowHandleMutex());
        zalSessionRegistry::instance().windowHandleWaitList().removeAll(this);
    }
    if (m_reactorInDatabase && !m_database.isNull()) m_database->removeReactor(this);
    releaseTranslation();
    delete m_sender;
    delete m_sceneFile;
}

void zalDbUnrealRenderSession::initialise(OdDbDatabase* database, zalModuleContext* context)
{
    m_database = database;
    m_context = context;
    if (database) zalSessionRegistry::instance().sessions()[database] = this;

    m_sender = new zalUnrealViewerSender(this);
    m_registry.setSender(m_sender);
    beginBatch("Session_Init_Wait_Wiget");

    createTranslation();

    IzalProjectManager* projects = m_context ? m_context->projectManager() : nullptr;
    zalUnrealRenderModule* module = this->module();
    IzalApplication* app = zalApp();
    if (database && projects && module && app) {
        const QString scene = module->currentScenePath(OdDbDatabasePtr(database));
        loadScene(projects->absolutePath(app->toOdString(scene), IzalProjectManager::kScenes, database));
    } else {
        applySceneSettings();
        if (module) module->updateSettingsDialog();
    }

    refresh(QString(), QString());
}

void zalDbUnrealRenderSession::setWidget(QUnrealDbRenderWidget* widget)
{
    m_widget = widget;
    // The tick timer belongs to the widget and goes with it.
    m_tickTimer = nullptr;
    if (!widget) return;
    m_tickTimer = new QTimer(widget);
    m_tickTimer->setInterval(500);
    QObject::connect(m_tickTimer, &QTimer::timeout, widget, [this] { tick(); });
    QObject::connect(
        widget, &XoUnrealWidget::onInputEvent, widget,
        [this](XoInputEvent event) { forwardInputEvent(event); }, Qt::DirectConnection);
    m_tickTimer->start();
}

void zalDbUnrealRenderSession::forwardInputEvent(const XoInputEvent& event)
{
    if (zalUnrealViewerSender::isReachable(m_sender)) m_sender->sendInputEvent(event);
}

void zalDbUnrealRenderSession::loadScene(const QString& absolutePath)
{
    if (m_database.isNull()) return;
    delete m_sceneFile;
    m_sceneFile = new QSettings(absolutePath, QSettings::IniFormat);
    m_sceneSettings.clear();
    for (const QString& key : m_sceneFile->allKeys())
        m_sceneSettings.insert(key, m_sceneFile->value(key));
    applySceneSettings();
    if (zalUnrealRenderModule* module = this->module()) module->updateSettingsDialog();
}

bool zalDbUnrealRenderSession::isLive() const
{
    if (m_database.isNull() || !m_sender || !m_sender->isViewerStarted()) return false;
    IzalView* view = hostView();
    return view && isCurrentDrawing() && view->typeName() == QLatin1String("UnrealRender");
}

zalUnrealRenderModule* zalDbUnrealRenderSession::module() const
{
    return m_context ? m_context->module() : nullptr;
}

IzalView* zalDbUnrealRenderSession::hostView() const
{
    IzalViewSystem* views = m_context ? m_context->viewSystem() : nullptr;
    return views ? views->view(m_database.get()) : nullptr;
}

bool zalDbUnrealRenderSession::isCurrentDrawing() const
{
    return m_context && m_context->currentDatabase() == m_database.get();
}

void* zalDbUnrealRenderSession::viewerWindowHandle() const
{
    QMutexLocker lock(&zalSessionRegistry::instance().windowHandleMutex());
    return m_viewerWindowHandle;
}

void zalDbUnrealRenderSession::setViewerWindowHandle(void* handle)
{
    QMutexLocker lock(&zalSessionRegistry::instance().windowHandleMutex());
    m_viewerWindowHandle = handle;
}

void zalDbUnrealRenderSession::storeViewerWindowHandle(void* handle)
{
    m_viewerWindowHandle = handle;
}

void zalDbUnrealRenderSession::attachDbReactor()
{
    m_reactorAttached = true;
    if (!m_refreshing) addReactorToDatabase();
}

void zalDbUnrealRenderSession::detachDbReactor()
{
    m_reactorAttached = false;
    if (!m_refreshing) removeReactorFromDatabase();
}

void zalDbUnrealRenderSession::addReactorToDatabase()
{
    if (m_database.isNull() || m_reactorInDatabase) return;
    m_database->addReactor(this);
    m_reactorInDatabase = true;
}

void zalDbUnrealRenderSession::removeReactorFromDatabase()
{
    if (m_database.isNull() || !m_reactorInDatabase) return;
    m_database->removeReactor(this);
    m_reactorInDatabase = false;
}

bool zalDbUnrealRenderSession::computeModelExtents()
{
    m_modelExtents = OdGeExtents3d();
    m_extentsUnusable = true;
    OdDbBlockTableRecordPtr modelSpace = openAs<OdDbBlockTableRecord>(m_database->getModelSpaceId());
    if (modelSpace.isNull()) return false;
    OdGeExtents3d extents;
    if (modelSpace->getGeomExtents(extents) != eOk || !extents.isValidExtents()) return false;
    m_modelExtents = extents;
    m_extentsUnusable = extents.diagonal().length() <= kMinimumDiagonal || !withinLimit(extents.minPoint()) ||
                        !withinLimit(extents.maxPoint());
    return !m_extentsUnusable;
}

void zalDbUnrealRenderSession::refresh(const QString& reason, const QString& second)
{
    Q_UNUSED(second)
    if (m_refreshing || !isLive() || m_database.isNull()) return;
    if (!computeModelExtents()) return;

    // Whatever leaves the refresh (an OdError included) restores the reactor, the batch and the
    // progress indicator.
    struct Scope
    {
        zalDbUnrealRenderSession* session;
        QObject* progress = nullptr;
        bool batchOpen = false;
        ~Scope()
        {
            if (batchOpen) session->endBatch(false);
            if (session->m_reactorAttached) session->addReactorToDatabase();
            session->m_refreshing = false;
            delete progress;
        }
    } scope{this};

    m_refreshing = true;
    if (m_registry.isEmpty() || numObjectsAwaitingRefresh() > 10) {
        if (IzalApplication* app = zalApp())
            scope.progress = app->createProgressIndicator(
                QCoreApplication::translate("zalDbUnrealRenderSession", kRefreshTitle), m_widget);
    }

    // The refresh's own reads of the database must not come back as notifications.
    if (m_reactorAttached) removeReactorFromDatabase();
    beginBatch("refresh");
    scope.batchOpen = true;

    if (m_layoutHelper) m_layoutHelper->setActiveViewport(m_database->activeViewportId());

    if (isLive() && !m_extentsUnusable) sendMaterials();

    if (reason == QLatin1String("first_run")) {
        m_firstRunPending = 0;
        drawModelSpace();
    }

    enumVisibleGeometries("enumVisibleGeometries");
    scope.batchOpen = false;
    endBatch(false);
    syncCamera();
}

void zalDbUnrealRenderSession::sendMaterials()
{
    OdDbDictionaryPtr materials = openAs<OdDbDictionary>(m_database->getMaterialDictionaryId());
    if (materials.isNull()) return;
    for (OdDbDictionaryIteratorPtr it = materials->newIterator(); !it->done(); it->next()) {
        OdDbObjectPtr material = it->getObject();
        if (!material.isNull() && material->isKindOf(OdDbMaterial::desc())) drawObject(material.get());
    }
}

void zalDbUnrealRenderSession::drawModelSpace()
{
    OdDbBlockTableRecordPtr modelSpace = openAs<OdDbBlockTableRecord>(m_database->getModelSpaceId());
    if (modelSpace.isNull()) return;
    drawObject(modelSpace.get());
    drawEntitiesOf(modelSpace.get());
    updateView();
}

void zalDbUnrealRenderSession::enumVisibleGeometries(const char* transactionName)
{
    if (!isLive()) return;
    beginBatch(transactionName);
    redrawModelSpace();
    confirmModelSpaceRoot();
    applySceneSettings();
    endBatch(false);
}

void zalDbUnrealRenderSession::confirmModelSpaceRoot()
{
    if (!m_sender || m_database.isNull()) return;
    const QString modelSpace = idString(m_database->getModelSpaceId());
    if (modelSpace.isEmpty()) return;
    const QString root = modelSpace + QLatin1String("_Root");

    float transform[16] = {};
    IzalApplication* app = zalApp();
    const double scale = app ? app->unitConversionFactor(app->lengthUnit(m_database.get()), 6) : 1.0;
    transform[0] = transform[5] = transform[10] = float(scale);
    transform[15] = 1.0f;

    if (!isRegistered(root, QString())) {
        const QString material = idString(m_database->globalMaterialId());
        m_sender->addInstance(root.toUtf8().constData(), "Model", modelSpace.toUtf8().constData(),
                              "Modelspace", transform, material.toUtf8().constData());
        registerEntity(root, QStringLiteral("Model"));
    } else {
        m_sender->assureEntityConnected(root, QStringLiteral("Model"));
        m_sender->setAssetTransform(root.toUtf8().constData(), transform);
    }
}

void zalDbUnrealRenderSession::invalidate(OdDbObject* object, bool redraw)
{
    // Also while reactors are suspended: the removal goes out now and the draw hub holds the
    // redraw back until a tick or refresh after the resume, in whichever session it belongs to.
    if (!object || !m_layoutHelper || isExcluded(object)) return;

    if (object->isKindOf(OdDbBlockTableRecord::desc())) {
        auto* record = static_cast<OdDbBlockTableRecord*>(object);
        if (isForeignDefinition(record, m_database.get())) {
            for (OdDbObjectIteratorPtr it = record->newIterator(); !it->done(); it->step()) {
                OdDbEntityPtr entity = it->entity();
                if (!entity.isNull()) invalidate(entity.get(), redraw);
            }
            return;
        }
    }
    if (object->isKindOf(OdDbBlockReference::desc())) {
        auto* reference = static_cast<OdDbBlockReference*>(object);
        OdDbBlockTableRecordPtr definition = openAs<OdDbBlockTableRecord>(reference->blockTableRecord());
        if (!definition.isNull() && isForeignDefinition(definition.get(), m_database.get())) {
            invalidate(definition.get(), redraw);
            return;
        }
    }

    if (redraw && object->isKindOf(zalDbXBlock::desc())) {
        auto* xblock = static_cast<zalDbXBlock*>(object);
        OdDbBlockReferencePtr instance = xblock->getInstanceForRepresentation(4);
        const QString record = instance.isNull() ? QString() : idString(instance->blockTableRecord());
        const QString key = idString(object);
        // The viewer already shows this representation: nothing to remove or redraw.
        if (m_xblockRepresentations.contains(key) && m_xblockRepresentations.value(key) == record) return;
        m_xblockRepresentations.insert(key, record);
    }

    // The removal and the redraw reach the viewer as one transaction, so it applies and acknowledges them
    // together.
    beginBatch("startDrawing");
    forgetEntity(object);
    if (redraw) {
        if (isLive() && viewerWindowHandle())
            drawObject(object);
        else
            postpone(object->objectId());
    }
    endBatch(false);
}

void zalDbUnrealRenderSession::objectAppended(const OdDbDatabase*, const OdDbObject* object)
{
    drawObject(object);
}

void zalDbUnrealRenderSession::objectReAppended(const OdDbDatabase*, const OdDbObject* object)
{
    drawObject(object);
}

void zalDbUnrealRenderSession::objectUnAppended(const OdDbDatabase*, const OdDbObject* object)
{
    invalidate(const_cast<OdDbObject*>(object), false);
}

void zalDbUnrealRenderSession::objectErased(const OdDbDatabase*, const OdDbObject* object, bool erased)
{
    if (erased)
        invalidate(const_cast<OdDbObject*>(object), false);
    else
        drawObject(object);
}

void zalDbUnrealRenderSession::objectModified(const OdDbDatabase* db, const OdDbObject* object)
{
    if (!object) return;
    if (object->isKindOf(OdDbBlockReference::desc())) {
        // A reference an X-block shows is redrawn through its X-block.
        OdDbObjectId owner = viewerOwnerId(object);
        OdDbObjectPtr ownerObject = owner.openObject();
        if (!ownerObject.isNull() && ownerObject->isKindOf(zalDbXBlock::desc()) &&
            isRegistered(idString(object), idString(owner)))
            return;
    }
    if (object->isKindOf(OdDbLayerTableRecord::desc())) {
        const OdDbObjectId layerId = object->objectId();
        if (isLive() && layerId.isValid() && !m_refreshing) modifyEntitiesOnLayer(layerId);
        return;
    }
    Q_UNUSED(db)
    invalidate(const_cast<OdDbObject*>(object), true);
}

void zalDbUnrealRenderSession::modifyEntitiesOnLayer(const OdDbObjectId& layerId)
{
    zalUnrealRenderModule* module = this->module();
    IzalApplication* app = zalApp();
    if (!module || !app) return;
    module->suspendSessionDbReactors();
    app->forEachEntity(m_database.get(), [this, &layerId](OdDbEntity* entity) {
        if (entity && entity->layerId() == layerId) objectModified(m_database.get(), entity);
    });
    module->resumeSessionDbReactors();
    updateView();
}

void zalDbUnrealRenderSession::goodbye(const OdDbDatabase* db)
{
    if (db == m_database.get()) m_reactorInDatabase = false;
}

void zalDbUnrealRenderSession::tick()
{
    void* handle = viewerWindowHandle();

    if (m_widget && !m_widget->viewerWindow() && handle) {
        m_widget->setViewerWindow(WId(handle));
        if (!m_lazyInitPending) {
            m_lazyInitPending = true;
            QTimer::singleShot(500, m_widget, [this] { finishLazyInitialisation(); });
        }
    }

    if (m_widget && m_widget->viewerWindow() && !handle) dropViewer();

    if (m_sender && m_widget && handle && !m_registry.isBatchOpen() && !m_refreshing && isLive() &&
        numObjectsAwaitingRefresh() > 0) {
        beginBatch("AsyncDrawSkippedDrawings");
        drawPendingObjects();
        confirmModelSpaceRoot();
        endBatch(false);
        applySceneSettings();
    }
}

void zalDbUnrealRenderSession::finishLazyInitialisation()
{
    m_lazyInitPending = false;
    qDebug() << "Lazy Session Init completed...Refreshing render scene.";
    endBatch(false);
}

void zalDbUnrealRenderSession::dropViewer()
{
    m_widget->setViewerWindow(0);
    if (m_sender) {
        m_sender->onRenderExit();
        delete m_sender;
        m_sender = nullptr;
        m_registry.setSender(nullptr);
    }
    // The transaction of the ended viewer is gone with it.
    m_registry.dropOpenBatch();
}

void zalDbUnrealRenderSession::activeViewportChanged()
{
    syncCamera();
}

OdGsView* zalDbUnrealRenderSession::cameraSourceView() const
{
    IzalView* host = hostView();
    if (OdGsView* view = host ? host->gsView() : nullptr) return view;
    // The layout helper's view follows the active viewport record.
    m_layoutHelper->setActiveViewport(m_database->activeViewportId());
    return m_layoutHelper->activeView();
}

void zalDbUnrealRenderSession::syncCamera()
{
    if (!isCurrentDrawing() || zalSessionRegistry::instance().isReactorSuspended() || !m_layoutHelper ||
        m_database.isNull())
        return;
    if (!zalUnrealViewerSender::isReachable(m_sender)) return;
    OdGsView* view = cameraSourceView();
    if (!view) return;

    OdGePoint3d position = view->position();
    const OdGePoint3d target = view->target();
    OdGeVector3d up = view->upVector();
    const bool perspective = view->isPerspective();
    OdGeVector3d direction = target - position;
    if (direction.isZeroLength()) return;
    if (direction.isParallelTo(OdGeVector3d::kZAxis)) {
        // The viewer never looks exactly along its vertical axis.
        OdGeVector3d axis = direction.crossProduct(up);
        if (axis.isZeroLength()) axis = OdGeVector3d::kXAxis;
        axis.normalize();
        const OdGeMatrix3d tilt = OdGeMatrix3d::rotation(kPlanTiltDegrees * M_PI / 180.0, axis, target);
        position.transformBy(tilt);
        up.transformBy(tilt);
        direction = target - position;
    }
    direction.normalize();

    IzalApplication* app = zalApp();
    const double factor =
        100.0 * (app ? app->unitConversionFactor(app->lengthUnit(m_database.get()), 6) : 1.0);
    const double halfWidth = view->fieldWidth() / 2.0;
    double aimDistance = kParallelAimDistance;
    if (perspective && view->focalLength() > 0.0) aimDistance = view->focalLength();
    const double fieldOfView = std::atan(halfWidth / aimDistance) * 180.0 / M_PI;
    const OdGePoint3d aim = position + direction * aimDistance;

    m_sender->setCamera(float(aim.x * factor), float(aim.y * factor), float(aim.z * factor),
                        float(position.x * factor), float(position.y * factor), float(position.z * factor),
                        float(up.x), float(up.y), float(up.z), false, false, float(fieldOfView), 1.0f, 0, 0,
                        "");
}

void zalDbUnrealRenderSession::refreshEntity(const std::string& name)
{
    if (m_database.isNull()) return;
    IzalApplication* app = zalApp();
    if (!app) return;
    const QString id = QString::fromStdString(name);
    const OdDbObjectId objectId = app->stringToObjectId(id, m_database.get());
    OdDbObjectPtr object = objectId.openObject(OdDb::kForWrite);
    if (object.isNull() || !object->isKindOf(OdDbEntity::desc())) return;
    static_cast<OdDbEntity*>(object.get())->recordGraphicsModified(true);
    // The downgrade notifies objectModified, which sends the entity again.
    object->downgradeOpen();
    qDebug() << "Forced Refresh for " << id;
}

void zalDbUnrealRenderSession::refreshMaterials()
{
    if (!isLive()) return;
    beginBatch("refresh");
    sendMaterials();
    endBatch(false);
    if (!m_widget) return;
    QTimer::singleShot(500, m_widget, [this] {
        if (zalUnrealViewerSender::isReachable(m_sender))
            m_sender->sendConsoleCommand(QStringLiteral("refresh_materials"));
        applySceneSettings();
    });
}
