// The main window's watch over the viewer processes of its tabs.
#include "zalHostMainWindow.h"

#include "zalCommandLine.h"
#include "zalDrawingTab.h"
#include "zalHostApplication.h"
#include "zalHostViewSystem.h"
#include "zalViewerProcessWatch.h"

#include <QTabWidget>

void zalHostMainWindow::watchViewers()
{
    m_viewerWatch = new zalViewerProcessWatch(this);
    connect(m_viewerWatch, &zalViewerProcessWatch::viewerStarted, this, &zalHostMainWindow::viewerStarted);
    connect(m_viewerWatch, &zalViewerProcessWatch::viewerEnded, this, &zalHostMainWindow::viewerLost);
    connect(m_viewerWatch, &zalViewerProcessWatch::viewerStopped, this, &zalHostMainWindow::viewerLost);
    m_viewerWatch->start(250);
}

void zalHostMainWindow::viewerStarted(long pid)
{
    // A viewer starts when a tab's render view is shown: the current tab first, else any that waits.
    QList<zalDrawingTab*> waiting;
    for (int i = 0; i < m_tabs->count(); ++i)
        if (auto* tab = qobject_cast<zalDrawingTab*>(m_tabs->widget(i)))
            if (tab->renderWidget() && tab->viewerProcess() == 0) waiting << tab;
    if (waiting.isEmpty()) return;
    zalDrawingTab* tab = waiting.contains(currentTab()) ? currentTab() : waiting.first();
    tab->setViewerProcess(pid);
    connect(
        tab, &zalDrawingTab::viewerRestarted, this,
        [this, tab] {
            if (tab == currentTab() && m_app && m_app->viewSystem() && tab->renderView())
                m_app->viewSystem()->setActiveView(tab->renderView());
        },
        Qt::UniqueConnection);
}

void zalHostMainWindow::viewerLost(long pid, const QString& reason)
{
    for (int i = 0; i < m_tabs->count(); ++i) {
        auto* tab = qobject_cast<zalDrawingTab*>(m_tabs->widget(i));
        if (!tab || tab->viewerProcess() != pid) continue;
        tab->viewerLost(reason);
        m_commandLine->append(QStringLiteral("Viewer of %1: %2.").arg(m_tabs->tabText(i), reason));
    }
}
