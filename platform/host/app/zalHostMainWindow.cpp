#include "zalHostMainWindow.h"

#include "zalCommandLine.h"
#include "zalDocumentManager.h"
#include "zalDrawingImporter.h"
#include "zalDrawingTab.h"
#include "zalDrawingView.h"
#include "zalGripController.h"
#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"
#include "zalSelectionController.h"

#include "IzalUnrealRenderModule.h"

#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>

zalHostMainWindow::zalHostMainWindow(zalHostApplication* app, zalDocumentManager* documents, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_documents(documents)
{
    setWindowTitle(QStringLiteral("zalhost"));
    resize(1400, 860);
    m_tabs = new QTabWidget(this);
    m_tabs->setTabsClosable(true);
    m_tabs->setDocumentMode(true);
    setCentralWidget(m_tabs);

    m_commandLine = new zalCommandLine(app ? app->console() : nullptr, this);
    auto* commandDock = new QDockWidget(tr("Command line"), this);
    commandDock->setObjectName(QStringLiteral("commandDock"));
    commandDock->setWidget(m_commandLine);
    commandDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::BottomDockWidgetArea, commandDock);
    m_selection = new zalSelectionController(app, m_commandLine, this);
    m_grips = new zalGripController(app, m_commandLine, m_selection, this);

    m_settingsDock = new QDockWidget(tr("Render settings"), this);
    m_settingsDock->setObjectName(QStringLiteral("settingsDock"));
    addDockWidget(Qt::RightDockWidgetArea, m_settingsDock);
    m_settingsDock->hide();

    m_status = new QLabel(this);
    m_busy = new QProgressBar(this);
    m_busy->setRange(0, 0);
    m_busy->setMaximumWidth(160);
    m_busy->hide();
    statusBar()->addWidget(m_status, 1);
    statusBar()->addPermanentWidget(m_busy);

    buildMenus();

    connect(m_tabs, &QTabWidget::currentChanged, this, &zalHostMainWindow::currentChanged);
    connect(m_tabs, &QTabWidget::tabCloseRequested, this, [this](int index) {
        if (auto* tab = qobject_cast<zalDrawingTab*>(m_tabs->widget(index))) closeDrawing(tab->database());
    });
    if (m_documents) {
        connect(m_documents, &zalDocumentManager::documentOpened, this, &zalHostMainWindow::documentOpened);
        connect(m_documents, &zalDocumentManager::documentClosing, this, &zalHostMainWindow::documentClosing);
        connect(m_documents, &zalDocumentManager::modifiedChanged, this, &zalHostMainWindow::showModified);
        connect(m_documents, &zalDocumentManager::drawingChanged, this, [this](OdDbDatabase* db) {
            if (zalDrawingTab* tab = tabOf(db)) tab->drawingView()->refreshDrawing();
        });
    }
    connect(m_commandLine, &zalCommandLine::commandDone, m_selection,
            &zalSelectionController::pruneSelection);
    connect(m_commandLine, &zalCommandLine::commandDone, this, [this] {
        for (int i = 0; i < m_tabs->count(); ++i)
            if (auto* tab = qobject_cast<zalDrawingTab*>(m_tabs->widget(i)))
                tab->drawingView()->refreshDrawing();
    });
    if (m_app) {
        connect(m_app, &zalHostApplication::progressStarted, this, [this](const QString& title) {
            ++m_syncDepth;
            m_status->setText(title);
            m_busy->show();
        });
        connect(m_app, &zalHostApplication::progressFinished, this, [this](const QString&) {
            if (--m_syncDepth <= 0) {
                m_syncDepth = 0;
                m_busy->hide();
                m_status->setText(tr("Ready"));
            }
        });
        if (m_app->console())
            m_app->console()->setTrackerView([this]() -> OdGsView* {
                zalDrawingTab* tab = currentTab();
                return tab ? tab->drawingView()->gsView() : nullptr;
            });
    }
    updateSettingsPanel();
    m_defaultLayout = saveState();
    watchViewers();
}

zalHostMainWindow::~zalHostMainWindow()
{
    if (m_app && m_app->console()) m_app->console()->setTrackerView(nullptr);
    // Tabs close their render views while the view system still exists.
    while (m_tabs->count() > 0)
        delete m_tabs->widget(0);
}

void zalHostMainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Open..."), this, &zalHostMainWindow::openDialog, QKeySequence::Open);
    file->addAction(tr("&Save"), this, &zalHostMainWindow::saveCurrent, QKeySequence::Save);
    file->addAction(tr("Save &as DXF..."), this, &zalHostMainWindow::saveDialog, QKeySequence::SaveAs);
    file->addAction(tr("&Close"), this, &zalHostMainWindow::closeCurrent, QKeySequence::Close);
    file->addSeparator();
    file->addAction(tr("&Quit"), this, &QWidget::close, QKeySequence::Quit);
    buildEditMenu();
    QMenu* view = menuBar()->addMenu(tr("&View"));
    QAction* shaded = view->addAction(tr("&Shaded"));
    shaded->setCheckable(true);
    shaded->setChecked(true);
    connect(shaded, &QAction::toggled, this, [this](bool on) {
        if (zalDrawingTab* tab = currentTab()) tab->drawingView()->setShaded(on);
    });
    view->addAction(tr("Zoom &extents"), this, [this] {
        if (zalDrawingTab* tab = currentTab()) tab->drawingView()->zoomExtents();
    });
    addDockAndHelpMenus(view);
}

zalDrawingTab* zalHostMainWindow::currentTab() const
{
    return qobject_cast<zalDrawingTab*>(m_tabs->currentWidget());
}

zalDrawingTab* zalHostMainWindow::tabOf(OdDbDatabase* db) const
{
    for (int i = 0; i < m_tabs->count(); ++i)
        if (auto* tab = qobject_cast<zalDrawingTab*>(m_tabs->widget(i)))
            if (tab->database() == db) return tab;
    return nullptr;
}

bool zalHostMainWindow::isSynchronising() const
{
    return m_syncDepth > 0;
}

void zalHostMainWindow::documentOpened(OdDbDatabase* db, const QString& path)
{
    auto* tab = new zalDrawingTab(db, path, m_app ? m_app->viewSystem() : nullptr, this, m_tabs);
    const int index = m_tabs->addTab(tab, QFileInfo(path).fileName());
    m_tabs->setTabToolTip(index, path);
    m_selection->attach(tab->drawingView());
    m_tabs->setCurrentIndex(index);
    currentChanged(index);
    updateSettingsPanel();
}

void zalHostMainWindow::documentClosing(OdDbDatabase* db)
{
    if (zalDrawingTab* tab = tabOf(db)) delete tab;
}

void zalHostMainWindow::currentChanged(int)
{
    zalDrawingTab* tab = currentTab();
    if (!m_app) return;
    if (m_app->console()) m_app->console()->setCurrentDatabase(tab ? tab->database() : nullptr);
    if (tab && tab->renderView() && m_app->viewSystem())
        m_app->viewSystem()->setActiveView(tab->renderView());
    // "[*]" shows the modified marker while the current drawing has unsaved changes.
    setWindowTitle(
        tab ? QStringLiteral("zalhost - %1[*]")
                  .arg(QFileInfo(m_documents ? m_documents->pathOf(tab->database()) : tab->path()).fileName())
            : QStringLiteral("zalhost"));
    setWindowModified(tab && m_documents && m_documents->isModified(tab->database()));
}

void zalHostMainWindow::updateSettingsPanel()
{
    if (m_settingsPanel || !m_documents) return;
    IzalUnrealRenderModule* module = m_documents->renderModule();
    if (!module) return;
    QWidget* panel = module->createSettingsWidget(m_settingsDock);
    if (!panel) return;
    m_settingsPanel = panel;
    m_settingsDock->setWidget(panel);
    m_settingsDock->show();
    resizeDocks({m_settingsDock}, {qMax(300, panel->sizeHint().width())}, Qt::Horizontal);
}

void zalHostMainWindow::openDialog()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Open drawing"), QString(), zalDrawingImporter::fileFilter());
    if (path.isEmpty()) return;
    QString message;
    if (!m_documents->openDrawing(path, &message))
        showOpenError(message);
    else
        m_commandLine->append(message);
}

