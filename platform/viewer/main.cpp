// zalViewer: the reference viewer. Started by the host's channel library with
//   --channel <name> [--workdir <folder>] [--session-key <key>] [--rect x,y,w,h] [--vr] [--headless]
//   [--receive-reserve <MiB>] [--receive-memory-fd <fd>] [--socket-only]
#include "zalViewerApplication.h"

#include "XoSocketFrameIO.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QtDebug>

#include <X11/Xlib.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

// Without a working display some GL stacks retry for ever instead of failing: this ends the
// process with a message if set-up does not finish in time.
class Watchdog
{
public:
    explicit Watchdog(int seconds)
    {
        m_thread = std::thread([this, seconds] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_finished; })) {
                std::fprintf(stderr, "zalViewer: OpenGL set-up did not finish within %d s; giving up\n",
                             seconds);
                std::fflush(stderr);
                ::_exit(3);
            }
        });
    }
    ~Watchdog() { disarm(); }
    void disarm()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

// Keeps receive memory backed ahead of the frames, so that a large transfer lands in memory already mapped.
class ReceiveReserve
{
public:
    explicit ReceiveReserve(std::size_t bytes)
    {
        if (bytes == 0) return;
        m_thread = std::thread([this, bytes] {
            // It lowers its own priority once it only moves the cost of backing memory off the reader.
            XoSocketFrameIO::keepReceiveMemoryWarm(bytes, m_stop);
        });
    }
    ~ReceiveReserve()
    {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

int main(int argc, char** argv)
{
    // OpenGL needs an X server here; without one, say so instead of letting Qt abort.
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr,
                     "zalViewer: no X display (DISPLAY is not set). The viewer draws with OpenGL, which "
                     "needs an X server; run it under one, e.g. xvfb-run -a zalViewer ...\n");
        return 3;
    }
    // Qt aborts when its display connection fails; asking Xlib first turns that into a message.
    // An X server without other clients resets when its last client leaves and refuses
    // connections meanwhile: try for a few seconds, and hold this connection until Qt has its own,
    // or closing it would reset the server under Qt's feet.
    Display* held = nullptr;
    for (int attempt = 0; attempt < 50 && !held; ++attempt) {
        held = XOpenDisplay(nullptr);
        if (!held) ::usleep(100000);
    }
    if (!held) {
        std::fprintf(
            stderr,
            "zalViewer: cannot open the X display \"%s\". The viewer draws with OpenGL, which needs a "
            "running X server.\n",
            display);
        return 3;
    }
    // The host may run on Qt's offscreen platform; the viewer needs the real one for OpenGL.
    qputenv("QT_QPA_PLATFORM", "xcb");

    Watchdog watchdog(30);
    QGuiApplication app(argc, argv);
    XCloseDisplay(held);
    QCoreApplication::setApplicationName(QStringLiteral("zalViewer"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reference viewer of the zal render module"));
    parser.addHelpOption();
    const QCommandLineOption channel(QStringLiteral("channel"), QStringLiteral("Channel to connect to."),
                                     QStringLiteral("name"));
    const QCommandLineOption workdir(QStringLiteral("workdir"), QStringLiteral("Working folder."),
                                     QStringLiteral("folder"));
    const QCommandLineOption session(QStringLiteral("session-key"), QStringLiteral("Session key."),
                                     QStringLiteral("key"));
    const QCommandLineOption rect(QStringLiteral("rect"), QStringLiteral("Window rectangle x,y,w,h."),
                                  QStringLiteral("x,y,w,h"));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Render offscreen, no window."));
    const QCommandLineOption vr(QStringLiteral("vr"), QStringLiteral("Start for VR."));
    const QCommandLineOption reserve(
        QStringLiteral("receive-reserve"),
        QStringLiteral("Receive memory kept backed ahead of the frames, in MiB (default 32, 0 for none)."),
        QStringLiteral("MiB"), QStringLiteral("32"));
    const QCommandLineOption socketOnly(QStringLiteral("socket-only"),
                                        QStringLiteral("Read the host's data from the socket; do not ask for "
                                                       "shared memory."));
    const QCommandLineOption lentMemory(
        QStringLiteral("receive-memory-fd"),
        QStringLiteral("Shared memory the host lends for received frames and keeps for the next viewer."),
        QStringLiteral("fd"));
    parser.addOptions({channel, workdir, session, rect, headless, vr, reserve, lentMemory, socketOnly});
    parser.process(app);
    bool reserveOk = false;
    const int reserveMiB = parser.value(reserve).toInt(&reserveOk);
    if (!reserveOk || reserveMiB < 0 || reserveMiB > 65536) {
        std::fprintf(stderr, "zalViewer: --receive-reserve wants a size in MiB from 0 to 65536\n");
        return 1;
    }
    // ZAL_SLAB_PAGES=small or huge forces the pages receive memory gets, to compare the two.
    const QByteArray pages = qgetenv("ZAL_SLAB_PAGES");
    if (pages == "small") XoSocketFrameIO::setSlabPages(XoSocketFrameIO::SlabPages::Small);
    if (pages == "huge") XoSocketFrameIO::setSlabPages(XoSocketFrameIO::SlabPages::Huge);
    if (parser.isSet(lentMemory)) {
        bool fdOk = false;
        const int fd = parser.value(lentMemory).toInt(&fdOk);
        std::string error;
        // Without it frames land in memory of this process's own, as they would anyway.
        if (!fdOk || fd < 0 || !XoSocketFrameIO::useLentReceiveMemory(fd, error))
            std::fprintf(stderr, "zalViewer: not using the receive memory lent: %s\n",
                         fdOk ? error.c_str() : "--receive-memory-fd wants a file descriptor");
    }
    // Maps what the lent memory holds first, then keeps spares as usual.
    ReceiveReserve receiveReserve(std::size_t(reserveMiB) << 20);

    zalViewerApplication::Options options;
    options.channel = parser.value(channel);
    options.workingFolder = parser.value(workdir);
    options.session = parser.value(session).toLong();
    options.headless = parser.isSet(headless);
    options.vr = parser.isSet(vr);
    options.socketOnly = parser.isSet(socketOnly);
    if (parser.isSet(rect)) {
        const QStringList parts = parser.value(rect).split(',');
        bool ok = parts.size() == 4;
        int v[4] = {0, 0, 0, 0};
        for (int i = 0; ok && i < 4; ++i)
            v[i] = parts[i].toInt(&ok);
        if (!ok || v[2] <= 0 || v[3] <= 0) {
            std::fprintf(stderr, "zalViewer: --rect wants x,y,width,height with a positive size\n");
            return 1;
        }
        options.rectangle = QRect(v[0], v[1], v[2], v[3]);
    }
    if (options.channel.isEmpty()) {
        std::fprintf(stderr, "zalViewer: --channel is required (the host's channel library passes it)\n");
        return 1;
    }

    zalViewerApplication viewer(options);
    QString error;
    if (!viewer.initializeGraphics(error)) {
        std::fprintf(stderr, "zalViewer: no usable OpenGL: %s\n", qPrintable(error));
        return 3;
    }
    watchdog.disarm();
    if (!viewer.connectChannel(error)) {
        std::fprintf(stderr, "zalViewer: %s\n", qPrintable(error));
        return 4;
    }
    QObject::connect(
        &viewer, &zalViewerApplication::finished, &app, [&app](int code) { app.exit(code); },
        Qt::QueuedConnection);
    viewer.showWindow();
    const int code = app.exec();
    // Frames released from here on leave their memory to the next viewer the host starts.
    XoSocketFrameIO::keepLentReceiveMemory();
    return code;
}
