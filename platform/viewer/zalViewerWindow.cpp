#include "zalViewerWindow.h"

#include <QKeyEvent>
#include <QMouseEvent>
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
    setSurfaceType(QWindow::OpenGLSurface);
    setFlags(Qt::Window | Qt::FramelessWindowHint);
    setTitle(QStringLiteral("zalViewer"));
}

void zalViewerWindow::exposeEvent(QExposeEvent*)
{
    if (isExposed()) emit needsFrame();
}

void zalViewerWindow::resizeEvent(QResizeEvent*)
{
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
