// The settings panel the module hands to the host.
#include "module/zalUnrealRenderModule.h"

#include "settings/zalUnrealSettingsWidget.h"

QWidget* zalUnrealRenderModule::createSettingsWidget(QWidget* parent)
{
    auto* panel = new zalUnrealSettingsWidget(parent);
    // Scene loads and updateSettingsDialog reach every open panel; the connection ends with the panel.
    connect(this, &zalUnrealRenderModule::currentSettingsChange, panel,
            [panel] { panel->refresh(QString(), QString()); });
    return panel;
}
