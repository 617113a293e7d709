#pragma once

#include "translate/zalEntityRegistry.h"
#include "translate/zalTranslationOwner.h"
#include "zalExport.h"

#include "DbDatabase.h"
#include "DbDatabaseReactor.h"
#include "Ge/GeExtents3d.h"
#include "SmartPtr.h"
#include "gs/GsLayoutHelper.h"

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <string>

class IzalView;
class OdDbBlockTableRecord;
class OdDbObject;
class OdGsView;
class QSettings;
class QTimer;
class QUnrealDbRenderWidget;
class zalUnrealRenderDevice;
class zalModuleContext;
class zalUnrealRenderModule;
class zalUnrealRenderView;
class zalUnrealViewerSender;
struct XoInputEvent;

// Binds one open drawing to one viewer process: owns the viewer sender, the graphics device and
// view that translate the drawing, and the settings of the current scene, and follows every change
// of the database as its reactor. Created as OdRxObjectImpl<zalDbUnrealRenderSession> by the view
// factory; the render widget holds the reference that keeps it alive. GUI thread only, except the
// viewer window handle (see viewerWindowHandle).
class ZAL_EXPORT zalDbUnrealRenderSession : public OdDbDatabaseReactor, public zalTranslationOwner
{
public:
    zalDbUnrealRenderSession();
    ~zalDbUnrealRenderSession() override;

    // Enters the session registry, creates the sender, device and view, loads and applies the
    // current scene, and refreshes. The context is the module's and outlives the session.
    void initialise(OdDbDatabase* database, zalModuleContext* context);
    // Null before initialise.
    zalModuleContext* context() const { return m_context; }
    // Keeps the widget (not owned), starts the tick and forwards the widget's input records.
    void setWidget(QUnrealDbRenderWidget* widget);
    QUnrealDbRenderWidget* widget() const { return m_widget; }
    // Null before initialise and after the viewer process ended.
    zalUnrealViewerSender* sender() const { return m_sender; }
    OdDbDatabase* database() const { return m_database.get(); }
    OdGsLayoutHelper* layoutHelper() const { return m_layoutHelper.get(); }
    zalUnrealRenderDevice* device() const;
    // The active view of the layout helper, the translation hub; null without a layout helper.
    zalUnrealRenderView* view() const;

    // Sends the materials and, for "first_run", the whole model space; then enumerates the
    // visible geometry and follows the camera. Does nothing unless live and the model extents
    // are usable.
    void refresh(const QString& reason, const QString& second);
    // Removes the object's viewer objects; with redraw, draws it again (at once when the viewer
    // shows, else at the next tick).
    void invalidate(OdDbObject* object, bool redraw);

    // The registry's transaction rule: only the outermost batch opens and closes a viewer transaction.
    void beginBatch(const char* name) { m_registry.beginBatch(name); }
    void endBatch(bool fullUpdate) { m_registry.endBatch(fullUpdate); }
    void holdBatch(const char* name) { m_registry.holdBatch(name); }

    void attachDbReactor();
    void detachDbReactor();
    bool isReactorAttached() const { return m_reactorAttached; }
    bool isRefreshing() const { return m_refreshing; }
    // Entities postponed until the session is ready to draw them (drawn by the tick).
    int numObjectsAwaitingRefresh() const;

    // The host shows this drawing in an "UnrealRender" view, it is the current drawing and its
    // viewer has started.
    bool isLive() const;
    // Sends the host view's camera to the viewer.
    void syncCamera();
    // zalTranslationOwner: live, the viewer reachable with its window handle, reactors not suspended.
    bool isReadyToDraw() const override;
    // The active viewport record changed (called by the translation hub).
    void activeViewportChanged() override;
    QString assetsLibraryPath() const override;

    // Written by the channel's thread (window-handle callback) under the module's
    // windowHandleMutex; both accessors take that mutex.
    void* viewerWindowHandle() const;
    void setViewerWindowHandle(void* handle);
    // For the window-handle callback, which already holds windowHandleMutex.
    void storeViewerWindowHandle(void* handle);

