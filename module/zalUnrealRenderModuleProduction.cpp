// Still images and animation frames through the viewer.
#include "module/zalSessionRegistry.h"
#include "zalUnrealRenderModule.h"

#include "module/QUnrealDbRenderWidget.h"
#include "settings/zalSceneSettingsApplier.h"
#include "zalDbUnrealRenderSession.h"
#include "zalUnrealViewerSender.h"

#include "IzalAppProps.h"
#include "IzalApplication.h"

#include "OdVariant.h"

#include <QtGlobal>

namespace {

const OdString kPathTracerVariable(L"Vars/UEPathTracerProduction");

QUnrealDbRenderWidget* activeRenderWidget(zalUnrealRenderModule* module)
{
    return qobject_cast<QUnrealDbRenderWidget*>(module->activeWidget());
}

// The sender of the active widget's session when the viewer can be reached, else null.
zalUnrealViewerSender* reachableSender(QUnrealDbRenderWidget* widget)
{
    zalDbUnrealRenderSession* session = widget ? widget->session() : nullptr;
    zalUnrealViewerSender* sender = session ? session->sender() : nullptr;
    return zalUnrealViewerSender::isReachable(sender) ? sender : nullptr;
}

} // namespace

void zalUnrealRenderModule::setProductionMode(bool producing, bool animation, bool preview, bool pathTracer)
{
    if (IzalAppProps* props = zalService<IzalAppProps>(IzalAppProps_id))
        props->createVariable(kPathTracerVariable, OdVariant(OdInt32(pathTracer ? 1 : 0)), OdString(L"int"));

    QUnrealDbRenderWidget* widget = activeRenderWidget(this);
    zalUnrealViewerSender* sender = reachableSender(widget);
    if (!sender) return;

    if (widget->property("Producing").toBool() != producing)
        sender->sendConsoleCommand("pause");
    else if (widget->property("ProducingAnimation").toBool() == animation &&
             widget->property("ProducingPreview").toBool() == preview)
        return;

    widget->setProperty("Producing", producing);
    widget->setProperty("ProducingAnimation", animation);
    widget->setProperty("ProducingPreview", preview);

    zalDbUnrealRenderSession* session = widget->session();
    session->applySceneSettings();

    if (pathTracer) {
        sender->sendConsoleCommand(producing ? "showflag.pathtracing 1" : "showflag.pathtracing 0");
    } else {
        int enabled = session->sceneSettings().value("RenderSettings/EnablePathTracing", 0).toInt();
        sender->sendConsoleCommand(QString("showflag.pathtracing %1").arg(enabled));
    }
}

bool zalUnrealRenderModule::isProducing(bool& animation, bool& preview, bool& pathTracer) const
{
    IzalAppProps* props = zalService<IzalAppProps>(IzalAppProps_id);
    pathTracer = props && props->intVariable(kPathTracerVariable, 0) == 1;

    zalDbUnrealRenderSession* session =
        zalSessionRegistry::instance().sessionFor(m_context.currentDatabase());
    QUnrealDbRenderWidget* widget = session ? session->widget() : nullptr;
    if (!widget) return false;
    animation = widget->property("ProducingAnimation").toBool();
    preview = widget->property("ProducingPreview").toBool();
    return widget->property("Producing").toBool();
}

bool zalUnrealRenderModule::exportImage(const QString& file, QSize size, int)
{
    bool animation = false, preview = false, pathTracer = false;
    bool producing = isProducing(animation, preview, pathTracer);

    QUnrealDbRenderWidget* widget = activeRenderWidget(this);
    zalUnrealViewerSender* sender = reachableSender(widget);
    if (!sender) return false;

    bool tracing = false;
    int iterations = 0;
    if (producing) {
        tracing = pathTracer;
        iterations =
            getSceneSettings(
                animation ? "AnimationProduction/MaxIterations" : "ImageProduction/MaxIterations", 50)
                .toInt();
    } else {
        const QMap<QString, QVariant>& settings = widget->session()->sceneSettings();
        tracing = settings.value("RenderSettings/EnablePathTracing", 0).toInt() > 0;
        iterations = settings.value("RenderSettings/PT_SamplesPerPixel", 0).toInt();
    }

    if (tracing) {
        sender->sendConsoleCommand(QString("r.HighresScreenshotDelay %1").arg(qMax(iterations + 5, 50)));
        if (IzalApplication* app = zalApp()) app->updateApplication();
    }
    sender->sendConsoleCommand(
        QString("HighResShot %1x%2 filename=\"%3\"").arg(size.width()).arg(size.height()).arg(file));
    return true;
}

void zalUnrealRenderModule::setGameTimeSeconds(float seconds)
{
    if (zalUnrealViewerSender* sender = reachableSender(activeRenderWidget(this)))
        sender->sendConsoleCommand("setgametime " + zalSceneSettingsApplier::real(seconds));
}
