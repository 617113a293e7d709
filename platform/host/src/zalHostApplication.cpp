#include "zalHostApplication.h"

#include "zalHostAppProps.h"
#include "zalHostConsole.h"
#include "zalHostEventHub.h"
#include "zalHostIdStrings.h"
#include "zalHostPhysicsMaterials.h"
#include "zalHostProgressIndicator.h"
#include "zalHostProjectManager.h"
#include "zalHostTerrainModeller.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"
#include "zalHostViewerMonitor.h"
#include "zalStrings.h"

#include "IzalAppProps.h"
#include "IzalConsole.h"
#include "IzalPhysicsMaterialsModule.h"
#include "IzalProjectManager.h"
#include "IzalTerrainModellerModule.h"
#include "IzalViewSystem.h"

#include "DbEntity.h"
#include "RxDynamicLinker.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace {

QString defaultVariablesFile()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    return folder + QStringLiteral("/zalhost/zalhost.ini");
}

// "Png Image *.png|Jpeg Image *.jpg" → "Png Image (*.png);;Jpeg Image (*.jpg)"
QString qtFilter(const QString& filter)
{
    QStringList parts;
    for (const QString& entry : filter.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const QString text = entry.trimmed();
        const int star = text.indexOf(QLatin1Char('*'));
        parts << (star > 0
                      ? text.left(star).trimmed() + QStringLiteral(" (") + text.mid(star) + QLatin1Char(')')
                      : text);
    }
    return parts.join(QStringLiteral(";;"));
}

} // namespace

zalHostApplication::zalHostApplication(int& argc, char** argv, const zalHostOptions& options)
    : QApplication(argc, argv), m_options(options)
{
    if (m_options.variablesFile.isEmpty()) m_options.variablesFile = defaultVariablesFile();
    if (m_options.temporaryRoot.isEmpty())
        m_options.temporaryRoot = QDir::tempPath() + QStringLiteral("/zalhost");
    if (m_options.materialLibraryRoot.isEmpty())
        m_options.materialLibraryRoot = applicationDirPath() + QStringLiteral("/MaterialLibrary");

    m_events = new zalHostEventHub(this);
    m_idStrings = new zalHostIdStrings(this);

    const int s = m_options.services;
    if (s & zalHostOptions::Console) {
        m_console = new zalHostConsole(this);
        registerService(QStringLiteral(IzalConsole_id), m_console);
    }
    if (s & zalHostOptions::AppProps) {
        m_appProps = new zalHostAppProps(m_options.variablesFile, this);
        registerService(QStringLiteral(IzalAppProps_id), m_appProps);
    }
    if (s & zalHostOptions::ViewSystem) {
        m_viewSystem = new zalHostViewSystem(this);
        registerService(QStringLiteral(IzalViewSystem_id), m_viewSystem);
    }
    if (s & zalHostOptions::ProjectManager) {
        zalHostIdStrings* ids = m_idStrings;
        m_projectManager = new zalHostProjectManager(
            m_options.temporaryRoot, [ids](OdDbDatabase* db) { return ids->databaseTag(db); }, this);
        registerService(QStringLiteral(IzalProjectManager_id), m_projectManager);
    }
    if (s & zalHostOptions::PhysicsMaterials) {
        m_physicsMaterials = new zalHostPhysicsMaterials(m_options.materialLibraryRoot, this);
        registerService(QStringLiteral(IzalPhysicsMaterialsModule_id), m_physicsMaterials);
    }
    if (s & zalHostOptions::TerrainModeller) {
        m_terrainModeller = new zalHostTerrainModeller(this);
        registerService(QStringLiteral(IzalTerrainModellerModule_id), m_terrainModeller);
    }

    m_viewerMonitor = new zalHostViewerMonitor(this);

    // The view system is where the host's picking and editing take view input, and where point
    // prompts show their trackers.
    if (m_console && m_viewSystem) {
        QPointer<zalHostViewSystem> views = m_viewSystem;
        m_console->setTrackerView([views]() -> OdGsView* {
            IzalView* view = views ? views->activeView() : nullptr;
            return view ? view->gsView() : nullptr;
        });
        for (QEvent::Type type :
             {QEvent::MouseMove, QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
              QEvent::MouseButtonDblClick, QEvent::Wheel, QEvent::KeyPress, QEvent::KeyRelease})
            m_console->setViewEventReceiver(int(type), m_viewSystem,
                                            SLOT(handleViewEvent(IzalView*, QEvent*, bool&)));
    }
}

