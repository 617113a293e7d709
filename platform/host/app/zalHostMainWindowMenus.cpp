// The main window's View entries for its docks and its Help menu, apart from the rest of the window.
#include "zalHostMainWindow.h"

#include "zalCommandLine.h"
#include "zalHelpCommand.h"
#include "zalHostConsole.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

void zalHostMainWindow::addDockAndHelpMenus(QMenu* view)
{
    view->addSeparator();
    QAction* reset = view->addAction(tr("&Reset layout"), this, &zalHostMainWindow::resetLayout);
    reset->setObjectName(QStringLiteral("resetLayout"));
    // Every dock can be brought back after it was closed, also those made later (a farm job's dock):
    // the entries are made again each time the menu opens.
    auto refresh = [this, view, reset] {
        for (QAction* action : view->actions())
            if (action->property("zalDockEntry").toBool()) view->removeAction(action);
        for (QDockWidget* dock : findChildren<QDockWidget*>()) {
            QAction* toggle = dock->toggleViewAction();
            toggle->setObjectName(dock->objectName() + QStringLiteral("Toggle"));
            toggle->setProperty("zalDockEntry", true);
            view->insertAction(reset, toggle);
        }
    };
    refresh();
    connect(view, &QMenu::aboutToShow, this, refresh);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    help->addAction(tr("&Commands"), this, &zalHostMainWindow::showCommands, QKeySequence::HelpContents);
    help->addAction(tr("&About zalhost"), this, [this] {
        QMessageBox::about(
            this, tr("About zalhost"),
            tr("<b>zalhost</b> %1<p>The reference CAD host: drawings and models opened beside "
               "their live render view.<p>Type <tt>help</tt> or <tt>?</tt> in the command line "
               "for the commands; Tab completes their names.<p>Qt %2")
                .arg(QApplication::applicationVersion(), QString::fromLatin1(qVersion())));
    });
}

void zalHostMainWindow::resetLayout()
{
    restoreState(m_defaultLayout);
    for (QDockWidget* dock : findChildren<QDockWidget*>()) {
        // The settings dock stays hidden until the module gives a panel.
        if (dock == m_settingsDock && !m_settingsPanel) continue;
        dock->setFloating(false);
        dock->show();
    }
}

void zalHostMainWindow::showCommands()
{
    m_commandLine->submit(QStringLiteral("help"));
}
