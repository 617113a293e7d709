// The factory of the "UnrealRender" view type.
#include "module/zalUnrealRenderModule.h"

#include "module/QUnrealDbRenderWidget.h"
#include "module/zalDbUnrealRenderSession.h"

#include "RxObjectImpl.h"

#include <QCoreApplication>
#include <QThread>

QWidget* zalUnrealRenderModule::createRenderView(OdDbDatabase* db, QWidget*, QWidget*)
{
    zalDbUnrealRenderSessionPtr session = OdRxObjectImpl<zalDbUnrealRenderSession>::createObject();
    session->initialise(db);

    auto* widget = new QUnrealDbRenderWidget(session.get(), nullptr);
    widget->moveToThread(QCoreApplication::instance()->thread());
    session->setWidget(widget);
    // The widget holds the session from here on.
    return widget;
}
