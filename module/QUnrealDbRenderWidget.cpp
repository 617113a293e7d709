#include "module/QUnrealDbRenderWidget.h"

#include "module/zalDbUnrealRenderSession.h"
#include "module/zalModuleContext.h"
#include "module/zalUnrealViewerSender.h"

#include "IzalApplication.h"
#include "IzalConsole.h"
#include "IzalView.h"
#include "IzalViewSystem.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QMovie>
#include <QResizeEvent>
#include <QTimer>
#include <QWheelEvent>

namespace {

const char* const kRefreshEvents =
    "QUnrealDbRenderWidget<event-refresh:database_changed>|<event-refresh:dwg_layout_"
    "changed>|<event-refresh:dwg_cvport_changed>|<event-refresh:view_changed>";
const char* const kSelectionChanged = "<event-refresh:selection_changed>";
const qint64 kRestartGuardMs = 10000;

} // namespace

QUnrealDbRenderWidget::QUnrealDbRenderWidget(zalDbUnrealRenderSession* session, QWidget* parent)
    : XoUnrealWidget(parent), m_session(session), m_lastStartAttempt(QDate(2000, 1, 1), QTime(0, 0))
{
    m_loader = new QMovie(QStringLiteral(":/resources/ajax-loader1.gif"), QByteArray(), this);
    setGeometry(0, 0, 640, 480);

    // The host decides who edits the drawing through this view's input.
    if (IzalConsole* console = zalService<IzalConsole>(IzalConsole_id)) {
        const struct
        {
            const char* signal;
            QEvent::Type type;
        } routes[] = {
            {SIGNAL(mouseMove(IzalView*, QEvent*, bool&)), QEvent::MouseMove},
            {SIGNAL(mousePress(IzalView*, QEvent*, bool&)), QEvent::MouseButtonPress},
            {SIGNAL(mouseRelease(IzalView*, QEvent*, bool&)), QEvent::MouseButtonRelease},
            {SIGNAL(mouseDoubleClick(IzalView*, QEvent*, bool&)), QEvent::MouseButtonDblClick},
            {SIGNAL(mouseWheel(IzalView*, QEvent*, bool&)), QEvent::Wheel},
            {SIGNAL(keyPress(IzalView*, QEvent*, bool&)), QEvent::KeyPress},
            {SIGNAL(keyRelease(IzalView*, QEvent*, bool&)), QEvent::KeyRelease},
        };
        for (const auto& route : routes) {
            QByteArray slot;
            QObject* receiver = console->viewEventReceiver(console->currentDatabase(), int(route.type), slot);
            if (receiver && !slot.isEmpty()) connect(this, route.signal, receiver, slot.constData());
        }
    }

    if (IzalApplication* app = zalApp()) app->subscribeEvents(QString::fromLatin1(kRefreshEvents), this);

    if (m_session) {
        m_reactorAttached = true;
        m_session->attachDbReactor();
        m_session->beginBatch("Warmup...");
        connect(this, &XoUnrealWidget::handleCaptured, this, &QUnrealDbRenderWidget::startViewerSession,
                Qt::QueuedConnection);
        setAttribute(Qt::WA_MouseTracking);
    }
}

QUnrealDbRenderWidget::~QUnrealDbRenderWidget()
{
    if (IzalApplication* app = zalApp()) app->unsubscribeEvents(QString::fromLatin1(kRefreshEvents), this);
    if (m_session) {
        if (m_reactorAttached) {
            m_reactorAttached = false;
            m_session->detachDbReactor();
        }
        // Whoever still holds the session must not reach this widget any more.
        if (m_session->widget() == this) m_session->setWidget(nullptr);
    }
    releaseViewerWindow();
    m_session.release();
}

zalDbUnrealRenderSession* QUnrealDbRenderWidget::session() const
{
    return m_session.get();
}

void QUnrealDbRenderWidget::setPendingFollowUp(QObject* receiver, const char* member)
{
    m_followUpReceiver = receiver;
    m_followUpMember = member ? QByteArray(member) : QByteArray();
}

void QUnrealDbRenderWidget::setViewerWindow(WId handle)
{
    XoUnrealWidget::setViewerWindow(handle);
    if (m_session && m_session->isLive()) show();
}

void QUnrealDbRenderWidget::syncRenderCamera()
{
    if (m_session) m_session->syncCamera();
}

void QUnrealDbRenderWidget::updateRenderCamera()
{
    if (m_session) m_session->syncCamera();
}

void QUnrealDbRenderWidget::refresh(const QString& qsKey, const QString& qsArg)
{
    if (qsKey == QLatin1String(kSelectionChanged)) return;
    if (m_session && m_reactorAttached && !isHidden()) m_session->refresh(qsKey, qsArg);
}

void QUnrealDbRenderWidget::startViewerSession()
{
    if (!m_session) return;
    QTimer::singleShot(250, this, &QUnrealDbRenderWidget::sendFirstCommands);
    m_session->syncCamera();
}

void QUnrealDbRenderWidget::sendFirstCommands()
{
    if (!m_session) return;
    if (zalUnrealViewerSender* sender = m_session->sender()) sender->sendFirstCommands(!isVisible());
    QMetaObject::invokeMethod(this, &QUnrealDbRenderWidget::firstRun, Qt::QueuedConnection);
}

