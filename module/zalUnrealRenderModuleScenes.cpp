// Scenes: which scene of a drawing is current, where its settings live, and the settings map.
#include "module/zalSessionRegistry.h"
#include "translate/zalViewerNames.h"
#include "zalUnrealRenderModule.h"

#include "module/QUnrealDbRenderWidget.h"
#include "zalDbUnrealRenderSession.h"

#include "IzalApplication.h"
#include "IzalProjectManager.h"

#include "DbDatabase.h"
#include "DbDictionary.h"
#include "DbField.h"

#include <QSettings>

namespace {

const OdString kSceneKey(L"UnrealNamedView");

OdDbDatabase* resolve(const OdSmartPtr<OdDbDatabase>& db, const zalModuleContext& context)
{
    return db.isNull() ? context.currentDatabase() : db.get();
}

int activeViewportScene(OdDbDatabase* db)
{
    return int(OdUInt32(db->activeViewportId().getHandle().value() & 0xFFFFFFFFu));
}

zalDbUnrealRenderSession* activeSession(zalUnrealRenderModule* module)
{
    auto* widget = qobject_cast<QUnrealDbRenderWidget*>(module->activeWidget());
    return widget ? widget->session() : nullptr;
}

} // namespace

int zalUnrealRenderModule::currentScene(OdSmartPtr<OdDbDatabase> dbIn) const
{
    OdDbDatabase* db = resolve(dbIn, m_context);
    if (!db) return 0;
    OdDbDictionaryPtr named = OdDbDictionary::cast(db->getNamedObjectsDictionaryId().safeOpenObject());
    if (named.isNull()) throw OdError_NotThatKindOfClass();
    int id = 0;
    OdDbObjectPtr entry = named->getAt(kSceneKey, OdDb::kForRead);
    if (!entry.isNull()) {
        OdDbFieldPtr field = OdDbField::cast(entry);
        if (!field.isNull()) {
            QString code = QString::fromStdWString(field->getFieldCode(OdDbField::kTextField).c_str());
            id = code.toInt(nullptr, 10);
        }
    }
    return id != 0 ? id : activeViewportScene(db);
}

void zalUnrealRenderModule::setCurrentScene(OdSmartPtr<OdDbDatabase> dbIn, long id)
{
    OdDbDatabase* db = resolve(dbIn, m_context);
    if (!db) return;
    if (id == 0) id = activeViewportScene(db);

    {
        OdDbDictionaryPtr named =
            OdDbDictionary::cast(db->getNamedObjectsDictionaryId().safeOpenObject(OdDb::kForWrite));
        if (named.isNull()) throw OdError_NotThatKindOfClass();
        OdDbFieldPtr field = OdDbField::createObject();
        field->setFieldCode(OdString(QString::number(id).toStdWString()), OdDbField::kTextField);
        if (named->has(kSceneKey)) {
            OdDbObjectPtr old = named->getAt(kSceneKey, OdDb::kForWrite);
            named->remove(kSceneKey);
            if (!old.isNull()) old->erase();
        }
        named->setAt(kSceneKey, field);
    }

    if (zalDbUnrealRenderSession* session = activeSession(this)) {
        QString path = currentScenePath(db);
        if (IzalProjectManager* projects = m_context.projectManager()) {
            IzalApplication* app = zalApp();
            session->loadScene(
                projects->absolutePath(app->toOdString(path), IzalProjectManager::kScenes, db));
        } else {
            session->applySceneSettings();
        }
    }

    if (IzalApplication* app = zalApp())
        app->viewEvent("unrealviewportscene", "<event-refresh:view_changed>", true);
}

QString zalUnrealRenderModule::currentScenePath(OdSmartPtr<OdDbDatabase> dbIn)
{
    OdDbDatabase* db = resolve(dbIn, m_context);
    if (!db) return QString();
    OdUInt64 handle = OdUInt32(currentScene(db));
    OdDbObjectId sceneObject = db->getOdDbObjectId(OdDbHandle(handle));
    return zalViewerNames::ofId(sceneObject) + "_ue5.rsc";
}

QMap<QString, QVariant>& zalUnrealRenderModule::currentSceneSettings()
{
    if (zalDbUnrealRenderSession* session = activeSession(this)) return session->sceneSettings();
    // Callers may keep the reference: one map for the whole run.
    static QMap<QString, QVariant> empty;
    return empty;
}

QVariant zalUnrealRenderModule::getSceneSettings(const QString& key, QVariant defaultValue)
{
    zalDbUnrealRenderSession* session =
        zalSessionRegistry::instance().sessionFor(m_context.currentDatabase());
    if (!session) return defaultValue;
    const QMap<QString, QVariant>& settings = session->sceneSettings();
    auto it = settings.constFind(key);
    return it == settings.constEnd() ? defaultValue : it.value();
}

void zalUnrealRenderModule::setSceneSettings(const QString& key, const QVariant& value, bool apply, bool save)
{
    zalDbUnrealRenderSession* session = activeSession(this);
    if (!session) return;
    QMap<QString, QVariant>& settings = session->sceneSettings();
    if (settings.value(key) == value) return;
    settings.insert(key, value);
    if (apply) session->applySceneSettings();
    if (save) {
        if (QSettings* file = session->sceneFile()) {
            for (auto it = settings.constBegin(); it != settings.constEnd(); ++it)
                file->setValue(it.key(), it.value());
            file->sync();
        }
        if (IzalApplication* app = zalApp())
            app->viewEvent("unrealviewportscene", "<event-refresh:view_changed>", true);
    }
}

void zalUnrealRenderModule::applyCurrentSceneSettings()
{
    if (zalDbUnrealRenderSession* session = activeSession(this)) session->applySceneSettings();
}
