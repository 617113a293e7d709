// Service operations whose subsystems are not built yet. Each answers "nothing available";
// the owning subsystem replaces its definitions here with the real ones.
#include "zalUnrealRenderModule.h"

QString zalUnrealRenderModule::assetsLibraryPath() const
{
    return QString();
}

int zalUnrealRenderModule::getAvailableMaterialAssets(QStringList&, QStringList&, QStringList&, QStringList&)
{
    return 0;
}

int zalUnrealRenderModule::getAvailableComponentAssets(QStringList&, QStringList&, QStringList&, QStringList&)
{
    return 0;
}
