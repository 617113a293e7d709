#include "widget/XoUnrealWidget.h"

#include "zalX11.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include <unordered_set>

namespace {

// A viewer takes its window with it when it ends, so Qt's requests on that window may fail at any time:
// hiding the container of an ended viewer's window unmaps a window that is gone. Such an error only says
// that the viewer has ended, which the host learns from the channel; it is not printed. Errors about any
// other window still are.
class EndedViewerWindows : public QAbstractNativeEventFilter
{
public:
    static void embedded(WId window)
    {
        static EndedViewerWindows filter;
        // Installed in each application object in turn (tests make more than one).
        if (filter.m_application != QCoreApplication::instance()) {
            filter.m_application = QCoreApplication::instance();
            if (filter.m_application) filter.m_application->installNativeEventFilter(&filter);
        }
        filter.m_windows.insert(window);
    }
    bool nativeEventFilter(const QByteArray& type, void* message, long*) override
    {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (event->response_type != 0) return false;
        const auto* error = static_cast<const xcb_generic_error_t*>(message);
        return error->error_code == XCB_WINDOW && m_windows.count(error->resource_id) > 0;
    }

private:
    QPointer<QCoreApplication> m_application;
    // One per viewer started: a few bytes each for the life of the host.
    std::unordered_set<WId> m_windows;
};

const Qt::WindowFlags kContainerFlags =
    Qt::SubWindow | Qt::MSWindowsOwnDC | Qt::FramelessWindowHint | Qt::WindowTransparentForInput;
const QEvent::Type kContainerEvent = QEvent::Type(79);

XoInputEvent record(int type, int a, int x, int y)
{
    XoInputEvent event;
    event.type = type;
    event.a = a;
    event.x = x;
    event.y = y;
    return event;
}

} // namespace

XoUnrealWidget::XoUnrealWidget(QWidget* parent) : QWidget(parent)
{
    qRegisterMetaType<XoInputEvent>("XoInputEvent");
    m_layout = new QVBoxLayout(this);
    m_layout->setMargin(0);
    m_layout->setContentsMargins(0, 0, 0, 0);
    setViewerWindow(0);
    hide();
    setFocusPolicy(Qt::WheelFocus);
    qApp->installEventFilter(this);
}

XoUnrealWidget::~XoUnrealWidget()
{
    releaseViewerWindow();
}

void XoUnrealWidget::releaseViewerWindow()
{
    if (m_viewerWindow) zalX11DetachWindow(m_viewerWindow);
}

void XoUnrealWidget::setViewerWindow(WId handle)
{
    // A window still embedded would die with its container.
    if (m_viewerWindow && m_viewerWindow != handle) releaseViewerWindow();
    m_viewerWindow = handle;

    QWidget* content = nullptr;
    if (handle) {
        EndedViewerWindows::embedded(handle);
        QWindow* foreign = QWindow::fromWinId(handle);
        m_foreignWindow = foreign;
        // Platforms without foreign windows (offscreen) get the placeholder; the handle still counts.
        if (foreign) {
            content = QWidget::createWindowContainer(foreign, this, kContainerFlags);
            QEvent embedding(kContainerEvent);
            QCoreApplication::sendEvent(content, &embedding);
        }
        // All input must reach this widget, not the viewer's own window.
        zalX11DisableInput(handle);
    } else {
        m_foreignWindow = nullptr;
    }
    if (!content) {
        auto* frame = new QFrame(this);
        frame->setContentsMargins(0, 0, 0, 0);
        frame->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        content = frame;
    }

    if (m_content) {
        m_layout->removeWidget(m_content);
        m_content->hide();
        m_content->deleteLater();
    }
    m_content = content;
    m_layout->addWidget(content);

    if (handle) {
        content->show();
        QPointer<QWidget> target(content);
        QTimer::singleShot(500, this, [this, target] {
            if (target) target->setGeometry(contentsRect());
        });
        emit handleCaptured();
    }
}

bool XoUnrealWidget::inputRecord(const QEvent* event, XoInputEvent& out)
{
    switch (event->type()) {
    case QEvent::MouseMove: {
        auto* mouse = static_cast<const QMouseEvent*>(event);
        out = record(1, int(mouse->button()), mouse->pos().x(), mouse->pos().y());
        return true;
    }
    case QEvent::Wheel: {
        auto* wheel = static_cast<const QWheelEvent*>(event);
        const QPoint position = wheel->position().toPoint();
        // The delta along the wheel's own orientation, the larger component, as the single-axis
        // delta of Qt's wheel events was: a horizontal wheel turns x only.
        const QPoint angle = wheel->angleDelta();
        const int delta = qAbs(angle.x()) > qAbs(angle.y()) ? angle.x() : angle.y();
        out = record(2, delta, position.x(), position.y());
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<const QMouseEvent*>(event);
        const int release = event->type() == QEvent::MouseButtonRelease ? 1 : 0;
        int type = 0;
        switch (mouse->button()) {
        case Qt::LeftButton:
            type = 3;
            break;
        case Qt::RightButton:
            type = 5;
            break;
        case Qt::MiddleButton:
            type = 7;
            break;
        default:
            return false;
        }
        out = record(type + release, 0, mouse->pos().x(), mouse->pos().y());
        return true;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<const QKeyEvent*>(event);
        out = record(event->type() == QEvent::KeyPress ? 9 : 10, key->key(), 0, 0);
        return true;
    }
    case QEvent::Close:
        out = record(11, 0, 0, 0);
        return true;
    default:
        return false;
    }
}

bool XoUnrealWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease))
        handleKeyEvent(static_cast<QKeyEvent*>(event));
    return QWidget::eventFilter(watched, event);
}

void XoUnrealWidget::forwardInput(const QEvent* event)
{
    XoInputEvent out;
    if (inputRecord(event, out)) emit onInputEvent(out);
}

void XoUnrealWidget::handleKeyEvent(QKeyEvent* event)
{
    forwardInput(event);
}

void XoUnrealWidget::mouseMoveEvent(QMouseEvent* event)
{
    forwardInput(event);
}

void XoUnrealWidget::mousePressEvent(QMouseEvent* event)
{
    forwardInput(event);
}

void XoUnrealWidget::mouseReleaseEvent(QMouseEvent* event)
{
    forwardInput(event);
}

void XoUnrealWidget::wheelEvent(QWheelEvent* event)
{
    forwardInput(event);
}

void XoUnrealWidget::closeEvent(QCloseEvent* event)
{
    emit onInputEvent(record(11, 0, 0, 0));
    QWidget::closeEvent(event);
    if (m_viewerWindow) zalX11MinimiseWindow(m_viewerWindow);
}
