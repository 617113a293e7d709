#pragma once

#include "zalViewerConsole.h"
#include "zalViewerRenderer.h"
#include "zalViewerScene.h"
#include "zalViewerSettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>

#include <atomic>
#include <deque>
#include <memory>
#include <thread>
#include <variant>
#include <vector>

class XoRemoteRenderMessage;
class zalViewerChannel;
class zalViewerPathTraceView;
class zalViewerWindow;

// The reference viewer: the channel, the scene it fills, the console, and the picture.
class zalViewerApplication : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString channel;
        QString workingFolder;
        long session = 0;
        QRect rectangle{100, 100, 1280, 720};
        bool headless = false;
        bool vr = false;
        bool socketOnly = false; // never ask for the shared ring
    };

    explicit zalViewerApplication(const Options& options);
    ~zalViewerApplication() override;

    // Starts the renderer; false with `error` when there is no usable OpenGL.
    bool initializeGraphics(QString& error);
    // Connects and announces itself; false with `error` when the channel cannot be reached.
    bool connectChannel(QString& error);
    void showWindow();

    const zalViewerScene& scene() const { return m_scene; }
    const zalViewerSettings& settings() const { return m_settings; }

signals:
    // The application should end with this code.
    void finished(int exitCode);

private:
    void handle(const std::shared_ptr<const XoRemoteRenderMessage>& message);
    // Scene content: held back while a transaction is open, else applied at once.
    void takeContent(const std::shared_ptr<const XoRemoteRenderMessage>& message);
    void applyContent(const std::shared_ptr<const XoRemoteRenderMessage>& message);
    // Logs what the scene refused and tells the host which entities to send again.
    void reportLost(const std::vector<zalViewerScene::Key>& lost, const QStringList& errors);
    // One per message type that is not scene content.
    void onBeginTransaction(const XoRemoteRenderMessage& m);
    void onEndTransaction(const XoRemoteRenderMessage& m);
    void onConsoleCommand(const XoRemoteRenderMessage& m);
    void onGetWindowHandle(const XoRemoteRenderMessage& m);
    void onMountPak(const XoRemoteRenderMessage& m);
    void onEnumContents(const XoRemoteRenderMessage& m);
    void onGenerateMaterialMaps(const XoRemoteRenderMessage& m);
    void onSetCamera(const XoRemoteRenderMessage& m);
    void onSetNavigationType(const XoRemoteRenderMessage& m);
    void onSetNavigationSpeed(const XoRemoteRenderMessage& m);
    void onSetSunByPos(const XoRemoteRenderMessage& m);
    void onSetSunByTime(const XoRemoteRenderMessage& m);
    void onSetToneMapper(const XoRemoteRenderMessage& m);
    void onTakePicture(const XoRemoteRenderMessage& m);
    void onInputEvent(const XoRemoteRenderMessage& m);
    void onSendMessage(const XoRemoteRenderMessage& m);
    void onRenderExit(const XoRemoteRenderMessage& m);
    void onSaveData(const XoRemoteRenderMessage& m);
    void onSetRenderPaused(const XoRemoteRenderMessage& m);
    void onEnableVR(const XoRemoteRenderMessage& m);
    void executeConsole(const QString& line);
    void input(int type, int a, int x, int y);
    void reply(const XoRemoteRenderMessage& message);
    void reportError(int code, const QString& text);
    bool writeScreenshot(QSize size, const QString& path);
    bool saveScreenshot(const QImage& image, const QString& path);
    bool dumpScene(const QString& path);
    // Prints where the viewer's memory is (malloc's heap in use and free, mappings, what the scene
    // and the renderer hold), for long runs that watch it grow.
    void reportMemory() const;
    // Gives the heap's free pages back to the system when malloc keeps much more free than it uses.
    void trimHeap();
    QJsonObject dump() const;
    void sceneChanged();
    // Whether the window's drawing reads the scene's changes soon (a frame or a build step comes).
    bool drawingFollows() const;
    void drawFrame();
    // Whether the next frame waits for the open transaction; when it does, a timer asks again once the
    // wait is over.
    bool holdFrame();
    // Shows a frame in the window with the highlighted instances outlined on it.
    void present(const QImage& frame, const zalViewerRenderer::View& view);
    // Shows the frame the renderer draws once it is read back; with `wait`, waits for it.
    void presentFrame(bool wait);
    QSize windowPixels() const;
    QString inWorkingFolder(const QString& relative) const;

    Options m_options;
    zalViewerScene m_scene;
    zalViewerSettings m_settings;
    zalViewerConsole m_console{m_settings};
    zalViewerRenderer m_renderer;
    std::unique_ptr<zalViewerWindow> m_window;
    // Frames and shots come from the path tracer while "showflag.pathtracing" is on.
    std::unique_ptr<zalViewerPathTraceView> m_pathTrace;
    zalViewerChannel* m_channel = nullptr;

    bool m_transactionOpen = false;
    QElapsedTimer m_transactionBegan;
    QString m_transactionName;
    // This thread's processor time when the open transaction began (kept for ZAL_VIEWER_TIMING).
    std::int64_t m_transactionCpuNs = 0;
    // Content held back until its transaction ends. Meshes, instances and confirmations are worked out on
    // arrival and held in place (no allocation of their own), so only linking them in is left to the end;
    // a confirmation keeps just the pair it names.
    using PendingContent =
        std::variant<std::shared_ptr<const XoRemoteRenderMessage>, zalViewerScene::PreparedMesh,
                     zalViewerScene::PreparedInstance, zalViewerScene::Key>;
    std::deque<PendingContent> m_pending; // grows without moving what it holds
    int m_transactionsApplied = 0;
    std::uint64_t m_contentOutsideTransactions = 0; // applied as it came, no transaction around it
    QString m_lastTransaction;
    int m_messagesReceived = 0;
    QElapsedTimer m_sinceTrim; // the heap is looked at once a second at most
    std::thread m_trimmer;
    std::atomic<bool> m_trimming{false};

    QTimer m_frameTimer; // coalesces redraws after changes
    // While the driver draws, messages keep being handled; this looks for the finished frame.
    QTimer m_framePoll;
    QTimer m_buildStep; // the next step of a drawing built in steps
    bool m_framePending = false;
    zalViewerRenderer::View m_pendingView; // the camera of the frame being drawn
    bool m_redrawAfterPending = false;
    int m_framesDrawn = 0;
    QTimer m_heldFrame;       // a frame held for an open transaction, drawn when the hold ends
    int m_framesHeld = 0;     // times a frame waited for a transaction
    bool m_viewMoved = false; // the view moved since the last frame began: the next one does not wait
    // Navigation by input records: orbit about the target while a button is held, wheel to dolly.
    bool m_dragging = false;
    QPoint m_lastPointer;
    bool m_orbitActive = false;
    zalViewerRenderer::View m_orbit;
    QImage m_shownFrame; // the last window frame without its outlines
    zalViewerRenderer::View m_shownView;
};