zalHostApplication::~zalHostApplication()
{
    // Views hold module widgets and drawings; both go before the services the widgets may call.
    delete m_viewSystem;
    m_viewSystem = nullptr;
    delete m_viewerMonitor;
    m_viewerMonitor = nullptr;
    if (m_console) m_console->setCurrentDatabase(nullptr);
    m_documents.clear();
}

zalHostApplication* zalHostApplication::instance()
{
    return qobject_cast<zalHostApplication*>(QCoreApplication::instance());
}

QObject* zalHostApplication::service(const QString& id) const
{
    return m_services.value(id).data();
}

bool zalHostApplication::registerService(const QString& id, QObject* service)
{
    if (id.isEmpty() || !service) return false;
    const QPointer<QObject> present = m_services.value(id);
    if (present && present != service) return false;
    m_services.insert(id, service);
    emit serviceRegistered(id);
    return true;
}

bool zalHostApplication::unregisterService(const QString& id, QObject* service)
{
    auto it = m_services.find(id);
    if (it == m_services.end() || (it->data() != service && !it->isNull())) return false;
    m_services.erase(it);
    emit serviceUnregistered(id);
    return true;
}

QString zalHostApplication::toQString(const OdString& text) const
{
    return zalStrings::toQString(text);
}

OdString zalHostApplication::toOdString(const QString& text) const
{
    return zalStrings::toOdString(text);
}

QString zalHostApplication::objectToIdString(const OdDbObject* object) const
{
    return m_idStrings->objectToIdString(object);
}

QString zalHostApplication::objectIdToString(const OdDbObjectId& id) const
{
    return m_idStrings->objectIdToString(id);
}

OdDbObjectId zalHostApplication::stringToObjectId(const QString& idString, OdDbDatabase* database) const
{
    return m_idStrings->stringToObjectId(idString, database);
}

void zalHostApplication::viewEvent(const QString& channel, const QString& event, bool broadcast)
{
    emit viewEventSent(channel, event, broadcast);
    if (broadcast) m_events->fire(event, channel);
}

QObject* zalHostApplication::createProgressIndicator(const QString& title, QWidget* parent)
{
    auto* indicator = new zalHostProgressIndicator(title, parent, m_options.interactive);
    if (m_viewerMonitor)
        connect(m_viewerMonitor, &zalHostViewerMonitor::sent, indicator,
                [indicator](OdDbDatabase*, quint64 entities, quint64 triangles) {
                    indicator->addSent(entities, triangles);
                });
    ++m_progressCount;
    emit progressStarted(title);
    connect(indicator, &zalHostProgressIndicator::finished, this, [this](const QString& t) {
        --m_progressCount;
        emit progressFinished(t);
    });
    return indicator;
}

bool zalHostApplication::subscribeEvents(const QString& events, QObject* receiver)
{
    return m_events->subscribe(events, receiver);
}

bool zalHostApplication::unsubscribeEvents(const QString& events, QObject* receiver)
{
    return m_events->unsubscribe(events, receiver);
}

int zalHostApplication::fireEvent(const QString& event, const QString& arg)
{
    return m_events->fire(event, arg);
}

int zalHostApplication::lengthUnit(OdDbDatabase* database) const
{
    return database ? int(database->getINSUNITS()) : 0;
}

