#pragma once

#include "IzalUnrealRenderModule.h"
#include "fountain/zalFountainCreateCommand.h"
#include "module/zalModuleContext.h"
#include "zalExport.h"
#include "zalModuleCommands.h"

#include "RxModule.h"
#include "StaticRxObject.h"

#include <QObject>

// The render module: the run-time module the host loads, and the service "zal.IUnrealRender".
// One object per process, made by odrxCreateModuleObject and kept until the library unloads.
// Sessions and widgets are created by the view factory, which hands each session the module's
// context (zalModuleContext); they live with their views.
class ZAL_EXPORT zalUnrealRenderModule : public QObject, public OdRxModule, public IzalUnrealRenderModule
{
    Q_OBJECT
    Q_INTERFACES(IzalUnrealRenderModule)

public:
    zalUnrealRenderModule();
    ~zalUnrealRenderModule() override;

    void initApp() override;
    void uninitApp() override;

    // IzalUnrealRenderModule
    QString currentScenePath(OdSmartPtr<OdDbDatabase> db) override;
    int currentScene(OdSmartPtr<OdDbDatabase> db) const override;
    void setCurrentScene(OdSmartPtr<OdDbDatabase> db, long id) override;
    bool isActive() override;
    QWidget* activeWidget() override;
    QWidget* createSettingsWidget(QWidget* parent) override;
    void suspendSessionDbReactors() override;
    void resumeSessionDbReactors() override;
    QString assetsLibraryPath() const override;
    bool exportImage(const QString& file, QSize size, int unused) override;
    void setProductionMode(bool producing, bool animation, bool preview, bool pathTracer) override;
    QMap<QString, QVariant>& currentSceneSettings() override;
    void setSceneSettings(const QString& key, const QVariant& value, bool apply, bool save) override;
    QVariant getSceneSettings(const QString& key, QVariant defaultValue) override;
    int getAvailableMaterialAssets(QStringList& assetNames, QStringList& pakNames, QStringList& displayNames,
                                   QStringList& thumbnails) override;
    int getAvailableComponentAssets(QStringList& assetNames, QStringList& pakNames, QStringList& displayNames,
                                    QStringList& thumbnails) override;
    void setGameTimeSeconds(float seconds) override;
    void invalidateObject(OdDbObjectId id) override;
    QString viewerVersion() override;
    bool supportTessellation() override;
    void sendViewerConsoleCommand(const QString& command) override;
    void updateSettingsDialog() override;
    bool isProducing(bool& animation, bool& preview, bool& pathTracer) const override;
    void applyCurrentSceneSettings() override;

    // Sessions, the window-handle wait list and the reactor suspensions: zalSessionRegistry.
    // Viewer names of database objects: zalViewerNames.

    // Whether the active view's viewer has applied every transaction sent to it and none is open, so a
    // command sent now finds the drawing complete. Not a slot of the service interface, whose slots are
    // fixed: the headless host asks for it by name through Qt's meta-object system.
    Q_INVOKABLE bool isViewerUpToDate();

signals:
    void currentSettingsChange();

private:
    zalModuleContext m_context;
    OdStaticRxObject<_unrealcommand_cmd> m_unrealcommand;
    OdStaticRxObject<_unrealoutliner_cmd> m_unrealoutliner;
    OdStaticRxObject<_unrealpostprocess_cmd> m_unrealpostprocess;
    OdStaticRxObject<_unrealcameramode_cmd> m_unrealcameramode;
    OdStaticRxObject<_fountain_create_cmd> m_fountain_create;
};
