#include "translate/zalViewerNames.h"

#include "IzalApplication.h"

#include <typeinfo>

namespace {

// The host application, cast once per application object: the cast crosses class hierarchies (a
// dynamic_cast comparing type names) and a refresh asks for names several times per entity.
IzalApplication* application()
{
    static QCoreApplication* castFrom = nullptr;
    static const std::type_info* castType = nullptr;
    static IzalApplication* cast = nullptr;
    QCoreApplication* instance = QCoreApplication::instance();
    // The type is compared too: another application object may be made where the last one was.
    if (instance != castFrom || !instance || typeid(*instance) != *castType) {
        castFrom = instance;
        castType = instance ? &typeid(*instance) : nullptr;
        cast = instance ? dynamic_cast<IzalApplication*>(instance) : nullptr;
    }
    return cast;
}

} // namespace

QString zalViewerNames::ofObject(const OdDbObject* object)
{
    IzalApplication* app = application();
    return app ? app->objectToIdString(object) : QString();
}

QString zalViewerNames::ofId(const OdDbObjectId& id)
{
    IzalApplication* app = application();
    return app ? app->objectIdToString(id) : QString();
}

OdDbObjectId zalViewerNames::toId(const QString& name)
{
    IzalApplication* app = application();
    return app ? app->stringToObjectId(name) : OdDbObjectId();
}