double zalHostApplication::metresPerUnit(int unit)
{
    // OdDb::UnitsValue codes.
    static const double table[] = {
        0.0,                   // undefined
        0.0254,                // inches
        0.3048,                // feet
        1609.344,              // miles
        0.001,                 // millimetres
        0.01,                  // centimetres
        1.0,                   // metres
        1000.0,                // kilometres
        2.54e-8,               // microinches
        2.54e-5,               // mils
        0.9144,                // yards
        1e-10,                 // angstroms
        1e-9,                  // nanometres
        1e-6,                  // microns
        0.1,                   // decimetres
        10.0,                  // decametres
        100.0,                 // hectometres
        1e9,                   // gigametres
        1.495978707e11,        // astronomical units
        9.4607304725808e15,    // light years
        3.0856775814913673e16, // parsecs
        1200.0 / 3937.0,       // US survey feet
        100.0 / 3937.0,        // US survey inches
        3600.0 / 3937.0,       // US survey yards
        6336000.0 / 3937.0,    // US survey miles
    };
    if (unit < 0 || unit >= int(sizeof(table) / sizeof(table[0]))) return 0.0;
    return table[unit];
}

double zalHostApplication::unitConversionFactor(int from, int to) const
{
    const double a = metresPerUnit(from);
    const double b = metresPerUnit(to);
    if (a == 0.0 || b == 0.0) return 1.0;
    return a / b;
}

QString zalHostApplication::saveFileName(const QString& filter, const QString& proposedName,
                                         const QString& defaultExtension, const QString& title)
{
    QString path;
    if (!m_saveFileNames.isEmpty())
        path = m_saveFileNames.takeFirst();
    else if (m_options.interactive)
        path = QFileDialog::getSaveFileName(activeWindow(), title, proposedName, qtFilter(filter));
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) {
        QString extension = defaultExtension;
        extension.remove(QLatin1Char('*'));
        if (!extension.isEmpty() && !extension.startsWith(QLatin1Char('.')))
            extension.prepend(QLatin1Char('.'));
        path += extension;
    }
    // A wait for a file of that name reports the outcome under this title.
    m_savingTitle = title;
    m_savingPath = path;
    return path;
}

void zalHostApplication::reportSavedFile(const QString& waited, bool written, int timeoutMs)
{
    // The file the caller asked the user for, if it is the one waited for (or the same name in
    // another format, which the caller converts to afterwards).
    const QFileInfo waitedInfo(waited);
    const QFileInfo chosen(m_savingPath);
    const bool chosenByUser = !m_savingPath.isEmpty() && chosen.absolutePath() == waitedInfo.absolutePath() &&
                              chosen.completeBaseName() == waitedInfo.completeBaseName();
    const QString title = chosenByUser ? m_savingTitle : QString();
    // A name that differs only in case is the file waited for (the caller does not convert it).
    const bool converted =
        chosenByUser && chosen.fileName().compare(waitedInfo.fileName(), Qt::CaseInsensitive) != 0;
    const QString destination = converted ? chosen.absoluteFilePath() : waitedInfo.absoluteFilePath();
    m_savingPath.clear();
    m_savingTitle.clear();
    if (!m_console) return;
    const QString prefix = title.isEmpty() ? QString() : title + QStringLiteral(": ");
    if (!written) {
        m_console->write(prefix + tr("no file %1 after %2 s.").arg(waited).arg(timeoutMs / 1000.0));
        return;
    }
    // A converted copy appears a little later; it is reported once it exists (or its absence after 10 s).
    auto* poll = new QTimer(m_console);
    auto* clock = new QElapsedTimer;
    clock->start();
    const auto check = [this, poll, clock, prefix, destination] {
        if (QFileInfo::exists(destination)) {
            const QSize size = QImageReader(destination).size();
            m_console->write(
                size.isValid()
                    ? prefix + tr("wrote %1 (%2 x %3).").arg(destination).arg(size.width()).arg(size.height())
                    : prefix + tr("wrote %1.").arg(destination));
        } else if (clock->elapsed() > 10000) {
            m_console->write(prefix + tr("%1 was not written.").arg(destination));
        } else {
            return;
        }
        poll->stop();
        poll->deleteLater();
    };
    connect(poll, &QObject::destroyed, [clock] { delete clock; });
    connect(poll, &QTimer::timeout, m_console, check);
    poll->start(100);
    check();
}

