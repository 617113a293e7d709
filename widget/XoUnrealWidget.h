#pragma once

#include "zalExport.h"

#include "XoInputEvent.h"

#include <QPointer>
#include <QWidget>

class QVBoxLayout;
class QWindow;

// Embeds a foreign top-level window (the viewer's) and turns Qt input into viewer input records.
// Owned by its Qt parent; the embedded window is released (not destroyed) before this widget goes.
class ZAL_EXPORT XoUnrealWidget : public QWidget
{
    Q_OBJECT
public:
    explicit XoUnrealWidget(QWidget* parent = nullptr);
    ~XoUnrealWidget() override;

    // 0 shows a placeholder; a window id embeds that window and emits handleCaptured.
    virtual void setViewerWindow(WId handle);
    WId viewerWindow() const { return m_viewerWindow; }
    QWidget* contentWidget() const { return m_content; }
    // Gives the embedded window back to the desktop so that it outlives this widget's window.
    void releaseViewerWindow();

    // The record of a Qt event for the viewer; false for events the viewer does not get.
    static bool inputRecord(const QEvent* event, XoInputEvent& record);

signals:
    void handleCaptured();
    void onInputEvent(XoInputEvent event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Each sends its record to the viewer.
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // Key events arrive here only through the application filter, so the embedded window's focus
    // does not swallow them.
    virtual void handleKeyEvent(QKeyEvent* event);
    // Emits the event's record, if the viewer gets such events.
    void forwardInput(const QEvent* event);

private:
    WId m_viewerWindow = 0;
    QWidget* m_content = nullptr;
    QPointer<QWindow> m_foreignWindow;
    QVBoxLayout* m_layout = nullptr;
};
