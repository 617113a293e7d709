#include "translate/zalViewerNames.h"

#include "IzalApplication.h"

QString zalViewerNames::ofObject(const OdDbObject* object)
{
    IzalApplication* app = zalApp();
    return app ? app->objectToIdString(object) : QString();
}

QString zalViewerNames::ofId(const OdDbObjectId& id)
{
    IzalApplication* app = zalApp();
    return app ? app->objectIdToString(id) : QString();
}

OdDbObjectId zalViewerNames::toId(const QString& name)
{
    IzalApplication* app = zalApp();
    return app ? app->stringToObjectId(name) : OdDbObjectId();
}
