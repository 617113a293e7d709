#pragma once

#include "DbDatabase.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

class IzalUnrealRenderModule;
class zalHostApplication;

// The drawings open in the host application and the render module it runs with. Opening imports
// the file into a new database and hands it to the application; the windows follow the signals.
class zalDocumentManager : public QObject
{
    Q_OBJECT
public:
    explicit zalDocumentManager(zalHostApplication* app, QObject* parent = nullptr);
    ~zalDocumentManager() override;

    // The one manager of the process (set by the constructor); null before.
    static zalDocumentManager* instance();

    // Null with message set to one line naming the cause when the file cannot be opened.
    OdDbDatabase* openDrawing(const QString& path, QString* message = nullptr);
    // Takes a drawing imported elsewhere (the headless run reads its file before the window exists).
    void adoptDrawing(OdDbDatabase* db, const QString& path);
    bool saveDrawing(OdDbDatabase* db, const QString& path, QString* message = nullptr);
    void closeDrawing(OdDbDatabase* db);
    QString pathOf(OdDbDatabase* db) const { return m_paths.value(db); }
    QList<OdDbDatabase*> drawings() const { return m_paths.keys(); }

    // Loads "zalUnrealRenderModule" through the dynamic linker; false with message when it cannot.
    bool loadRenderModule(QString* message = nullptr);
    // The module's service, null when it is not loaded.
    IzalUnrealRenderModule* renderModule() const;

    // Tells the views that a command or an import changed a drawing.
    void notifyChanged(OdDbDatabase* db);

signals:
    void documentOpened(OdDbDatabase* db, const QString& path);
    void documentClosing(OdDbDatabase* db);
    void drawingChanged(OdDbDatabase* db);
    // The drawing differs from its file now (true) or again matches it (after a save).
    void modifiedChanged(OdDbDatabase* db, bool modified);

public:
    // Changed since it was opened or last saved.
    bool isModified(OdDbDatabase* db) const { return m_modified.value(db, false); }
    bool hasModifiedDrawings() const;
    // Saves to the drawing's own file when it is a DXF file; false (message set) otherwise.
    bool save(OdDbDatabase* db, QString* message = nullptr);

private:
    class ChangeWatcher;
    void setModified(OdDbDatabase* db, bool modified);
    // Modified unless undo or redo has brought the drawing back to where it was opened or saved.
    void updateModified(OdDbDatabase* db);

    zalHostApplication* m_app;
    QHash<OdDbDatabase*, QString> m_paths;
    QHash<OdDbDatabase*, bool> m_modified;
    QHash<OdDbDatabase*, OdDbDatabase::UndoPosition> m_savedAt;
    QHash<OdDbDatabase*, std::shared_ptr<ChangeWatcher>> m_watchers;
};
