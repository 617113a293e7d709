#pragma once

#include <QWindow>

#include <functional>

// The viewer's own frameless top-level window. It only reports what happens to it; the
// application draws into it and turns its mouse and keys into the same records the host sends.
class zalViewerWindow : public QWindow
{
    Q_OBJECT
public:
    zalViewerWindow();

signals:
    void needsFrame();
    void input(int type, int a, int x, int y);

protected:
    void exposeEvent(QExposeEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};
