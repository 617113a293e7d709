#include "zalViewerWindow.h"

#include <QBackingStore>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace {

int pressType(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 3;
    case Qt::RightButton:
        return 5;
    case Qt::MiddleButton:
        return 7;
    default:
        return 0;
    }
}

} // namespace

zalViewerWindow::zalViewerWindow()
{
    // Filament draws offscreen; a swap chain on this window's X11 handle presents corrupted
    // tiles under Xvfb, so the window only shows the frame read back.
    setSurfaceType(QWindow::RasterSurface);
    setFlags(Qt::Window | Qt::FramelessWindowHint);
    setTitle(QStringLiteral("zalViewer"));
    m_store = std::make_unique<QBackingStore>(this);
}

zalViewerWindow::~zalViewerWindow() = default;

void zalViewerWindow::present(const QImage& frame)
{
    m_frame = frame;
    paint();
}

void zalViewerWindow::paint()
{
    if (!isExposed()) return;
    const QRect rect(QPoint(0, 0), size());
    if (m_store->size() != size()) m_store->resize(size());
    m_store->beginPaint(rect);
    {
        QPainter painter(m_store->paintDevice());
        if (m_frame.isNull())
            painter.fillRect(rect, QColor(40, 44, 52));
        else
            painter.drawImage(rect, m_frame);
    }
    m_store->endPaint();
    m_store->flush(rect);
}

void zalViewerWindow::exposeEvent(QExposeEvent*)
{
    if (!isExposed()) return;
    paint();
    emit needsFrame();
}

void zalViewerWindow::resizeEvent(QResizeEvent*)
{
    if (m_store) m_store->resize(size());
    emit needsFrame();
}

bool zalViewerWindow::event(QEvent* event)
{
    if (event->type() == QEvent::UpdateRequest) {
        emit needsFrame();
        return true;
    }
    return QWindow::event(event);
}

void zalViewerWindow::mousePressEvent(QMouseEvent* event)
{
    if (const int type = pressType(event->button())) emit input(type, 0, event->pos().x(), event->pos().y());
}

void zalViewerWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (const int type = pressType(event->button()))
        emit input(type + 1, 0, event->pos().x(), event->pos().y());
}

void zalViewerWindow::mouseMoveEvent(QMouseEvent* event)
{
    emit input(1, int(event->button()), event->pos().x(), event->pos().y());
}

void zalViewerWindow::wheelEvent(QWheelEvent* event)
{
    emit input(2, event->angleDelta().y(), int(event->position().x()), int(event->position().y()));
}

void zalViewerWindow::keyPressEvent(QKeyEvent* event)
{
    emit input(9, event->key(), 0, 0);
}

void zalViewerWindow::keyReleaseEvent(QKeyEvent* event)
{
    emit input(10, event->key(), 0, 0);
}
