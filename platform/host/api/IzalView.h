#pragma once

#include "zalHostApiExport.h"

#include <QObject>
#include <QString>

class OdDbDatabase;
class OdGsView;
class QWidget;

// One view of a drawing in the host's view area. Owned by the host's view system.
class ZAL_HOSTAPI IzalView
{
public:
    virtual ~IzalView() = default;

    // The id of the view type it was opened as ("UnrealRender").
    virtual QString typeName() const = 0;
    virtual OdDbDatabase* database() const = 0;
    // The widget the view type's factory made; null once it is gone.
    virtual QWidget* widget() const = 0;
    // The graphics view that holds the view's camera; null when the view has none.
    virtual OdGsView* gsView() const = 0;
    // Finishes pending redraws.
    virtual void update() = 0;
};

#define IzalView_iid "zal.IView"
Q_DECLARE_INTERFACE(IzalView, IzalView_iid)
