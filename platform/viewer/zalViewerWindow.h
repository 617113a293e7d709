#pragma once

#include <QImage>
#include <QWindow>

#include <memory>

class QBackingStore;

// The viewer's own frameless top-level window. It reports what happens to it and shows the
// frame the renderer made offscreen; the application turns its mouse and keys into the same
// records the host sends.
class zalViewerWindow : public QWindow
{
    Q_OBJECT
public:
    zalViewerWindow();
    ~zalViewerWindow() override;

    // Shows `frame` (made at the window's pixel size) until the next one.
    void present(const QImage& frame);
    const QImage& frame() const { return m_frame; }

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

private:
    void paint();
    std::unique_ptr<QBackingStore> m_store;
    QImage m_frame;
};