    // The settings of the current scene and the INI file they come from (owned; null before the
    // first load).
    QMap<QString, QVariant>& sceneSettings() { return m_sceneSettings; }
    QSettings* sceneFile() const { return m_sceneFile; }
    // Opens the scene's INI file, copies its keys into the settings, applies them and tells the
    // settings panel.
    void loadScene(const QString& absolutePath);
    // Sends the complete command set of the scene settings (settings/zalSceneSettingsApplier.cpp).
    void applySceneSettings();
    // Sends every material again; 500 ms later "refresh_materials" and the settings again.
    void refreshMaterials();

    // Called by the sender when the viewer reports an entity lost.
    void refreshEntity(const std::string& idString);
    // Forwards one input record of the widget to the viewer while it runs.
    void forwardInputEvent(const XoInputEvent& event);

    bool isFirstRunPending() const { return m_firstRunPending != 0; }
    const OdGeExtents3d& modelExtents() const { return m_modelExtents; }
    bool areExtentsUnusable() const { return m_extentsUnusable; }

    // OdDbDatabaseReactor
    void objectAppended(const OdDbDatabase* db, const OdDbObject* object) override;
    void objectUnAppended(const OdDbDatabase* db, const OdDbObject* object) override;
    void objectReAppended(const OdDbDatabase* db, const OdDbObject* object) override;
    void objectModified(const OdDbDatabase* db, const OdDbObject* object) override;
    void objectErased(const OdDbDatabase* db, const OdDbObject* object, bool erased = true) override;
    void goodbye(const OdDbDatabase* db) override;

    // What the viewer holds and the open batch; what the translation receives instead of the session.
    zalEntityRegistry& registry() override { return m_registry; }
    const zalEntityRegistry& registry() const { return m_registry; }
    // X-block id string -> block record id string of the representation instance last drawn.
    const QMap<QString, QString>& xblockRepresentations() const { return m_xblockRepresentations; }
    // What the settings application last sent: the RT quality preset and the path-tracing switch.
    int appliedRtQuality() const { return m_appliedRtQuality; }
    int appliedPathTracing() const { return m_appliedPathTracing; }

private:
    void tick();
    void finishLazyInitialisation();
    void dropViewer();
    void enumVisibleGeometries(const char* transactionName);
    void confirmModelSpaceRoot();
    bool computeModelExtents();
    void sendMaterials();
    void drawModelSpace();
    void addReactorToDatabase();
    void removeReactorFromDatabase();
    void modifyEntitiesOnLayer(const OdDbObjectId& layerId);
    OdGsView* cameraSourceView() const;
    // Null without a context or while the module is stopped.
    zalUnrealRenderModule* module() const;
    IzalView* hostView() const;
    bool isCurrentDrawing() const;

    // Everything the session asks of the translation (zalDbUnrealRenderSessionTranslation.cpp).
    void createTranslation();
    void releaseTranslation();
    void drawObject(const OdDbObject* object);
    void drawEntitiesOf(const OdDbBlockTableRecord* record);
    void postpone(const OdDbObjectId& id);
    void redrawModelSpace();
    void drawPendingObjects();
    void updateView();
    void forgetEntity(const OdDbObject* object);
    bool isExcluded(const OdDbObject* object) const;
    bool isRegistered(const QString& name, const QString& owner) const;
    void registerEntity(const QString& name, const QString& owner);
    OdDbObjectId viewerOwnerId(const OdDbObject* object) const;

    int m_firstRunPending = 1;
    OdDbDatabasePtr m_database;
    zalModuleContext* m_context = nullptr;
    QUnrealDbRenderWidget* m_widget = nullptr;
    zalUnrealViewerSender* m_sender = nullptr;
    void* m_viewerWindowHandle = nullptr;
    OdSmartPtr<OdRxObject> m_device;
    OdGsLayoutHelperPtr m_layoutHelper;
    OdSmartPtr<OdRxObject> m_giContext;
    bool m_refreshing = false;
    bool m_reactorAttached = false;
    bool m_reactorInDatabase = false;
    bool m_lazyInitPending = false;
    QTimer* m_tickTimer = nullptr;
    OdGeExtents3d m_modelExtents;
    bool m_extentsUnusable = true;
    QSettings* m_sceneFile = nullptr;
    QMap<QString, QVariant> m_sceneSettings;
    zalEntityRegistry m_registry;
    QMap<QString, QString> m_xblockRepresentations;
    int m_appliedRtQuality = 1;
    int m_appliedPathTracing = 0;
};

typedef OdSmartPtr<zalDbUnrealRenderSession> zalDbUnrealRenderSessionPtr;
