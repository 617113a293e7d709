#include "zalDrawingTab.h"

#include "zalDrawingView.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

zalDrawingTab::zalDrawingTab(OdDbDatabase* db, const QString& path, zalHostViewSystem* viewSystem,
                             QWidget* mainWindow, QWidget* parent)
    : QWidget(parent), m_db(db), m_path(path), m_viewSystem(viewSystem), m_mainWindow(mainWindow)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_banner = new QWidget(this);
    m_banner->setObjectName(QStringLiteral("viewerBanner"));
    m_banner->setStyleSheet(
        QStringLiteral("#viewerBanner { background: #5a2a22; } QLabel { color: white; }"));
    m_banner->setAutoFillBackground(true);
    auto* bannerLayout = new QHBoxLayout(m_banner);
    m_bannerText = new QLabel(m_banner);
    auto* restart = new QPushButton(tr("Restart viewer"), m_banner);
    restart->setObjectName(QStringLiteral("restartViewer"));
    bannerLayout->addWidget(m_bannerText, 1);
    bannerLayout->addWidget(restart);
    connect(restart, &QPushButton::clicked, this, &zalDrawingTab::restartViewer);
    m_bannerText->setWordWrap(true);
    m_banner->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    m_banner->hide();
    layout->addWidget(m_banner);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    layout->addWidget(m_splitter, 1);
    m_drawing = new zalDrawingView(db, m_splitter);
    m_splitter->addWidget(m_drawing);

    openRenderView();
    if (!m_renderView || !m_renderView->widget()) {
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

void zalDrawingTab::openRenderView(const QSize& size)
{
    if (m_viewSystem && m_viewSystem->hasViewType(QStringLiteral("UnrealRender")))
        m_renderView =
            m_viewSystem->openView(QStringLiteral("UnrealRender"), m_db.get(), m_splitter, m_mainWindow);
    if (m_renderView && m_renderView->widget()) {
        m_renderView->setGsView(m_drawing->gsView());
        QWidget* render = m_renderView->widget();
        m_splitter->addWidget(render);
        // In a tab already shown the widget is shown before the splitter lays it out, and the viewer
        // starts at the widget's size: it must not be empty.
        if (size.isValid()) render->resize(size);
        // The render widget starts hidden until it has the viewer's window; showing it starts the viewer.
        render->show();
    }
}

QString zalDrawingTab::viewerProblem() const
{
    return m_banner->isHidden() ? QString() : m_bannerText->text();
}

void zalDrawingTab::viewerLost(const QString& reason)
{
    m_bannerText->setText(
        tr("The viewer is gone: %1. The drawing is safe; restart the viewer to see it again.").arg(reason));
    m_banner->show();
}

void zalDrawingTab::restartViewer()
{
    if (!m_viewSystem) return;
    QList<int> sizes = m_splitter->sizes();
    const QSize size =
        renderWidget() ? renderWidget()->size() : QSize(m_splitter->width() / 2, m_splitter->height());
    if (m_renderView) {
        m_renderView->setGsView(nullptr);
        m_viewSystem->closeView(m_renderView);
    }
    m_viewerPid = 0;
    m_banner->hide();
    openRenderView(size.isEmpty() ? QSize(640, 480) : size);
    if (sizes.size() == m_splitter->count()) m_splitter->setSizes(sizes);
    emit viewerRestarted();
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
