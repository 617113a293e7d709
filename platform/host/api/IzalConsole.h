#pragma once

#include "zalHostApiExport.h"

#include <QByteArray>
#include <QObject>

class OdRxObject;
class OdDbDatabase;
class OdDbObject;

#define IzalConsole_id "zal.IConsole"

// The host's command line: the current drawing and who handles input in its views.
class ZAL_HOSTAPI IzalConsole
{
public:
    virtual ~IzalConsole() = default;

    // The current drawing (an OdDbDatabase), null when none is open.
    virtual OdRxObject* currentDatabase() const = 0;

    // The receiver of view events of a Qt event type (QEvent::Type) on a database, and its slot in
    // SLOT() form with the arguments (IzalView*, QEvent*, bool&), ready for the string form of
    // QObject::connect. Null and an empty slot when the host has no handler for that type.
    virtual QObject* viewEventReceiver(OdRxObject* database, int eventType, QByteArray& slot) const = 0;

    // A placement in progress hands its property source (the object being placed) to the host so the
    // property panel shows it; null source ends the placement display.
    virtual void setPlacementPropertySource(OdRxObject* propertySource, OdRxObject* database, int flags) = 0;
    // The object a placement appended, for the host's selection and undo.
    virtual void placementAppended(OdDbObject* object, OdRxObject* database) = 0;
};

Q_DECLARE_INTERFACE(IzalConsole, IzalConsole_id)
