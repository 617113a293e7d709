#pragma once

#include "DbDatabase.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QSplitter;
class zalDrawingView;
#include "zalHostView.h"
class zalHostViewSystem;

// One open drawing in the main window: the host's view of the drawing beside the "UnrealRender" view
// opened through the registered factory. The render view follows the drawing view's camera.
class zalDrawingTab : public QWidget
{
    Q_OBJECT
public:
    // viewSystem may be null or lack the "UnrealRender" type: the tab then says so in place of it.
    zalDrawingTab(OdDbDatabase* db, const QString& path, zalHostViewSystem* viewSystem, QWidget* mainWindow,
                  QWidget* parent = nullptr);
    ~zalDrawingTab() override;

    OdDbDatabase* database() const { return m_db.get(); }
    QString path() const { return m_path; }
    zalDrawingView* drawingView() const { return m_drawing; }
    zalHostView* renderView() const { return m_renderView; }
    QWidget* renderWidget() const;

    // The viewer process that shows this drawing, 0 while none is known.
    long viewerProcess() const { return m_viewerPid; }
    void setViewerProcess(long pid) { m_viewerPid = pid; }
    // Shown when the viewer ended or stopped answering: why, and a restart.
    QWidget* viewerBanner() const { return m_banner; }
    QString viewerProblem() const;

public slots:
    // Asks the render view to take the drawing view's camera again.
    void followCamera();
    // The viewer of this drawing went away (reason for the user); the tab says so and offers a restart.
    void viewerLost(const QString& reason);
    // Opens a new render view, which starts a new viewer and sends it the drawing with the scene's
    // current settings.
    void restartViewer();

signals:
    void viewerRestarted();

private:
    void openRenderView(const QSize& size = QSize());

    OdDbDatabasePtr m_db;
    QString m_path;
    QSplitter* m_splitter;
    zalDrawingView* m_drawing;
    zalHostViewSystem* m_viewSystem;
    QPointer<zalHostView> m_renderView;
    QLabel* m_placeholder = nullptr;
    QWidget* m_mainWindow;
    QWidget* m_banner = nullptr;
    QLabel* m_bannerText = nullptr;
    long m_viewerPid = 0;
};
