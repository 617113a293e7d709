#pragma once

#include "zalHostApiExport.h"

#include <QObject>
#include <QString>

#include <functional>

class IzalView;
class OdDbDatabase;
class QWidget;

#define IzalViewSystem_id "zal.IViewSystem"

// Makes the content widget of a new view on db; the host parents it. Arguments: database, parent
// widget, the host's main window (may be null).
using zalViewFactory = std::function<QWidget*(OdDbDatabase* db, QWidget* parent, QWidget* mainWindow)>;

// The host's view area: view types that modules add, and the views open on each drawing.
class ZAL_HOSTAPI IzalViewSystem
{
public:
    virtual ~IzalViewSystem() = default;

    // False when the id is empty, already registered or the factory empty.
    virtual bool registerViewType(const QString& id, const QString& title, const zalViewFactory& factory) = 0;
    // Views already open stay open. False when the id is not registered.
    virtual bool unregisterViewType(const QString& id) = 0;

    // The view of a database: the active view when it shows db, else the latest view opened on db;
    // null when db has none.
    virtual IzalView* view(OdDbDatabase* database) const = 0;
    // Null when no view is open.
    virtual IzalView* activeView() const = 0;
};

Q_DECLARE_INTERFACE(IzalViewSystem, IzalViewSystem_id)
