#pragma once

#include "IzalApplication.h"
#include "zalHostOptions.h"

#include "DbDatabase.h"

#include <QApplication>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QStringList>

class zalHostAppProps;
class zalHostConsole;
class zalHostEventHub;
class zalHostIdStrings;
class zalHostPhysicsMaterials;
class zalHostProjectManager;
class zalHostTerrainModeller;
class zalHostViewSystem;
class zalHostViewerMonitor;

// The reference host's application object: the services it was asked for, published under their ids,
// the open drawings, host events and the helpers modules call on the application itself.
class zalHostApplication : public QApplication, public IzalApplication
{
    Q_OBJECT
    Q_INTERFACES(IzalApplication)
public:
    zalHostApplication(int& argc, char** argv, const zalHostOptions& options = zalHostOptions());
    ~zalHostApplication() override;

    static zalHostApplication* instance();

    // IzalApplication
    QObject* service(const QString& id) const override;
    bool registerService(const QString& id, QObject* service) override;
    bool unregisterService(const QString& id, QObject* service) override;
    QString toQString(const OdString& text) const override;
    OdString toOdString(const QString& text) const override;
    QString objectToIdString(const OdDbObject* object) const override;
    QString objectIdToString(const OdDbObjectId& id) const override;
    OdDbObjectId stringToObjectId(const QString& idString, OdDbDatabase* database = nullptr) const override;
    void viewEvent(const QString& channel, const QString& event, bool broadcast) override;
    QObject* createProgressIndicator(const QString& title, QWidget* parent) override;
    bool subscribeEvents(const QString& events, QObject* receiver) override;
    bool unsubscribeEvents(const QString& events, QObject* receiver) override;
    int lengthUnit(OdDbDatabase* database) const override;
    double unitConversionFactor(int from, int to) const override;
    QString saveFileName(const QString& filter, const QString& proposedName, const QString& defaultExtension,
                         const QString& title) override;
    bool waitForFile(const QString& path, int timeoutMs) override;
    bool updateApplication() override;
    void beginElevationQuery() override;
    bool elevationAt(OdDbDatabase* database, const OdGePoint3d& point, double& elevation) override;
    void endElevationQuery() override;
    bool isOpenDocument(OdDbDatabase* database) const override;
    void forEachEntity(OdDbDatabase* database, const std::function<void(OdDbEntity*)>& visitor) override;

    const zalHostOptions& options() const { return m_options; }
    QStringList serviceIds() const { return m_services.keys(); }

    // The host's own services; null when left out.
    zalHostConsole* console() const { return m_console; }
    zalHostAppProps* appProps() const { return m_appProps; }
    zalHostViewSystem* viewSystem() const { return m_viewSystem; }
    zalHostProjectManager* projectManager() const { return m_projectManager; }
    zalHostPhysicsMaterials* physicsMaterials() const { return m_physicsMaterials; }
    zalHostTerrainModeller* terrainModeller() const { return m_terrainModeller; }
    zalHostEventHub* events() const { return m_events; }
    zalHostIdStrings* idStrings() const { return m_idStrings; }
    // What the viewers are sent and what they report (their faults go to the console).
    zalHostViewerMonitor* viewerMonitor() const { return m_viewerMonitor; }

    // Open drawings. The first one added becomes the console's current drawing.
    void addDocument(OdDbDatabase* database);
    void removeDocument(OdDbDatabase* database);
    QList<OdDbDatabase*> documents() const;

    // Loads a module by name through the dynamic linker (its initApp runs on the first load). On failure
    // error tells why, with the result code of an OdError that initApp raised.
    bool loadModule(const QString& name, QString* error = nullptr);
    // Runs the module's uninitApp and lets it go; false when it is not loaded.
    bool unloadModule(const QString& name);

    // Sends a host event to its subscribers; the number reached.
    int fireEvent(const QString& event, const QString& arg = QString());

    // Answers for saveFileName without a user interface, taken in order; none left: cancelled.
    void queueSaveFileNames(const QStringList& paths) { m_saveFileNames << paths; }
    int progressIndicatorCount() const { return m_progressCount; }
    int elevationQueryDepth() const { return m_elevationDepth; }
    int updateRequestCount() const { return m_updateRequests; }

    // Metres per unit of an OdDb::UnitsValue code; 0 for codes the host does not know.
    static double metresPerUnit(int unit);

signals:
    void serviceRegistered(const QString& id);
    void serviceUnregistered(const QString& id);
    void viewEventSent(const QString& channel, const QString& event, bool broadcast);
    void progressStarted(const QString& title);
    void progressFinished(const QString& title);
    void documentsChanged();

private:
    // Writes to the console how a wait for a file the user named ended.
    void reportSavedFile(const QString& waited, bool written, int timeoutMs);

    zalHostOptions m_options;
    QString m_savingTitle, m_savingPath;
    QHash<QString, QPointer<QObject>> m_services;
    QList<OdSmartPtr<OdDbDatabase>> m_documents;
    QStringList m_saveFileNames;
    int m_progressCount = 0;
    int m_elevationDepth = 0;
    int m_updateRequests = 0;

    zalHostEventHub* m_events = nullptr;
    zalHostIdStrings* m_idStrings = nullptr;
    zalHostConsole* m_console = nullptr;
    zalHostAppProps* m_appProps = nullptr;
    zalHostViewSystem* m_viewSystem = nullptr;
    zalHostProjectManager* m_projectManager = nullptr;
    zalHostPhysicsMaterials* m_physicsMaterials = nullptr;
    zalHostTerrainModeller* m_terrainModeller = nullptr;
    zalHostViewerMonitor* m_viewerMonitor = nullptr;
};
