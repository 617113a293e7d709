#include "zalDocumentManager.h"

#include "zalDrawingImporter.h"
#include "zalDxfWriter.h"
#include "zalGripController.h"

#include "DbDatabaseReactor.h"
#include "DbEntity.h"
#include "StaticRxObject.h"
#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostPhysicsMaterials.h"
#include "zalStrings.h"

#include "IzalUnrealRenderModule.h"

#include "OdError.h"
#include "RxDynamicLinker.h"

#include <QFileInfo>

#include <cmath>

namespace {
zalDocumentManager* s_instance = nullptr;
}

zalDocumentManager::zalDocumentManager(zalHostApplication* app, QObject* parent) : QObject(parent), m_app(app)
{
    s_instance = this;
    // A placement (the fountain's) says what it placed and where, instead of only ending.
    if (app && app->console())
        connect(app->console(), &zalHostConsole::placementFinished, this, [app](const OdDbObjectId& id) {
            OdDbObjectPtr object = id.openObject();
            auto* entity = dynamic_cast<OdDbEntity*>(object.get());
            if (!entity) return;
            const QString what = QStringLiteral("%1 %2").arg(zalStrings::toQString(entity->isA()->name()),
                                                             zalStrings::toQString(id.getHandle().ascii()));
            OdGePoint3d at;
            // Millionths of a unit are enough to say where; the terrain leaves noise below them.
            const auto number = [](double v) {
                return QString::number(std::round(v * 1e6) / 1e6 + 0.0, 'g', 10);
            };
            app->console()->write(
                zalGripController::anchorOf(entity, at)
                    ? tr("Placed %1 at %2, %3, %4.").arg(what, number(at.x), number(at.y), number(at.z))
                    : tr("Placed %1.").arg(what));
        });
}

zalDocumentManager::~zalDocumentManager()
{
    if (s_instance == this) s_instance = nullptr;
}

zalDocumentManager* zalDocumentManager::instance()
{
    return s_instance;
}

// Tells the manager of every change of its drawing's objects.
class zalDocumentManager::ChangeWatcher : public OdStaticRxObject<OdDbDatabaseReactor>
{
public:
    ChangeWatcher(zalDocumentManager* manager, OdDbDatabase* db) : m_manager(manager), m_db(db)
    {
        m_db->addReactor(this);
    }
    ~ChangeWatcher() override { m_db->removeReactor(this); }
    void objectAppended(const OdDbDatabase*, const OdDbObject*) override { changed(); }
    void objectUnAppended(const OdDbDatabase*, const OdDbObject*) override { changed(); }
    void objectReAppended(const OdDbDatabase*, const OdDbObject*) override { changed(); }
    void objectModified(const OdDbDatabase*, const OdDbObject*) override { changed(); }
    void objectErased(const OdDbDatabase*, const OdDbObject*, bool) override { changed(); }

private:
    void changed() { m_manager->updateModified(m_db); }
    zalDocumentManager* m_manager;
    OdDbDatabase* m_db;
};

bool zalDocumentManager::hasModifiedDrawings() const
{
    for (auto it = m_modified.cbegin(); it != m_modified.cend(); ++it)
        if (it.value()) return true;
    return false;
}

void zalDocumentManager::setModified(OdDbDatabase* db, bool modified)
{
    if (!m_paths.contains(db) || m_modified.value(db, false) == modified) return;
    m_modified.insert(db, modified);
    emit modifiedChanged(db, modified);
}

void zalDocumentManager::updateModified(OdDbDatabase* db)
{
    if (!m_savedAt.contains(db)) return;
    setModified(db, db->undoPosition() != m_savedAt.value(db));
}

bool zalDocumentManager::save(OdDbDatabase* db, QString* message)
{
    const QString path = pathOf(db);
    if (path.isEmpty() || QFileInfo(path).suffix().compare(QLatin1String("dxf"), Qt::CaseInsensitive) != 0) {
        if (message) *message = QStringLiteral("the drawing has no DXF file of its own yet: save it as one");
        return false;
    }
    return saveDrawing(db, path, message);
}

