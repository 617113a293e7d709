#include "zalDrawingTab.h"

#include "zalDrawingView.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include <QLabel>
#include <QMetaObject>
#include <QSplitter>
#include <QVBoxLayout>

zalDrawingTab::zalDrawingTab(OdDbDatabase* db, const QString& path, zalHostViewSystem* viewSystem,
                             QWidget* mainWindow, QWidget* parent)
    : QWidget(parent), m_db(db), m_path(path), m_viewSystem(viewSystem)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    layout->addWidget(m_splitter);
    m_drawing = new zalDrawingView(db, m_splitter);
    m_splitter->addWidget(m_drawing);

    if (m_viewSystem && m_viewSystem->hasViewType(QStringLiteral("UnrealRender")))
        m_renderView = m_viewSystem->openView(QStringLiteral("UnrealRender"), db, m_splitter, mainWindow);
    if (m_renderView && m_renderView->widget()) {
        m_renderView->setGsView(m_drawing->gsView());
        QWidget* render = m_renderView->widget();
        m_splitter->addWidget(render);
        // The render widget starts hidden until it has the viewer's window; showing it starts the viewer.
        render->show();
    } else {
        m_placeholder = new QLabel(tr("The render module is not loaded."), m_splitter);
        m_placeholder->setAlignment(Qt::AlignCenter);
        m_splitter->addWidget(m_placeholder);
    }
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 1);
    // Half and half to begin with; the user moves the handle.
    m_splitter->setSizes({1000, 1000});
    connect(m_drawing, &zalDrawingView::cameraChanged, this, &zalDrawingTab::followCamera);
}

zalDrawingTab::~zalDrawingTab()
{
    if (m_renderView) {
        m_renderView->setGsView(nullptr);
        if (m_viewSystem) m_viewSystem->closeView(m_renderView);
    }
}

QWidget* zalDrawingTab::renderWidget() const
{
    return m_renderView ? m_renderView->widget() : nullptr;
}

void zalDrawingTab::followCamera()
{
    if (QWidget* render = renderWidget())
        QMetaObject::invokeMethod(render, "updateRenderCamera", Qt::QueuedConnection);
}
