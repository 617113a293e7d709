#pragma once

#include "widget/IRenderWidget.h"
#include "widget/XoUnrealWidget.h"
#include "zalExport.h"

#include "SmartPtr.h"

#include <QDateTime>
#include <QPointer>

class IzalView;
class QMovie;
class zalDbUnrealRenderSession;

// The content of an "UnrealRender" view: belongs to one render session (it keeps a reference),
// starts the viewer when first shown, routes input to the viewer (camera mode) or to the host's
// handlers, and follows the host's refresh events. Made by the view factory; owned by the host view.
class ZAL_EXPORT QUnrealDbRenderWidget : public XoUnrealWidget, public IRenderWidget
{
    Q_OBJECT
public:
    QUnrealDbRenderWidget(zalDbUnrealRenderSession* session, QWidget* parent = nullptr);
    ~QUnrealDbRenderWidget() override;

    zalDbUnrealRenderSession* session() const;
    void setCameraMode(bool on) { m_cameraMode = on; }
    bool cameraMode() const { return m_cameraMode; }
    bool isReactorAttached() const { return m_reactorAttached; }
    bool isMousePressed() const { return m_mousePressed; }
    QDateTime lastStartAttempt() const { return m_lastStartAttempt; }

    // Called once after the first run with a queued call of `member` on `receiver`.
    void setPendingFollowUp(QObject* receiver, const char* member);

    void setViewerWindow(WId handle) override;
    void syncRenderCamera() override;

public slots:
    void refresh(const QString& qsKey, const QString& qsArg);
    void updateRenderCamera();

signals:
    void mouseMove(IzalView* iView, QEvent* pEvent, bool& bAccepted);
    void mousePress(IzalView* iView, QEvent* pEvent, bool& bAccepted);
    void mouseRelease(IzalView* iView, QEvent* pEvent, bool& bAccepted);
    void mouseDoubleClick(IzalView* iView, QEvent* pEvent, bool& bAccepted);
    void mouseWheel(IzalView* iView, QEvent* pEvent, bool& bAccepted);
    void keyPress(IzalView* iView, QEvent* pEvent, bool& bAccepted);
    void keyRelease(IzalView* iView, QEvent* pEvent, bool& bAccepted);
    void touchPressed(IzalView* iView, QEvent* pEvent, bool& bAccepted);
    void touchMove(IzalView* iView, QEvent* pEvent, bool& bAccepted);
    void touchReleased(IzalView* iView, QEvent* pEvent, bool& bAccepted);
    void resized(const QSize& newsize);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void handleKeyEvent(QKeyEvent* event) override;

private slots:
    // The viewer's window was captured: first commands after 250 ms, then the first run.
    void startViewerSession();
    void sendFirstCommands();
    void firstRun();

private:
    // In camera mode the viewer gets the event; otherwise the host's active view, through signal.
    void routeInput(QEvent* event, void (QUnrealDbRenderWidget::*signal)(IzalView*, QEvent*, bool&));
    void applyFullScreenResolution();
    // The host's active view, through the session's module context; null without either.
    IzalView* activeHostView() const;

    bool m_cameraMode = false;
    bool m_reactorAttached = false;
    bool m_shown = false;
    bool m_fullScreenApplied = false;
    QMovie* m_loader = nullptr;
    int m_loaderSize = 48;
    OdSmartPtr<zalDbUnrealRenderSession> m_session;
    QDateTime m_lastStartAttempt;
    bool m_mousePressed = false;
    QPointer<QObject> m_followUpReceiver;
    QByteArray m_followUpMember;
};
