// The factory of the "UnrealRender" view type.
#include "module/zalViewFactory.h"

#include "module/QUnrealDbRenderWidget.h"
#include "module/zalDbUnrealRenderSession.h"

#include "RxObjectImpl.h"

#include <QCoreApplication>
#include <QThread>

QWidget* zalCreateRenderView(OdDbDatabase* db, zalModuleContext* context)
{
    zalDbUnrealRenderSessionPtr session = OdRxObjectImpl<zalDbUnrealRenderSession>::createObject();
    session->initialise(db, context);

    auto* widget = new QUnrealDbRenderWidget(session.get(), nullptr);
    widget->moveToThread(QCoreApplication::instance()->thread());
    session->setWidget(widget);
    // The widget holds the session from here on.
    return widget;
}
