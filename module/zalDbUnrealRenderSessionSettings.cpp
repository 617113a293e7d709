// The session's side of the scene settings: the applier's steps sent to the viewer.
#include "module/zalDbUnrealRenderSession.h"

#include "module/QUnrealDbRenderWidget.h"
#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"
#include "settings/zalSceneSettingsApplier.h"

#include <QCoreApplication>
#include <QMetaObject>

void zalDbUnrealRenderSession::applySceneSettings()
{
    zalUnrealViewerSender* sender = m_sender;
    if (!zalUnrealViewerSender::isReachable(sender)) return;

    zalUnrealRenderModule* module = this->module();
    zalSceneSettingsApplier applier(
        [this](const QString& key, const QVariant& defaultValue) {
            auto it = m_sceneSettings.constFind(key);
            return it == m_sceneSettings.constEnd() ? defaultValue : it.value();
        },
        [module](const QString& key, const QVariant& defaultValue) {
            return module ? module->getSceneSettings(key, defaultValue) : defaultValue;
        });
    if (m_widget)
        applier.setProduction(m_widget->property("Producing").toBool(),
                              m_widget->property("ProducingAnimation").toBool());
    applier.setTessellationSupport([module] { return module && module->supportTessellation(); });

    zalSceneSettingsApplier::Remembered remembered{m_appliedRtQuality, m_appliedPathTracing};
    const zalSceneSettingsApplier::Result result = applier.run(remembered);
    m_appliedRtQuality = remembered.rtQuality;
    m_appliedPathTracing = remembered.pathTracing;

    for (const zalSceneSettingsApplier::Step& step : result.steps) {
        if (step.kind == zalSceneSettingsApplier::Step::SunByPosition)
            sender->setSunByPos(step.northOffset, step.azimuth, step.elevation);
        else
            sender->sendConsoleCommand(step.command);
    }

    if (result.refreshMaterials) {
        // Queued: callers apply inside their own viewer transaction (enumeration, tick), and the
        // materials must go after it.
        if (m_widget) {
            // The widget keeps the session alive; a destroyed widget drops the call.
            QMetaObject::invokeMethod(
                m_widget, [this] { refreshMaterials(); }, Qt::QueuedConnection);
        } else {
            zalDbUnrealRenderSessionPtr keep(this);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [keep] { keep->refreshMaterials(); }, Qt::QueuedConnection);
        }
    }
}
