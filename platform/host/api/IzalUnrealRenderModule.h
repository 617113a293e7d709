#pragma once

#include "DbDatabase.h"
#include "DbObjectId.h"
#include "SmartPtr.h"

#include <QMap>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariant>

class QWidget;

// The service the render module publishes to the host under "zal.IUnrealRender".
// The host obtains it from IzalApplication::service and casts with qobject_cast-free
// dynamic_cast (the module object is a QObject as well). The slot order is fixed: hosts built
// against an earlier header call by slot.
class IzalUnrealRenderModule
{
public:
    virtual QString currentScenePath(OdSmartPtr<OdDbDatabase> db) = 0;
    virtual int currentScene(OdSmartPtr<OdDbDatabase> db) const = 0;
    virtual void setCurrentScene(OdSmartPtr<OdDbDatabase> db, long id) = 0;
    virtual bool isActive() = 0;
    virtual QWidget* activeWidget() = 0;
    // A new settings panel on every call; the caller's parent owns it.
    virtual QWidget* createSettingsWidget(QWidget* parent) = 0;
    virtual void suspendSessionDbReactors() = 0;
    virtual void resumeSessionDbReactors() = 0;
    virtual QString assetsLibraryPath() const = 0;
    virtual bool exportImage(const QString& file, QSize size, int unused) = 0;
    virtual void setProductionMode(bool producing, bool animation, bool preview, bool pathTracer) = 0;
    virtual QMap<QString, QVariant>& currentSceneSettings() = 0;
    virtual void setSceneSettings(const QString& key, const QVariant& value, bool apply, bool save) = 0;
    virtual QVariant getSceneSettings(const QString& key, QVariant defaultValue) = 0;
    virtual int getAvailableMaterialAssets(QStringList& assetNames, QStringList& pakNames,
                                           QStringList& displayNames, QStringList& thumbnails) = 0;
    virtual int getAvailableComponentAssets(QStringList& assetNames, QStringList& pakNames,
                                            QStringList& displayNames, QStringList& thumbnails) = 0;
    virtual void setGameTimeSeconds(float seconds) = 0;
    virtual void invalidateObject(OdDbObjectId id) = 0;
    virtual QString viewerVersion() = 0;
    virtual bool supportTessellation() = 0;
    virtual void sendViewerConsoleCommand(const QString& command) = 0;
    virtual void updateSettingsDialog() = 0;
    virtual bool isProducing(bool& animation, bool& preview, bool& pathTracer) const = 0;
    virtual void applyCurrentSceneSettings() = 0;

protected:
    virtual ~IzalUnrealRenderModule() = default;
};

#define IzalUnrealRenderModule_id "zal.IUnrealRender"
Q_DECLARE_INTERFACE(IzalUnrealRenderModule, IzalUnrealRenderModule_id)