OdDbDatabase* zalDocumentManager::openDrawing(const QString& path, QString* message)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const QString absolute = path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
    zalImportResult result;
    try {
        result =
            zalDrawingImporter::importFile(absolute, db.get(), m_app ? m_app->physicsMaterials() : nullptr);
    } catch (const OdError& error) {
        result = zalImportResult::failure(QFileInfo(path).fileName() + QStringLiteral(": ") +
                                          zalStrings::toQString(error.description()));
    }
    if (!result.ok) {
        if (message) *message = result.message;
        return nullptr;
    }
    if (message)
        *message = QStringLiteral("%1: %2 entities, %3 blocks, %4 materials, %5 lights")
                       .arg(QFileInfo(absolute).fileName())
                       .arg(result.entities)
                       .arg(result.blocks)
                       .arg(result.materials)
                       .arg(result.lights);
    adoptDrawing(db.get(), absolute);
    return db.get();
}

void zalDocumentManager::adoptDrawing(OdDbDatabase* db, const QString& path)
{
    if (!db) return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    db->setFilename(zalStrings::toOdString(absolute));
    m_paths.insert(db, absolute);
    m_modified.insert(db, false);
    m_savedAt.insert(db, db->undoPosition());
    m_watchers.insert(db, std::make_shared<ChangeWatcher>(this, db));
    // The application keeps the drawing alive from here on.
    if (m_app) m_app->addDocument(db);
    emit documentOpened(db, absolute);
}

bool zalDocumentManager::saveDrawing(OdDbDatabase* db, const QString& path, QString* message)
{
    if (!db) {
        if (message) *message = QStringLiteral("no drawing to save");
        return false;
    }
    QString error;
    if (!zalDxfWriter::write(db, path, &error, m_app ? m_app->physicsMaterials() : nullptr)) {
        if (message) *message = error;
        return false;
    }
    const bool renamed = m_paths.value(db) != QFileInfo(path).absoluteFilePath();
    m_paths.insert(db, QFileInfo(path).absoluteFilePath());
    if (renamed) db->setFilename(zalStrings::toOdString(QFileInfo(path).absoluteFilePath()));
    m_savedAt.insert(db, db->undoPosition());
    setModified(db, false);
    if (message) *message = QStringLiteral("Saved %1").arg(QFileInfo(path).absoluteFilePath());
    return true;
}

void zalDocumentManager::closeDrawing(OdDbDatabase* db)
{
    if (!db || !m_paths.contains(db)) return;
    emit documentClosing(db);
    m_watchers.remove(db);
    m_modified.remove(db);
    m_savedAt.remove(db);
    m_paths.remove(db);
    if (m_app) m_app->removeDocument(db);
}

bool zalDocumentManager::loadRenderModule(QString* message)
{
    OdRxDynamicLinker* linker = odrxDynamicLinker();
    OdRxModulePtr module;
    try {
        module = linker->loadModule(OdString("zalUnrealRenderModule.dll"));
    } catch (const OdError& error) {
        if (message)
            *message = QStringLiteral("the render module failed to start: ") +
                       zalStrings::toQString(error.description());
        return false;
    }
    if (module.isNull()) {
        if (message)
            *message = QStringLiteral("the render module could not be loaded: ") +
                       zalStrings::toQString(linker->lastError());
        return false;
    }
    if (!renderModule()) {
        if (message) *message = QStringLiteral("the render module did not publish its service");
        return false;
    }
    return true;
}

IzalUnrealRenderModule* zalDocumentManager::renderModule() const
{
    QObject* service = m_app ? m_app->service(QStringLiteral("zal.IUnrealRender")) : nullptr;
    return service ? dynamic_cast<IzalUnrealRenderModule*>(service) : nullptr;
}

void zalDocumentManager::notifyChanged(OdDbDatabase* db)
{
    // Undo and redo come here when they are done.
    updateModified(db);
    emit drawingChanged(db);
}