void QUnrealDbRenderWidget::firstRun()
{
    if (!m_session) return;
    if (zalUnrealViewerSender* sender = m_session->sender()) sender->mountNaturePacks();
    m_session->endBatch(true);
    m_session->refresh(QStringLiteral("first_run"), QString());
    if (m_followUpReceiver && !m_followUpMember.isEmpty())
        QMetaObject::invokeMethod(m_followUpReceiver, m_followUpMember.constData(), Qt::QueuedConnection);
    m_followUpReceiver = nullptr;
    m_followUpMember.clear();
}

void QUnrealDbRenderWidget::showEvent(QShowEvent* event)
{
    XoUnrealWidget::showEvent(event);
    if (!m_session) return;
    zalUnrealViewerSender* sender = m_session->sender();
    const QDateTime now = QDateTime::currentDateTime();
    if (m_lastStartAttempt.msecsTo(now) > kRestartGuardMs) {
        m_lastStartAttempt = now;
        if (sender) {
            const QPoint corner = mapToGlobal(pos());
            sender->startViewer(corner.x(), corner.y(), width(), height());
        }
    }
    if (sender) sender->setRenderPaused(false);
    if (m_shown) return;
    m_shown = true;
    if (!m_reactorAttached) {
        m_reactorAttached = true;
        m_session->attachDbReactor();
    }
    m_session->refresh(QString(), QString());
}

void QUnrealDbRenderWidget::hideEvent(QHideEvent* event)
{
    XoUnrealWidget::hideEvent(event);
    if (!m_session) return;
    if (zalUnrealViewerSender* sender = m_session->sender()) sender->setRenderPaused(true);
    m_shown = false;
}

void QUnrealDbRenderWidget::resizeEvent(QResizeEvent* event)
{
    XoUnrealWidget::resizeEvent(event);
    if (isFullScreen() && !m_fullScreenApplied)
        QMetaObject::invokeMethod(this, &QUnrealDbRenderWidget::applyFullScreenResolution,
                                  Qt::QueuedConnection);
    emit resized(event->size());
}

void QUnrealDbRenderWidget::changeEvent(QEvent* event)
{
    XoUnrealWidget::changeEvent(event);
    // Platforms report the full-screen state and the new size in either order.
    if (event->type() == QEvent::WindowStateChange && isFullScreen() && !m_fullScreenApplied)
        QMetaObject::invokeMethod(this, &QUnrealDbRenderWidget::applyFullScreenResolution,
                                  Qt::QueuedConnection);
}

void QUnrealDbRenderWidget::applyFullScreenResolution()
{
    zalUnrealViewerSender* sender = m_session ? m_session->sender() : nullptr;
    if (m_fullScreenApplied || !isFullScreen() || !viewerWindow() ||
        !zalUnrealViewerSender::isReachable(sender))
        return;
    sender->sendConsoleCommand(QStringLiteral("r.FullScreenMode 1"));
    sender->sendConsoleCommand(QStringLiteral("r.setRes %1x%2w").arg(width()).arg(height()));
    m_fullScreenApplied = true;
    if (IzalView* view = activeHostView()) view->update();
    if (IzalApplication* app = zalApp()) app->updateApplication();
}

IzalView* QUnrealDbRenderWidget::activeHostView() const
{
    zalModuleContext* context = m_session ? m_session->context() : nullptr;
    IzalViewSystem* views = context ? context->viewSystem() : nullptr;
    return views ? views->activeView() : nullptr;
}

void QUnrealDbRenderWidget::routeInput(QEvent* event,
                                       void (QUnrealDbRenderWidget::*signal)(IzalView*, QEvent*, bool&))
{
    IzalView* view = activeHostView();
    if (!view) return;
    if (m_cameraMode) {
        forwardInput(event);
        return;
    }
    bool accepted = false;
    emit(this->*signal)(view, event, accepted);
}

void QUnrealDbRenderWidget::mouseMoveEvent(QMouseEvent* event)
{
    routeInput(event, &QUnrealDbRenderWidget::mouseMove);
}

void QUnrealDbRenderWidget::mousePressEvent(QMouseEvent* event)
{
    if (!activeHostView()) return;
    if (!m_cameraMode) m_mousePressed = true;
    routeInput(event, &QUnrealDbRenderWidget::mousePress);
}

void QUnrealDbRenderWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (!activeHostView()) return;
    m_mousePressed = false;
    routeInput(event, &QUnrealDbRenderWidget::mouseRelease);
}

void QUnrealDbRenderWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    IzalView* view = activeHostView();
    // The viewer gets the two clicks, not the double click.
    if (!view || m_cameraMode) return;
    bool accepted = false;
    emit mouseDoubleClick(view, event, accepted);
}

void QUnrealDbRenderWidget::wheelEvent(QWheelEvent* event)
{
    routeInput(event, &QUnrealDbRenderWidget::mouseWheel);
}

void QUnrealDbRenderWidget::handleKeyEvent(QKeyEvent* event)
{
    if (m_cameraMode) {
        XoUnrealWidget::handleKeyEvent(event);
        return;
    }
    IzalView* view = activeHostView();
    bool accepted = event->isAccepted();
    if (event->type() == QEvent::KeyPress)
        emit keyPress(view, event, accepted);
    else
        emit keyRelease(view, event, accepted);
}
