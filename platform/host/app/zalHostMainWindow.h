#pragma once

#include "DbDatabase.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>

class QDockWidget;
class QMenu;
class QLabel;
class QProgressBar;
class QTabWidget;
class zalCommandLine;
class zalDocumentManager;
class zalDrawingTab;
class zalHostApplication;
class zalSelectionController;

// The reference host's window: one tab per open drawing, the command line below, the render
// module's settings panel in a dock on the right (when the module offers one), and a busy bar in the
// status bar while the module synchronises.
class zalHostMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    zalHostMainWindow(zalHostApplication* app, zalDocumentManager* documents, QWidget* parent = nullptr);
    ~zalHostMainWindow() override;

    QTabWidget* tabs() const { return m_tabs; }
    zalCommandLine* commandLine() const { return m_commandLine; }
    zalDrawingTab* currentTab() const;
    zalDrawingTab* tabOf(OdDbDatabase* db) const;
    QDockWidget* settingsDock() const { return m_settingsDock; }
    bool isSynchronising() const;
    zalSelectionController* selectionController() const { return m_selection; }
    class zalGripController* gripController() const { return m_grips; }
    // A drawing that could not be opened (damaged, cyclic blocks...): an error box, not modal, so
    // the event loop and the window go on.
    void showOpenError(const QString& message);

    // Whether closing a modified drawing asks Save / Discard / Cancel (headless runs never ask).
    void setAskToSave(bool ask) { m_askToSave = ask; }

public slots:
    void openDialog();
    void saveDialog();
    // Saves the current drawing to its file (Save As when it has no DXF file yet).
    void saveCurrent();
    void undo();
    void redo();
    void closeCurrent();
    // Puts the module's settings panel in its dock once the module gives one.
    void updateSettingsPanel();

private slots:
    void documentOpened(OdDbDatabase* db, const QString& path);
    void documentClosing(OdDbDatabase* db);
    void currentChanged(int index);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    // View menu entries for the docks and the layout reset, and the Help menu.
    void addDockAndHelpMenus(QMenu* view);
    void buildEditMenu();
    void showModified(OdDbDatabase* db, bool modified);
    // Asks about a modified drawing before it closes; false when the user cancels (or the save fails).
    bool confirmClose(OdDbDatabase* db);
    void closeDrawing(OdDbDatabase* db);
    void runCommand(const QString& name);
    // Counts what the viewers are sent while the status bar shows a synchronisation.
    void showSent(quint64 entities, quint64 triangles);
    QString sentCounts() const;

    // Follows the viewer processes: a tab whose viewer ends or stops says so and offers a restart.
    void watchViewers();
    void viewerStarted(long pid);
    void viewerLost(long pid, const QString& reason);

public:
    class zalViewerProcessWatch* viewerWatch() const { return m_viewerWatch; }
    // Puts the docks back where the window first had them, all shown.
    void resetLayout();
    // The commands the host knows, one line each (Help > Commands).
    void showCommands();

private:
    zalHostApplication* m_app;
    zalDocumentManager* m_documents;
    QTabWidget* m_tabs;
    zalCommandLine* m_commandLine;
    QDockWidget* m_settingsDock;
    QPointer<QWidget> m_settingsPanel;
    QProgressBar* m_busy;
    QLabel* m_status;
    zalSelectionController* m_selection;
    class zalGripController* m_grips;
    int m_syncDepth = 0;
    QString m_progressTitle;
    quint64 m_sentEntities = 0;
    quint64 m_sentTriangles = 0;
    QElapsedTimer m_statusPainted;
    QByteArray m_defaultLayout;
    class zalViewerProcessWatch* m_viewerWatch = nullptr;
    bool m_askToSave = true;
};
