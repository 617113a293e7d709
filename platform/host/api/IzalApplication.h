#pragma once

#include "zalHostApiExport.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>

#include <functional>

class OdString;
class OdDbObject;
class OdDbObjectId;
class OdDbDatabase;
class OdDbEntity;
class OdGePoint3d;
class QWidget;

// The host application object. Modules reach it through zalApp() and every other host service through
// service(id); a service that is not there is null and the caller skips its work.
class ZAL_HOSTAPI IzalApplication
{
public:
    virtual ~IzalApplication() = default;

    // Services are QObjects published under ids such as "zal.IConsole"; cast them with qobject_cast.
    // The application does not own registered services.
    virtual QObject* service(const QString& id) const = 0;
    // False when the id is empty, the object null or the id already taken by another object.
    virtual bool registerService(const QString& id, QObject* service) = 0;
    // False when the id is not registered to that object.
    virtual bool unregisterService(const QString& id, QObject* service) = 0;

    virtual QString toQString(const OdString& text) const = 0;
    virtual OdString toOdString(const QString& text) const = 0;

    // Id strings name database objects for the viewer and for file names:
    // "<database tag>_<class name>_<hexadecimal handle>". The null id gives "".
    virtual QString objectToIdString(const OdDbObject* object) const = 0;
    virtual QString objectIdToString(const OdDbObjectId& id) const = 0;
    // The null id when the string names nothing: unknown tag, handle or class. With a database, only
    // strings of that database resolve.
    virtual OdDbObjectId stringToObjectId(const QString& idString,
                                          OdDbDatabase* database = nullptr) const = 0;

    // Tells the views that something they show changed. With broadcast, the subscribers of the event
    // receive refresh(event, channel).
    virtual void viewEvent(const QString& channel, const QString& event, bool broadcast) = 0;

    // A busy indicator shown over parent (or nowhere without a screen) until the caller deletes it.
    virtual QObject* createProgressIndicator(const QString& title, QWidget* parent) = 0;

    // events: event names joined by "|", optionally preceded by the receiver's class name
    // ("QUnrealDbRenderWidget<event-refresh:view_changed>|<event-refresh:database_changed>" or
    // "QUnrealDbRenderWidget|<e1>|<e2>"). Each event arrives through the receiver's slot
    // refresh(QString key, QString arg), key being the event name. A destroyed receiver is dropped.
    virtual bool subscribeEvents(const QString& events, QObject* receiver) = 0;
    virtual bool unsubscribeEvents(const QString& events, QObject* receiver) = 0;

    // Length unit of a database as an OdDb::UnitsValue code, and the factor that turns a length in unit
    // code `from` into unit code `to` (6 is metres). Undefined units count as 1:1.
    virtual int lengthUnit(OdDbDatabase* database) const = 0;
    virtual double unitConversionFactor(int from, int to) const = 0;

    // filter: "Png Image *.png|Jpeg Image *.jpg". Empty when the user cancels.
    virtual QString saveFileName(const QString& filter, const QString& proposedName,
                                 const QString& defaultExtension, const QString& title) = 0;
    // Keeps the event loop running until the file exists or the time is up; true when it appeared.
    virtual bool waitForFile(const QString& path, int timeoutMs) = 0;

    // Lets the application catch up with pending work (events, repaints). False when it could not.
    virtual bool updateApplication() = 0;

    // Terrain elevation; queries are bracketed by begin/end so the host can cache the surface.
    virtual void beginElevationQuery() = 0;
    virtual bool elevationAt(OdDbDatabase* database, const OdGePoint3d& point, double& elevation) = 0;
    virtual void endElevationQuery() = 0;

    // Whether the database is a drawing the user opened (not one loaded for a reference).
    virtual bool isOpenDocument(OdDbDatabase* database) const = 0;

    // Calls visitor with every entity of every block record of the database, opened for read.
    virtual void forEachEntity(OdDbDatabase* database, const std::function<void(OdDbEntity*)>& visitor) = 0;
};

#define IzalApplication_iid "zal.IApplication"
Q_DECLARE_INTERFACE(IzalApplication, IzalApplication_iid)

// Null when the running application is not a zal host.
inline IzalApplication* zalApp()
{
    return dynamic_cast<IzalApplication*>(QCoreApplication::instance());
}

// The service published under id, cast to its interface; null when absent or of another kind.
template <class T> T* zalService(const QString& id)
{
    IzalApplication* app = zalApp();
    QObject* object = app ? app->service(id) : nullptr;
    return object ? qobject_cast<T*>(object) : nullptr;
}
