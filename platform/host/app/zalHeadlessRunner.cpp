#include "zalHeadlessRunner.h"

#include "DbUndoHistory.h"

#include "zalDocumentManager.h"
#include "zalDrawingTab.h"
#include "zalDrawingView.h"
#include "zalFrameProduction.h"
#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostMainWindow.h"
#include "zalHostViewerMonitor.h"
#include "zalViewerProcessWatch.h"

#include "IzalUnrealRenderModule.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cstdio>

namespace {
// A viewer that never acknowledges does not hold the run up for ever: its end is watched separately.
const int kSettleLimitMs = 10000;

// The module answers by name, outside its service interface. A module without the answer counts as up
// to date once it has had a second.
bool viewerUpToDate(IzalUnrealRenderModule* module, qint64 waitedMs)
{
    auto* object = dynamic_cast<QObject*>(module);
    bool upToDate = false;
    if (object && object->metaObject()->indexOfMethod("isViewerUpToDate()") >= 0 &&
        QMetaObject::invokeMethod(object, "isViewerUpToDate", Qt::DirectConnection,
                                  Q_RETURN_ARG(bool, upToDate)))
        return upToDate;
    return waitedMs >= 1000;
}
} // namespace

zalHeadlessRunner::zalHeadlessRunner(zalHostApplication* app, zalDocumentManager* documents,
                                     zalHostMainWindow* window, const zalAppOptions& options,
                                     OdDbDatabase* drawing, QObject* parent)
    : QObject(parent), m_app(app), m_documents(documents), m_window(window), m_options(options),
      m_drawing(drawing)
{
    m_poll.setInterval(25);
    connect(&m_poll, &QTimer::timeout, this, &zalHeadlessRunner::poll);
    m_settle.setInterval(20);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        IzalUnrealRenderModule* module = m_documents->renderModule();
        const qint64 waited = m_settleStarted.elapsed();
        const bool waitedLong = waited > kSettleLimitMs;
        if (m_stage == Stage::Done || (module && !viewerUpToDate(module, waited) && !waitedLong)) return;
        if (waitedLong)
            std::fprintf(stderr,
                         "zalhost: warning: the viewer has not acknowledged all it was sent after %d s; "
                         "going on\n",
                         kSettleLimitMs / 1000);
        m_settle.stop();
        if (m_stage != Stage::Done && m_afterSettle) (this->*m_afterSettle)();
    });
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        fail(5, QStringLiteral("timed out after %1 s waiting for %2%3")
                    .arg(m_options.timeoutSeconds)
                    .arg(stageText(), m_stage == Stage::WaitingForSync
                                          ? QStringLiteral(" (the viewer did not start or never answered)")
                                          : QString()));
    });
    m_viewers = new zalViewerProcessWatch(this);
    auto lost = [this](long, const QString& reason) {
        if (m_stage == Stage::Done || m_stage == Stage::Starting) return;
        fail(6, QStringLiteral("%1 while waiting for %2").arg(reason, stageText()));
    };
    connect(m_viewers, &zalViewerProcessWatch::viewerEnded, this, lost);
    connect(m_viewers, &zalViewerProcessWatch::viewerStopped, this, lost);
    // What the viewer reports goes to the error output; a file it says it cannot write ends the wait
    // for that file at once.
    if (app && app->viewerMonitor())
        connect(app->viewerMonitor(), &zalHostViewerMonitor::reported, this,
                [this](OdDbDatabase*, int, const QString& message) {
                    std::fprintf(stderr, "zalhost: viewer: %s\n", message.toLocal8Bit().constData());
                    std::fflush(stderr);
                    const QString waited = m_stage == Stage::Dumping     ? m_dumpPath
                                           : m_stage == Stage::Exporting ? m_imagePath
                                                                         : QString();
                    if (!waited.isEmpty() && message.contains(waited))
                        fail(7, QStringLiteral("the viewer could not write %1 (%2)").arg(waited, message));
                });
}

QString zalHeadlessRunner::stageText() const
{
    switch (m_stage) {
    case Stage::Starting:
        return QStringLiteral("the drawing to open");
    case Stage::WaitingForSync:
        return QStringLiteral("the viewer's first synchronisation");
    case Stage::Settling:
        return QStringLiteral("the script's edits to reach the viewer");
    case Stage::Dumping:
        return QStringLiteral("the viewer's scene dump %1").arg(m_dumpPath);
    case Stage::Exporting:
        return QStringLiteral("the viewer to write %1").arg(m_imagePath);
    case Stage::Done:
        break;
    }
    return QString();
}