void zalHostMainWindow::saveDialog()
{
    zalDrawingTab* tab = currentTab();
    if (!tab) return;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save drawing as DXF"), QFileInfo(tab->path()).completeBaseName() + QStringLiteral(".dxf"),
        tr("DXF drawings (*.dxf)"));
    if (path.isEmpty()) return;
    QString message;
    if (!m_documents->saveDrawing(tab->database(), path, &message))
        QMessageBox::warning(this, tr("Save drawing"), message);
    else
        m_commandLine->append(message);
}

void zalHostMainWindow::closeCurrent()
{
    if (zalDrawingTab* tab = currentTab()) closeDrawing(tab->database());
}

void zalHostMainWindow::closeEvent(QCloseEvent* event)
{
    // Ask about every modified drawing first: a Cancel keeps them all open.
    for (int i = 0; i < m_tabs->count(); ++i)
        if (auto* tab = qobject_cast<zalDrawingTab*>(m_tabs->widget(i)))
            if (!confirmClose(tab->database())) {
                event->ignore();
                return;
            }
    while (m_tabs->count() > 0) {
        auto* tab = qobject_cast<zalDrawingTab*>(m_tabs->widget(0));
        if (!tab) break;
        m_documents->closeDrawing(tab->database());
    }
    event->accept();
}

void zalHostMainWindow::buildEditMenu()
{
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QAction* undoAction = edit->addAction(tr("&Undo"), this, &zalHostMainWindow::undo, QKeySequence::Undo);
    undoAction->setObjectName(QStringLiteral("undoAction"));
    // Ctrl+Y as well as the platform's redo key (Ctrl+Shift+Z on X11).
    QAction* redoAction = edit->addAction(tr("&Redo"), this, &zalHostMainWindow::redo);
    redoAction->setObjectName(QStringLiteral("redoAction"));
    redoAction->setShortcuts({QKeySequence(Qt::CTRL + Qt::Key_Y), QKeySequence::Redo});
}

void zalHostMainWindow::runCommand(const QString& name)
{
    if (!currentTab() || !m_app || !m_app->console()) return;
    m_commandLine->append(name);
    m_app->console()->executeCommand(name);
    if (zalDrawingTab* tab = currentTab()) tab->drawingView()->refreshDrawing();
}

void zalHostMainWindow::undo()
{
    runCommand(QStringLiteral("undo"));
}

void zalHostMainWindow::redo()
{
    runCommand(QStringLiteral("redo"));
}

void zalHostMainWindow::saveCurrent()
{
    zalDrawingTab* tab = currentTab();
    if (!tab) return;
    QString message;
    if (m_documents->save(tab->database(), &message))
        m_commandLine->append(message);
    else
        saveDialog();
}

void zalHostMainWindow::showModified(OdDbDatabase* db, bool modified)
{
    zalDrawingTab* tab = tabOf(db);
    if (!tab) return;
    const QString name = QFileInfo(m_documents->pathOf(db)).fileName();
    m_tabs->setTabText(m_tabs->indexOf(tab), modified ? name + QLatin1Char('*') : name);
    if (tab == currentTab()) setWindowModified(modified);
}

bool zalHostMainWindow::confirmClose(OdDbDatabase* db)
{
    if (!m_askToSave || !m_documents->isModified(db)) return true;
    if (zalDrawingTab* tab = tabOf(db)) m_tabs->setCurrentWidget(tab);
    QMessageBox box(
        QMessageBox::Warning, tr("Unsaved changes"),
        tr("%1 has changes that are not saved.").arg(QFileInfo(m_documents->pathOf(db)).fileName()),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("unsavedChanges"));
    box.setDefaultButton(QMessageBox::Save);
    const int answer = box.exec();
    if (answer == QMessageBox::Discard) return true;
    if (answer != QMessageBox::Save) return false;
    QString message;
    if (m_documents->save(db, &message)) return true;
    // No DXF file of its own yet (a model, say): Save As, and a cancelled dialog keeps it open.
    saveDialog();
    return !m_documents->isModified(db);
}

void zalHostMainWindow::closeDrawing(OdDbDatabase* db)
{
    if (confirmClose(db)) m_documents->closeDrawing(db);
}

void zalHostMainWindow::showOpenError(const QString& message)
{
    auto* box = new QMessageBox(QMessageBox::Critical, tr("Open drawing"), message, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("openError"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