bool zalHostApplication::waitForFile(const QString& path, int timeoutMs)
{
    if (path.isEmpty()) return false;
    QElapsedTimer clock;
    clock.start();
    // The status bar shows the wait like any other long work.
    const QString waiting = tr("Waiting for %1").arg(QFileInfo(path).fileName());
    emit progressStarted(waiting);
    // The file is written by another process or a queued call: keep the event loop turning.
    bool written = false;
    for (;;) {
        if (QFileInfo::exists(path)) {
            written = true;
            break;
        }
        if (clock.elapsed() >= timeoutMs) break;
        processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    emit progressFinished(waiting);
    reportSavedFile(path, written, timeoutMs);
    return written;
}

bool zalHostApplication::updateApplication()
{
    ++m_updateRequests;
    if (m_viewSystem)
        if (IzalView* view = m_viewSystem->activeView()) view->update();
    processEvents();
    return true;
}

void zalHostApplication::beginElevationQuery()
{
    ++m_elevationDepth;
}

bool zalHostApplication::elevationAt(OdDbDatabase* database, const OdGePoint3d& point, double& elevation)
{
    return m_terrainModeller && m_terrainModeller->elevationAt(database, point, elevation);
}

void zalHostApplication::endElevationQuery()
{
    if (m_elevationDepth > 0) --m_elevationDepth;
}

void zalHostApplication::addDocument(OdDbDatabase* database)
{
    if (!database || isOpenDocument(database)) return;
    m_documents << OdSmartPtr<OdDbDatabase>(database);
    m_idStrings->databaseTag(database);
    if (m_console && !m_console->currentDatabase()) m_console->setCurrentDatabase(database);
    emit documentsChanged();
}

void zalHostApplication::removeDocument(OdDbDatabase* database)
{
    for (int i = 0; i < m_documents.size(); ++i) {
        if (m_documents.at(i).get() != database) continue;
        if (m_viewSystem)
            for (zalHostView* view : m_viewSystem->views(database))
                m_viewSystem->closeView(view);
        if (m_console && m_console->currentDatabase() == database)
            m_console->setCurrentDatabase(m_documents.size() > 1 ? m_documents.at(i == 0 ? 1 : 0).get()
                                                                 : nullptr);
        m_documents.removeAt(i);
        emit documentsChanged();
        return;
    }
}

QList<OdDbDatabase*> zalHostApplication::documents() const
{
    QList<OdDbDatabase*> list;
    for (const auto& db : m_documents)
        list << db.get();
    return list;
}

bool zalHostApplication::isOpenDocument(OdDbDatabase* database) const
{
    for (const auto& db : m_documents)
        if (db.get() == database) return true;
    return false;
}

void zalHostApplication::forEachEntity(OdDbDatabase* database,
                                       const std::function<void(OdDbEntity*)>& visitor)
{
    if (!database || !visitor) return;
    database->visitEntities([&visitor](const OdDbObjectId& id) {
        OdDbObjectPtr object = id.openObject();
        if (!object.isNull() && object->isKindOf(OdDbEntity::desc()))
            visitor(static_cast<OdDbEntity*>(object.get()));
    });
}

bool zalHostApplication::loadModule(const QString& name, QString* error)
{
    QString reason;
    try {
        OdRxModulePtr module = odrxDynamicLinker()->loadModule(zalStrings::toOdString(name));
        if (!module.isNull()) return true;
        reason = zalStrings::toQString(odrxDynamicLinker()->lastError());
    } catch (const OdError& e) {
        reason =
            QStringLiteral("%1 (error %2)").arg(zalStrings::toQString(e.description())).arg(int(e.code()));
    }
    qWarning() << "zalhost: cannot load" << name << ":" << reason;
    if (error) *error = reason;
    return false;
}

bool zalHostApplication::unloadModule(const QString& name)
{
    return odrxDynamicLinker()->unloadModule(zalStrings::toOdString(name));
}