void zalHeadlessRunner::fail(int code, const QString& message)
{
    if (m_stage == Stage::Done) return;
    m_stage = Stage::Done;
    m_poll.stop();
    m_timeout.stop();
    m_code = code;
    m_message = message;
    std::fprintf(stderr, "zalhost: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
    emit finished(code);
}

void zalHeadlessRunner::succeed()
{
    if (m_stage == Stage::Done) return;
    m_stage = Stage::Done;
    m_poll.stop();
    m_timeout.stop();
    m_code = 0;
    QStringList wrote;
    if (!m_dumpPath.isEmpty()) wrote << m_dumpPath;
    if (!m_imagePath.isEmpty()) wrote << m_imagePath;
    m_message = wrote.isEmpty() ? QStringLiteral("done")
                                : QStringLiteral("wrote ") + wrote.join(QStringLiteral(", "));
    std::printf("zalhost: %s\n", m_message.toLocal8Bit().constData());
    std::fflush(stdout);
    emit finished(0);
}

void zalHeadlessRunner::start()
{
    m_timeout.start(m_options.timeoutSeconds * 1000);
    m_viewers->start(100);
    if (!m_options.scriptFile.isEmpty()) {
        QFile file(m_options.scriptFile);
        if (!QFileInfo::exists(m_options.scriptFile))
            return fail(2, m_options.scriptFile + QStringLiteral(": no such script file"));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return fail(2, m_options.scriptFile + QStringLiteral(": cannot be read"));
        m_script = QString::fromUtf8(file.readAll());
    }
    if (!m_options.exportImage.isEmpty()) m_imagePath = QFileInfo(m_options.exportImage).absoluteFilePath();
    if (!m_options.dumpScene.isEmpty()) m_dumpPath = QFileInfo(m_options.dumpScene).absoluteFilePath();
    for (const QString& out : {m_imagePath, m_dumpPath}) {
        if (out.isEmpty()) continue;
        if (!QFileInfo(QFileInfo(out).absolutePath()).isDir())
            return fail(2, QFileInfo(out).absolutePath() + QStringLiteral(": no such folder for the output"));
        QFile::remove(out); // only a file the viewer writes now counts
    }
    if (!m_documents->renderModule()) return fail(3, QStringLiteral("the render module is not loaded"));

    m_stage = Stage::WaitingForSync;
    // The first "Synchronizing Scene" indicator that ends marks the first synchronisation.
    connect(m_app, &zalHostApplication::progressFinished, this, [this](const QString&) {
        if (m_stage == Stage::WaitingForSync) synchronised();
    });
    OdDbDatabase* db = m_drawing.get();
    if (db) {
        m_documents->adoptDrawing(db, m_options.openFile);
    } else {
        QString message;
        db = m_documents->openDrawing(m_options.openFile, &message);
        if (!db) return fail(2, message);
        std::printf("zalhost: opened %s\n", message.toLocal8Bit().constData());
        std::fflush(stdout);
    }
    zalDrawingTab* tab = m_window ? m_window->tabOf(db) : nullptr;
    if (!tab || !tab->renderWidget()) return fail(3, QStringLiteral("the render view could not be opened"));
    if (tab->drawingView()) tab->drawingView()->setPaintingModel(false);
    m_drawing = db;
}

namespace {

// This process's resident memory from /proc (0 where there is none).
double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0.0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0.0;
}

// A JSON object ends with its closing brace (and perhaps a line end): a cut file does not.
bool dumpLooksComplete(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 2) return false;
    file.seek(std::max<qint64>(0, file.size() - 16));
    return file.readAll().trimmed().endsWith('}');
}

} // namespace

void zalHeadlessRunner::synchronised()
{
    m_stage = Stage::Settling;
    std::printf("zalhost: first synchronisation done\n");
    std::fflush(stdout);
    // The viewer applies the first transaction as a whole when it ends (the start-up batch may still
    // hold it open); the script edits once it has.
    whenViewerUpToDate(&zalHeadlessRunner::runScript);
}

void zalHeadlessRunner::whenViewerUpToDate(void (zalHeadlessRunner::*next)())
{
    m_afterSettle = next;
    m_settleStarted.start();
    m_settle.start();
}

void zalHeadlessRunner::runScript()
{
    if (m_stage == Stage::Done) return;
    zalHostConsole* console = m_app->console();
    if (!m_script.isEmpty() && console) {
        QString failure;
        const auto connection =
            connect(console, &zalHostConsole::commandFinished, this,
                    [&failure, console](const QString& name, zalHostConsole::Result result) {
                        if (result == zalHostConsole::Done || !failure.isEmpty()) return;
                        const QString why = result == zalHostConsole::Cancelled
                                                ? QStringLiteral("cancelled (an answer is missing)")
                                                : console->lastError();
                        failure = QStringLiteral("script: %1: %2").arg(name, why);
                    });
        // Long scripts report the host's memory every 1000 commands (scripts/long-run prints it per
        // 1000 edits beside the viewer's).
        int counted = 0;
        const auto memory = connect(console, &zalHostConsole::commandFinished, this, [this, &counted] {
            if (++counted % 1000 == 0) {
                // The undo history is kept for as long as the drawing is open: its share of the growth.
                const OdDbUndoHistorySize undo = odDbUndoHistorySize(m_drawing.get());
                std::printf(
                    "zalhost: %d commands, host resident %.1f MB, undo history %.2f MB in %zu steps\n",
                    counted, residentMegabytes(), double(undo.bytes) / (1024.0 * 1024.0), undo.steps);
                std::fflush(stdout);
                // The viewer prints its own line (it shares this standard output).
                if (IzalUnrealRenderModule* module = m_documents->renderModule())
                    module->sendViewerConsoleCommand(QStringLiteral("zal.ReportMemory"));
            }
        });
        const int done = console->runScript(m_script);
        disconnect(connection);
        disconnect(memory);
        if (!failure.isEmpty()) return fail(4, failure);
        std::printf("zalhost: script ran %d command%s\n", done, done == 1 ? "" : "s");
        std::fflush(stdout);
        for (zalDrawingTab* tab = m_window ? m_window->currentTab() : nullptr; tab; tab = nullptr)
            QMetaObject::invokeMethod(tab, "followCamera");
    }
    // Edits reach the viewer at once or with the session's next tick (every 500 ms).
    if (m_script.isEmpty()) return afterEdits();
    QTimer::singleShot(1500, this, [this] { whenViewerUpToDate(&zalHeadlessRunner::afterEdits); });
}

void zalHeadlessRunner::afterEdits()
{
    if (m_stage == Stage::Done) return;
    if (!m_dumpPath.isEmpty())
        startDump();
    else
        startExport();
}

void zalHeadlessRunner::startDump()
{
    m_stage = Stage::Dumping;
    m_lastSize = -1;
    m_documents->renderModule()->sendViewerConsoleCommand(
        QStringLiteral("zal.dumpscene \"%1\"").arg(m_dumpPath));
    m_poll.start();
}

void zalHeadlessRunner::startExport()
{
    if (m_options.frames.isRequested()) return startFrames();
    if (m_imagePath.isEmpty()) return succeed();
    m_stage = Stage::Exporting;
    m_lastSize = -1;
    IzalUnrealRenderModule* module = m_documents->renderModule();
    if (!module || !module->exportImage(m_imagePath, m_options.size, 0))
        return fail(3, QStringLiteral("the viewer is not reachable for the image export"));
    m_poll.start();
}

void zalHeadlessRunner::startFrames()
{
    m_stage = Stage::Exporting;
    // Each frame has its own time-out; the whole range may take much longer than one.
    m_timeout.stop();
    auto* production = new zalFrameProduction(m_documents->renderModule(), m_drawing.get(), m_options.frames,
                                              m_options.size, m_options.timeoutSeconds, this);
    connect(production, &zalFrameProduction::finished, this, [this](int code, const QString& message) {
        if (code != 0) return fail(code, message);
        m_imagePath = message;
        succeed();
    });
    production->start();
}

void zalHeadlessRunner::poll()
{
    const QString path = m_stage == Stage::Dumping ? m_dumpPath : m_imagePath;
    const QFileInfo info(path);
    if (!info.exists() || info.size() == 0) return;
    if (m_stage == Stage::Dumping) {
        // The viewer writes its dump beside the path and renames it when complete, so a dump that is
        // there is whole; parsing megabytes of it again here only delayed the end of the run.
        if (!dumpLooksComplete(path)) return;
        m_poll.stop();
        return startExport();
    }
    // Done once the size holds still between two looks and the content reads.
    if (info.size() != m_lastSize) {
        m_lastSize = info.size();
        return;
    }
    if (m_stage == Stage::Exporting) {
        QImageReader reader(path);
        if (!reader.canRead()) return;
        m_poll.stop();
        succeed();
    }
}
