#include "zalViewerApplication.h"

#include "XoRemoteRenderMessage.h"
#include "XoSocketFrameIO.h"
#include "zalViewerChannel.h"
#include "zalViewerPathTraceView.h"
#include "zalViewerScreenshotDelay.h"
#include "zalViewerWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMatrix4x4>
#include <QPainter>
#include <QPen>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QVector4D>
#include <QtDebug>
#include <QtMath>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

using Type = XoMessageType;
using zalViewerText::str;

QVector3D vec3(const XoMessageField& f)
{
    return f.elementCount() == 3 ? QVector3D(f.floatAt(0), f.floatAt(1), f.floatAt(2)) : QVector3D();
}

zalViewerPathTraceCamera traceCamera(const zalViewerRenderer::View& view)
{
    zalViewerPathTraceCamera camera;
    camera.eye = view.eye;
    camera.target = view.target;
    camera.up = view.up;
    camera.fieldOfView = view.fieldOfView;
    camera.horizontal = view.horizontal;
    return camera;
}

constexpr int kInputsKept = 32;
constexpr int kFrameDelayMs = 30;

} // namespace

zalViewerApplication::zalViewerApplication(const Options& options)
    : m_options(options), m_pathTrace(std::make_unique<zalViewerPathTraceView>())
{
    m_settings.vr = options.vr;
    m_frameTimer.setSingleShot(true);
    m_frameTimer.setInterval(kFrameDelayMs);
    connect(&m_frameTimer, &QTimer::timeout, this, &zalViewerApplication::drawFrame);
    m_framePoll.setInterval(1);
    connect(&m_framePoll, &QTimer::timeout, this, [this] { presentFrame(false); });
    m_buildStep.setSingleShot(true);
    m_buildStep.setInterval(0);
    connect(&m_buildStep, &QTimer::timeout, this, &zalViewerApplication::drawFrame);
    m_heldFrame.setSingleShot(true);
    connect(&m_heldFrame, &QTimer::timeout, this, &zalViewerApplication::drawFrame);
}

zalViewerApplication::~zalViewerApplication()
{
    if (m_trimmer.joinable()) m_trimmer.join();
    if (m_channel) m_channel->close();
    m_renderer.release();
}

bool zalViewerApplication::initializeGraphics(QString& error)
{
    if (!m_options.headless) {
        m_window = std::make_unique<zalViewerWindow>();
        m_window->setGeometry(m_options.rectangle);
        connect(m_window.get(), &zalViewerWindow::needsFrame, this, [this] { m_frameTimer.start(); });
        connect(m_window.get(), &zalViewerWindow::input, this, &zalViewerApplication::input);
        m_window->create();
    }
    if (!m_renderer.initialize(error)) return false;
    // Texture names the host sends are absolute or relative to the drawing's folder, which is the
    // viewer's working folder.
    QStringList folders;
    if (!m_options.workingFolder.isEmpty()) folders << m_options.workingFolder;
    folders << QDir::currentPath();
    m_renderer.setTextureFolders(folders);
    qInfo().noquote() << "zalViewer: rendering with Filament (OpenGL)";
    return true;
}

QSize zalViewerApplication::windowPixels() const
{
    return m_window ? m_window->size() * m_window->devicePixelRatio() : m_options.rectangle.size();
}

bool zalViewerApplication::connectChannel(QString& error)
{
    m_channel = new zalViewerChannel(this);
    m_channel->setHandler([this](const std::shared_ptr<const XoRemoteRenderMessage>& m) { handle(m); });
    connect(m_channel, &zalViewerChannel::ended, this, [this](bool malformed, const QString& reason) {
        qInfo().noquote() << "zalViewer: channel ended:" << reason;
        emit finished(malformed ? 2 : 0);
    });
    if (!m_channel->connectTo(m_options.channel.toStdString(), error)) return false;
    reply(XoRemoteRenderMessage(Type::ViewerStarted)
              .addString(QCoreApplication::applicationVersion().toStdString())
              .addInt(int(::getpid())));
    if (!m_options.socketOnly) m_channel->requestSharedRing();
    return true;
}

void zalViewerApplication::showWindow()
{
    if (!m_window) return;
    m_window->show();
    m_frameTimer.start();
}

void zalViewerApplication::reply(const XoRemoteRenderMessage& message)
{
    if (m_channel) m_channel->send(message);
}

void zalViewerApplication::reportError(int code, const QString& text)
{
    qWarning().noquote() << "zalViewer:" << text;
    reply(XoRemoteRenderMessage(Type::ViewerError).addInt(code).addString(text.toStdString()));
}

QString zalViewerApplication::inWorkingFolder(const QString& relative) const
{
    const QString folder = m_options.workingFolder.isEmpty() ? QDir::currentPath() : m_options.workingFolder;
    return QDir(folder).filePath(relative);
}

void zalViewerApplication::handle(const std::shared_ptr<const XoRemoteRenderMessage>& message)
{
    ++m_messagesReceived;
    if (zalViewerScene::isContent(*message)) {
        takeContent(message);
        return;
    }
    using Handler = void (zalViewerApplication::*)(const XoRemoteRenderMessage&);
    static const std::map<Type, Handler> handlers = {
        {Type::BeginTransaction, &zalViewerApplication::onBeginTransaction},
        {Type::EndTransaction, &zalViewerApplication::onEndTransaction},
        {Type::SendConsoleCommand, &zalViewerApplication::onConsoleCommand},
        {Type::GetWindowHandle, &zalViewerApplication::onGetWindowHandle},
        {Type::MountExternalPak, &zalViewerApplication::onMountPak},
        {Type::EnumExternalContents, &zalViewerApplication::onEnumContents},
        {Type::GenerateMaterialMaps, &zalViewerApplication::onGenerateMaterialMaps},
        {Type::SetCamera, &zalViewerApplication::onSetCamera},
        {Type::SetNavigationType, &zalViewerApplication::onSetNavigationType},
        {Type::SetNavigationSpeed, &zalViewerApplication::onSetNavigationSpeed},
        {Type::SetSunByPos, &zalViewerApplication::onSetSunByPos},
        {Type::SetSunByTime, &zalViewerApplication::onSetSunByTime},
        {Type::SetToneMapper, &zalViewerApplication::onSetToneMapper},
        {Type::TakePicture, &zalViewerApplication::onTakePicture},
        {Type::SendInputEvent, &zalViewerApplication::onInputEvent},
        {Type::SendMessage, &zalViewerApplication::onSendMessage},
        {Type::RequestRenderExit, &zalViewerApplication::onRenderExit},
        {Type::RequestSaveData, &zalViewerApplication::onSaveData},
        {Type::SetRenderPaused, &zalViewerApplication::onSetRenderPaused},
        {Type::EnableVR, &zalViewerApplication::onEnableVR},
    };
    const auto handler = handlers.find(message->type());
    if (handler == handlers.end()) {
        reportError(4, QStringLiteral("%1 is not for the viewer").arg(QString::fromLatin1(message->name())));
        return;
    }
    (this->*handler->second)(*message);
}

void zalViewerApplication::takeContent(const std::shared_ptr<const XoRemoteRenderMessage>& message)
{
    if (!m_transactionOpen) {
        ++m_contentOutsideTransactions;
        applyContent(message);
        return;
    }
    // A transaction is applied as a whole when it ends. Meshes and instances are prepared now, and their
    // decoded messages go: a mesh keeps only the frame its arrays live in.
    if (message->type() == Type::AddMesh)
        m_pending.emplace_back(m_scene.prepareMesh(message));
    else if (message->type() == Type::AddInstance || message->type() == Type::AddGroup)
        m_pending.emplace_back(m_scene.prepareInstance(*message));
    else if (message->type() == Type::AssureEntityConnected)
        m_pending.emplace_back(m_scene.connectKey(*message));
    else
        m_pending.emplace_back(message);
}

void zalViewerApplication::reportLost(const std::vector<zalViewerScene::Key>& lost, const QStringList& errors)
{
    for (const QString& e : errors)
        qWarning().noquote() << "zalViewer: rejected:" << e;
    for (const auto& key : lost)
        reply(XoRemoteRenderMessage(Type::EntityLost)
                  .addString(key.name.toStdString())
                  .addString(key.parent.toStdString()));
}

void zalViewerApplication::onBeginTransaction(const XoRemoteRenderMessage& m)
{
    if (m_transactionOpen)
        qWarning().noquote() << "zalViewer: transaction" << str(m.field("name")) << "begins inside"
                             << m_transactionName << "; both are applied together";
    else
        m_transactionName = str(m.field("name"));
    if (!m_transactionOpen) m_transactionBegan.start();
    m_transactionOpen = true;
    if (m_channel && m_channel->timing()) m_transactionCpuNs = zalViewerChannel::threadCpuNs();
}

void zalViewerApplication::onEndTransaction(const XoRemoteRenderMessage& m)
{
    if (!m_transactionOpen) {
        qWarning() << "zalViewer: endTransaction without a transaction";
        return;
    }
    const std::int64_t handled = zalViewerChannel::steadyNs();
    std::deque<PendingContent> batch;
    batch.swap(m_pending);
    m_transactionOpen = false;
    // The change below asks for the frame that waited.
    m_heldFrame.stop();
    std::vector<zalViewerScene::Key> lost;
    QStringList errors;
    for (PendingContent& content : batch) {
        if (auto* mesh = std::get_if<zalViewerScene::PreparedMesh>(&content))
            m_scene.applyMesh(std::move(*mesh), lost, errors);
        else if (auto* instance = std::get_if<zalViewerScene::PreparedInstance>(&content))
            m_scene.applyInstance(std::move(*instance), lost, errors);
        else if (auto* connect = std::get_if<zalViewerScene::Key>(&content))
            m_scene.connect(*connect, lost, errors);
        else
            m_scene.apply(std::get<std::shared_ptr<const XoRemoteRenderMessage>>(content), lost, errors);
    }
    reportLost(lost, errors);
    const std::int64_t applied = zalViewerChannel::steadyNs();
    ++m_transactionsApplied;
    m_lastTransaction = m_transactionName;
    reply(XoRemoteRenderMessage(Type::TransactionApplied)
              .addString(m_transactionName.toStdString())
              .addBool(m.field("fullUpdate").toBool())
              .addInt(int(lost.size())));
    if (m_channel && m_channel->timing()) {
        const zalViewerChannel::Timing& t = *m_channel->timing();
        std::fprintf(stderr,
                     "zalViewer timing: %s %lld frames, ns: begin read %lld, first content read %lld, last "
                     "content read %lld, end read %lld, end handled %lld, applied %lld, acknowledged %lld; "
                     "reader busy %.1f ms, this thread %.1f ms; so "
                     "far %llu slabs backed by the reader in %.1f ms, %llu with huge pages (%s); %.0f MiB of "
                     "receive memory lent by the host\n",
                     qPrintable(m_transactionName), (long long)t.frames, (long long)t.begin,
                     (long long)t.firstContent, (long long)t.lastContent, (long long)t.end,
                     (long long)handled, (long long)applied, (long long)zalViewerChannel::steadyNs(),
                     double(t.endCpu - t.beginCpu) / 1e6,
                     double(zalViewerChannel::threadCpuNs() - m_transactionCpuNs) / 1e6,
                     (unsigned long long)XoSocketFrameIO::slabsBackedOnDemand(),
                     double(XoSocketFrameIO::nsBackingOnDemand()) / 1e6,
                     (unsigned long long)XoSocketFrameIO::hugePageSlabs(),
                     XoSocketFrameIO::slabPages() == XoSocketFrameIO::SlabPages::Huge    ? "huge pages on"
                     : XoSocketFrameIO::slabPages() == XoSocketFrameIO::SlabPages::Small ? "huge pages off"
                                                                                         : "undecided",
                     double(XoSocketFrameIO::lentReceiveMemory()) / 1048576.0);
    }
    batch.clear();
    trimHeap();
    sceneChanged();
}

void zalViewerApplication::onConsoleCommand(const XoRemoteRenderMessage& m)
{
    executeConsole(str(m.field("command")));
}

void zalViewerApplication::onGetWindowHandle(const XoRemoteRenderMessage&)
{
    reply(
        XoRemoteRenderMessage(Type::WindowHandle).addUInt64(m_window ? std::uint64_t(m_window->winId()) : 0));
}

void zalViewerApplication::onMountPak(const XoRemoteRenderMessage& m)
{
    const QString path = str(m.field("path"));
    const bool mounted = QFileInfo(path).isFile();
    if (!mounted) qWarning().noquote() << "zalViewer: pak not found:" << path;
    m_scene.setPakMounted(path, mounted);
    reply(XoRemoteRenderMessage(Type::PakMounted).addString(path.toStdString()).addBool(mounted));
}

void zalViewerApplication::onEnumContents(const XoRemoteRenderMessage& m)
{
    const QString path = str(m.field("path"));
    const QString prefix = QFileInfo(path).completeBaseName() + QLatin1Char('_');
    const QByteArray assets = QJsonDocument(QJsonArray::fromStringList(m_scene.assetsWithPrefix(prefix)))
                                  .toJson(QJsonDocument::Compact);
    reply(
        XoRemoteRenderMessage(Type::EnumAsset).addString(path.toStdString()).addString(assets.toStdString()));
}

void zalViewerApplication::onGenerateMaterialMaps(const XoRemoteRenderMessage& m)
{
    const QString name = str(m.field("name"));
    const int w = m.field("width").toInt(), h = m.field("height").toInt();
    auto it = m_scene.materials().find(name);
    if (it == m_scene.materials().end() || w <= 0 || h <= 0 || w > 8192 || h > 8192) {
        reportError(5, QStringLiteral("generateMaterialMaps: no material %1 or a bad size %2x%3")
                           .arg(name)
                           .arg(w)
                           .arg(h));
        return;
    }
    QImage map(w, h, QImage::Format_RGB32);
    const quint32 c = it->second.colour;
    map.fill(QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)));
    QString safe = name;
    safe.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    const QString file = inWorkingFolder(QStringLiteral("MaterialMaps/%1_Diffuse.png").arg(safe));
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (map.save(file, "PNG"))
        m_settings.materialMaps << file;
    else
        reportError(5, QStringLiteral("cannot write %1").arg(file));
}

void zalViewerApplication::onSetCamera(const XoRemoteRenderMessage& m)
{
    m_settings.cameraSet = true;
    m_settings.cameraAim = vec3(m.field("aim"));
    m_settings.cameraPosition = vec3(m.field("position"));
    m_settings.cameraUp = vec3(m.field("up"));
    m_settings.cameraAnimate = m.field("animate").toBool();
    m_settings.cameraOrthographic = m.field("orthographic").toBool();
    m_settings.fieldOfView = m.field("fieldOfView").toFloat();
    m_settings.aspectRatio = m.field("aspectRatio").toFloat();
    m_settings.cameraViewIndex = m.field("viewIndex").toInt();
    m_settings.cameraFlags = m.field("flags").toInt();
    m_settings.cameraName = str(m.field("name"));
    m_orbitActive = false;
    m_viewMoved = true;
    sceneChanged();
}

void zalViewerApplication::onSetNavigationType(const XoRemoteRenderMessage& m)
{
    m_settings.navigationType = m.field("type").toInt();
}

void zalViewerApplication::onSetNavigationSpeed(const XoRemoteRenderMessage& m)
{
    m_settings.navigationSpeed = m.field("speed").toInt();
}

void zalViewerApplication::onSetSunByPos(const XoRemoteRenderMessage& m)
{
    m_settings.sunMode = QStringLiteral("position");
    m_settings.sunNorthOffset = m.field("northOffset").toInt();
    m_settings.sunAzimuth = m.field("azimuth").toFloat();
    m_settings.sunElevation = m.field("elevation").toFloat();
    sceneChanged();
}

void zalViewerApplication::onSetSunByTime(const XoRemoteRenderMessage& m)
{
    m_settings.sunMode = QStringLiteral("time");
    m_settings.sunNorthOffset = m.field("northOffset").toInt();
    m_settings.sunLatitude = m.field("latitude").toFloat();
    m_settings.sunLongitude = m.field("longitude").toFloat();
    m_settings.sunYear = m.field("year").toInt();
    m_settings.sunMonth = m.field("month").toInt();
    m_settings.sunDay = m.field("day").toInt();
    m_settings.sunSolarTime = m.field("solarTime").toFloat();
    sceneChanged();
}

void zalViewerApplication::onSetToneMapper(const XoRemoteRenderMessage& m)
{
    m_settings.toneMapperSet = true;
    m_settings.exposure = m.field("exposure").toFloat();
    m_settings.contrast = m.field("contrast").toFloat();
    m_settings.saturation = m.field("saturation").toFloat();
    m_settings.autoExposure = m.field("autoExposure").toBool();
    m_settings.gamma = m.field("gamma").toFloat();
    sceneChanged();
}

void zalViewerApplication::onTakePicture(const XoRemoteRenderMessage& m)
{
    writeScreenshot(QSize(m.field("width").toInt(), m.field("height").toInt()), str(m.field("path")));
}

void zalViewerApplication::onInputEvent(const XoRemoteRenderMessage& m)
{
    input(m.field("type").toInt(), m.field("a").toInt(), m.field("x").toInt(), m.field("y").toInt());
}

void zalViewerApplication::onSendMessage(const XoRemoteRenderMessage& m)
{
    const std::string name(m.field("name").text());
    m_settings.messages << QString::fromStdString(name);
    if (name == "zal.Ping") {
        const XoMessageField& data = m.field("data");
        reply(
            XoRemoteRenderMessage(Type::ViewerMessage).addString("zal.Pong").addBytes(data.data, data.size));
    } else {
        qInfo().noquote() << "zalViewer: message" << QString::fromStdString(name) << "ignored";
    }
}

void zalViewerApplication::onRenderExit(const XoRemoteRenderMessage&)
{
    reply(XoRemoteRenderMessage(Type::ViewerExiting));
    emit finished(0);
}

void zalViewerApplication::onSaveData(const XoRemoteRenderMessage&)
{
    const QString file = inWorkingFolder(QStringLiteral("zalViewerSavedScene.json"));
    if (dumpScene(file)) reply(XoRemoteRenderMessage(Type::DataSaved).addString(file.toStdString()));
}

void zalViewerApplication::onSetRenderPaused(const XoRemoteRenderMessage& m)
{
    m_settings.renderPaused = m.field("paused").toBool();
    if (!m_settings.renderPaused) sceneChanged();
}

void zalViewerApplication::onEnableVR(const XoRemoteRenderMessage& m)
{
    m_settings.vr = m.field("enabled").toBool();
}

void zalViewerApplication::applyContent(const std::shared_ptr<const XoRemoteRenderMessage>& message)
{
    std::vector<zalViewerScene::Key> lost;
    QStringList errors;
    m_scene.apply(message, lost, errors);
    reportLost(lost, errors);
    if (message->type() == Type::AddFile) {
        const QString name = str(message->field("name"));
        const QString path = str(message->field("path"));
        const bool exists = QFileInfo(path).isFile();
        m_scene.setFileLoaded(name, exists);
        if (exists) {
            const std::int32_t done = 100;
            reply(
                XoRemoteRenderMessage(Type::ModelLoadingProgress).addString(name.toStdString()).addInt(done));
            reply(XoRemoteRenderMessage(Type::ModelLoaded).addString(name.toStdString()));
        } else {
            reportError(6, QStringLiteral("file %1 not found").arg(path));
        }
    }
    sceneChanged();
}

void zalViewerApplication::executeConsole(const QString& line)
{
    const int pathTracing = m_settings.pathTracing;
    const int unknown = m_settings.unknownCommands.size();
    const QStringList highlighted = m_settings.highlighted;
    const zalViewerConsole::Action action = m_console.execute(line);
    // The outline changes on the frame shown; nothing is drawn again (a traced picture keeps gathering).
    if (highlighted != m_settings.highlighted && m_window && !m_shownFrame.isNull())
        present(m_shownFrame, m_shownView);
    // The host shows it to whoever typed the line.
    if (m_settings.unknownCommands.size() > unknown)
        reportError(8, QStringLiteral("unknown console command: %1").arg(line));
    switch (action.kind) {
    case zalViewerConsole::Action::None:
        // Path tracing switched, or a setting that may change the traced picture (the sun, the
        // post-process, the game time): the window starts gathering again.
        if (pathTracing != m_settings.pathTracing || m_settings.pathTracing) sceneChanged();
        break;
    case zalViewerConsole::Action::Screenshot: {
        QSize size = action.size;
        if (size.isEmpty()) {
            const QSize base = m_window ? m_window->size() : m_options.rectangle.size();
            size = base * std::max(action.multiplier, 1);
        }
        QString path = action.path;
        if (path.isEmpty()) {
            path = inWorkingFolder(QStringLiteral("Screenshots/HighresScreenshot%1.png")
                                       .arg(m_settings.screenshots.size(), 5, 10, QLatin1Char('0')));
        }
        // The picture waits the requested frames, so that path tracing gathers its samples; the
        // path tracer gathers them in the shot itself, at the state the shot was asked in.
        const int frames = m_settings.pathTracing ? 0 : zalViewerScreenshotDelayFrames(m_settings);
        if (frames > 0)
            QTimer::singleShot(frames * kFrameDelayMs, this,
                               [this, size, path] { writeScreenshot(size, path); });
        else
            writeScreenshot(size, path);
        break;
    }
    case zalViewerConsole::Action::DumpScene:
        dumpScene(action.path);
        break;
    case zalViewerConsole::Action::ReportMemory:
        reportMemory();
        break;
    case zalViewerConsole::Action::SaveWindow: {
        // What the window shows now: a pending redraw is drawn first, so the file is current.
        presentFrame(true);
        if (m_frameTimer.isActive() || m_redrawAfterPending || !m_window || m_window->frame().isNull()) {
            m_frameTimer.stop();
            m_redrawAfterPending = false;
            drawFrame();
            presentFrame(true);
        }
        QSaveFile file(action.path);
        if (!m_window || m_window->frame().isNull() || !file.open(QIODevice::WriteOnly) ||
            !m_window->frame().save(&file, "PNG") || !file.commit())
            reportError(3, QStringLiteral("zal.SaveWindow: no frame written to %1").arg(action.path));
        break;
    }
    case zalViewerConsole::Action::DropEntity: {
        // Playing the engine losing an actor: the host hears about it and sends it again.
        std::vector<zalViewerScene::Key> owners;
        for (const auto& e : m_scene.instances())
            if (e.first.name == action.name) owners.push_back(e.first);
        for (const auto& e : m_scene.meshes())
            if (e.first.name == action.name) owners.push_back(e.first);
        for (const auto& e : m_scene.lights())
            if (e.first.name == action.name) owners.push_back(e.first);
        for (const auto& e : m_scene.spawns())
            if (e.first.name == action.name) owners.push_back(e.first);
        if (m_scene.materials().count(action.name) || m_scene.components().count(action.name))
            owners.push_back({action.name, QString()});
        if (!m_scene.drop(action.name)) {
            qWarning().noquote() << "zalViewer: zal.DropEntity: no entity" << action.name;
            break;
        }
        reportLost(owners, QStringList());
        sceneChanged();
        break;
    }
    case zalViewerConsole::Action::Quit:
        reply(XoRemoteRenderMessage(Type::ViewerExiting));
        emit finished(0);
        break;
    }
}

void zalViewerApplication::input(int type, int a, int x, int y)
{
    ++m_settings.inputCount;
    m_settings.lastInputs.push_back(QJsonObject{{"type", type}, {"a", a}, {"x", x}, {"y", y}});
    while (int(m_settings.lastInputs.size()) > kInputsKept)
        m_settings.lastInputs.pop_front();
    if (type == 11) {
        // The host's widget closes: stop drawing until told otherwise.
        m_settings.renderPaused = true;
        return;
    }
    // Navigation type 2 leaves the camera to the host.
    if (m_settings.navigationType == 2) return;
    if (!m_orbitActive) {
        m_orbit = m_renderer.view(m_scene, m_settings);
        m_orbitActive = true;
    }
    if (type == 3 || type == 5 || type == 7) {
        m_dragging = true;
        m_lastPointer = QPoint(x, y);
    } else if (type == 4 || type == 6 || type == 8) {
        m_dragging = false;
    } else if (type == 1 && m_dragging) {
        const QPoint delta = QPoint(x, y) - m_lastPointer;
        m_lastPointer = QPoint(x, y);
        QMatrix4x4 turn;
        turn.rotate(-delta.x() * 0.4f, m_orbit.up);
        const QVector3D offset = m_orbit.eye - m_orbit.target;
        const QVector3D side = QVector3D::crossProduct(offset, m_orbit.up).normalized();
        turn.rotate(delta.y() * 0.4f, side);
        m_orbit.eye = m_orbit.target + turn.map(offset);
        m_viewMoved = true;
        sceneChanged();
    } else if (type == 2) {
        const float factor = std::pow(0.9f, a / 120.0f);
        m_orbit.eye = m_orbit.target + (m_orbit.eye - m_orbit.target) * factor;
        m_viewMoved = true;
        sceneChanged();
    }
}

void zalViewerApplication::sceneChanged()
{
    if (!drawingFollows()) {
        // No frame or build step will read the changes for a while: the drawing takes them in now, once
        // per thing changed, so that edits that keep coming meanwhile do not pile up in the scene's log.
        m_renderer.takeChanges(m_scene);
        m_scene.forgetChanges(m_renderer.followedChanges());
    }
    if (m_window && !m_settings.renderPaused && !m_frameTimer.isActive()) m_frameTimer.start();
}

bool zalViewerApplication::drawingFollows() const
{
    return m_window && m_window->isExposed() && !m_settings.renderPaused && !m_settings.pathTracing &&
           !(m_renderer.isBuilding() && m_settings.drawingStepMs < 0);
}

// While a transaction comes in, the scene a frame would show is about to change, and the frame's drawing
// (the renderer's threads, the driver's, finishing the picture) takes the processor the stream needs: on two
// cores, half of what the viewer spends during a large refresh. So a frame waits for the transaction's end,
// which draws anyway; for at most zal.TransactionFrameHoldMs after its beginning, so that a transaction left
// open does not freeze the window. A frame for a view that moved does not wait, nor the window's first (the
// host's start-up batches keep a transaction open for its first second).
bool zalViewerApplication::holdFrame()
{
    if (!m_transactionOpen || m_viewMoved || m_settings.pathTracing || m_framesDrawn == 0) return false;
    const qint64 left = m_settings.transactionFrameHoldMs - m_transactionBegan.elapsed();
    if (left <= 0) return false;
    if (!m_heldFrame.isActive()) {
        m_heldFrame.start(int(left));
        ++m_framesHeld;
    }
    return true;
}

void zalViewerApplication::drawFrame()
{
    if (!m_window || !m_window->isExposed() || m_settings.renderPaused) return;
    if (holdFrame()) return;
    if (m_framePending) {
        // One frame at a time; the change that asked for this one is drawn next.
        m_redrawAfterPending = true;
        return;
    }
    if (!m_settings.pathTracing) {
        const bool building = m_renderer.isBuilding();
        if (building && m_settings.drawingStepMs < 0) return;
        // A large scene's first drawing is built in steps; the channel and the window are answered
        // in between.
        // A step ends early for waiting messages once it has made a small least share of the build, so
        // an edit made meanwhile is acknowledged soon and edits that keep coming cannot stall the build.
        const auto waiting = [this] { return m_channel && m_channel->hasWaiting(); };
        const bool ready = m_renderer.prepare(m_scene, std::max(m_settings.drawingStepMs, 0), waiting);
        // What the drawing has taken in is not kept until a frame: a long build with edits between its
        // steps would otherwise fill the log and have to start over.
        m_scene.forgetChanges(m_renderer.followedChanges());
        if (!ready) {
            // Messages and input are handled before the next step.
            m_buildStep.start();
            return;
        }
        if (building) {
            const zalViewerRenderer::Statistics stats = m_renderer.statistics();
            qInfo().noquote() << QStringLiteral(
                                     "zalViewer: drawing built in %1 steps over %2 ms, the longest %3 ms, "
                                     "%4 units of work")
                                     .arg(stats.buildSlices)
                                     .arg(stats.buildMs, 0, 'f', 1)
                                     .arg(stats.longestBuildSliceMs, 0, 'f', 1)
                                     .arg(stats.buildUnits);
        }
    }
    const zalViewerRenderer::View view = m_orbitActive ? m_orbit : m_renderer.view(m_scene, m_settings);
    if (m_settings.pathTracing) {
        const QImage frame = m_pathTrace->windowFrame(m_scene, m_settings, traceCamera(view), windowPixels());
        present(frame, view);
        ++m_framesDrawn;
        if (m_pathTrace->isGathering()) m_frameTimer.start();
        return;
    }
    QString error;
    if (!m_renderer.startFrame(m_scene, m_settings, view, windowPixels(), error)) {
        qWarning().noquote() << "zalViewer: frame:" << error;
        return;
    }
    m_framePending = true;
    m_pendingView = view;
    m_viewMoved = false;
    m_framePoll.start();
}

void zalViewerApplication::presentFrame(bool wait)
{
    if (!m_framePending || (!wait && !m_renderer.frameReady())) return;
    m_framePoll.stop();
    m_framePending = false;
    QString error;
    const QImage frame = m_renderer.takeFrame(error);
    m_scene.forgetChanges(m_renderer.followedChanges());
    if (m_redrawAfterPending) {
        m_redrawAfterPending = false;
        sceneChanged();
    }
    if (frame.isNull()) {
        qWarning().noquote() << "zalViewer: frame:" << error;
        return;
    }
    if (!m_window) return;
    present(frame, m_pendingView);
    ++m_framesDrawn;
    // Messages wait while a frame is prepared: after a slow frame the next one waits as long again,
    // so the channel keeps at least half of the time however slow drawing is.
    m_frameTimer.setInterval(std::clamp(int(m_renderer.statistics().frameMs), kFrameDelayMs, 2000));
}

void zalViewerApplication::present(const QImage& frame, const zalViewerRenderer::View& view)
{
    m_shownFrame = frame;
    m_shownView = view;
    QSet<QString> names;
    for (const QString& name : m_settings.highlighted)
        names.insert(name);
    QVector3D low, high;
    if (names.isEmpty() || frame.isNull() || !m_renderer.bounds(m_scene, &names, low, high)) {
        m_window->present(frame);
        return;
    }
    // The box around the selection, projected as the renderer's camera sees it (scene frame, the
    // field of view across the width or the height).
    const double aspect = double(frame.width()) / double(frame.height());
    double fov = view.fieldOfView;
    if (view.horizontal)
        fov = qRadiansToDegrees(2.0 * std::atan(std::tan(qDegreesToRadians(fov) * 0.5) / aspect));
    QMatrix4x4 camera;
    const float distance = (view.eye - view.target).length();
    if (view.orthographic) {
        const float half = distance * float(std::tan(qDegreesToRadians(double(view.fieldOfView)) * 0.5));
        const float w = view.horizontal ? half : half * float(aspect),
                    h = view.horizontal ? half / float(aspect) : half;
        camera.ortho(-w, w, -h, h, 1.0f, 1e9f);
    } else {
        camera.perspective(float(fov), float(aspect), 1.0f, 1e9f);
    }
    camera.lookAt(view.eye, view.target, view.up);
    QRectF outline;
    bool behind = false;
    for (int i = 0; i < 8; ++i) {
        const QVector4D corner(i & 1 ? high.x() : low.x(), i & 2 ? high.y() : low.y(),
                               i & 4 ? high.z() : low.z(), 1);
        const QVector4D clip = camera * corner;
        if (clip.w() <= 0) {
            behind = true;
            break;
        }
        const QPointF at((clip.x() / clip.w() + 1) * 0.5 * frame.width(),
                         (1 - clip.y() / clip.w()) * 0.5 * frame.height());
        outline = outline.isNull() ? QRectF(at, QSizeF(0.001, 0.001))
                                   : outline.united(QRectF(at, QSizeF(0.001, 0.001)));
    }
    QImage shown = frame;
    if (!behind) {
        QPainter painter(&shown);
        painter.setPen(QPen(QColor(255, 160, 40), 3));
        painter.drawRect(outline.adjusted(-4, -4, 4, 4));
    }
    m_window->present(shown);
}

bool zalViewerApplication::writeScreenshot(QSize size, const QString& path)
{
    if (m_settings.pathTracing) {
        if (size.width() <= 0 || size.height() <= 0 || size.width() > 16384 || size.height() > 16384) {
            reportError(3, QStringLiteral("HighResShot %1: image size %2x%3 is outside 1..16384")
                               .arg(path)
                               .arg(size.width())
                               .arg(size.height()));
            return false;
        }
        const zalViewerRenderer::View view = m_orbitActive ? m_orbit : m_renderer.view(m_scene, m_settings);
        const QImage image = m_pathTrace->still(m_scene, m_settings, traceCamera(view), size);
        const zalViewerPathTracer::Statistics& stats = m_pathTrace->statistics();
        qInfo().noquote() << QStringLiteral("zalViewer: path traced %1x%2: %3 rays in %4 s (%5 Mrays/s); "
                                            "%6 triangles in %7 placements, BVHs built in %8 s")
                                 .arg(size.width())
                                 .arg(size.height())
                                 .arg(double(stats.rays), 0, 'f', 0)
                                 .arg(stats.seconds, 0, 'f', 2)
                                 .arg(stats.seconds > 0 ? double(stats.rays) / stats.seconds * 1e-6 : 0.0, 0,
                                      'f', 2)
                                 .arg(double(stats.triangles), 0, 'f', 0)
                                 .arg(stats.placements)
                                 .arg(stats.buildSeconds, 0, 'f', 3);
        if (qEnvironmentVariableIsSet("ZAL_VIEWER_TRACE_CEILING")) {
            // For the benchmark: Embree's primary rays alone on the same scene and camera.
            const zalViewerPathTracer::Statistics primary = m_pathTrace->castPrimary(traceCamera(view), size);
            qInfo().noquote() << QStringLiteral("zalViewer: primary rays %1x%2: %3 rays in %4 s (%5 Mrays/s)")
                                     .arg(size.width())
                                     .arg(size.height())
                                     .arg(double(primary.rays), 0, 'f', 0)
                                     .arg(primary.seconds, 0, 'f', 3)
                                     .arg(primary.seconds > 0 ? double(primary.rays) / primary.seconds * 1e-6
                                                              : 0.0,
                                          0, 'f', 2);
        }
        return saveScreenshot(image, path);
    }
    // The same renderer, scene and camera as the window: only the size differs.
    presentFrame(true);
    const zalViewerRenderer::View view = m_orbitActive ? m_orbit : m_renderer.view(m_scene, m_settings);
    QString error;
    const QImage image = m_renderer.renderImage(m_scene, m_settings, view, size, error);
    if (image.isNull()) {
        reportError(3, QStringLiteral("HighResShot %1: %2").arg(path, error));
        return false;
    }
    const zalViewerRenderer::Statistics stats = m_renderer.statistics();
    QElapsedTimer writing;
    writing.start();
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Written under a temporary name and renamed, so a reader never sees half a file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        reportError(3, QStringLiteral("HighResShot: cannot write %1").arg(path));
        return false;
    }
    m_settings.screenshots << path;
    qInfo().noquote() << QStringLiteral("zalViewer: wrote %1 %2 x %3: frame %4 ms, file %5 ms, %6 triangles")
                             .arg(path)
                             .arg(image.width())
                             .arg(image.height())
                             .arg(stats.frameMs, 0, 'f', 1)
                             .arg(double(writing.nsecsElapsed()) / 1e6, 0, 'f', 1)
                             .arg(stats.triangles);
    return true;
}

bool zalViewerApplication::saveScreenshot(const QImage& image, const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Written under a temporary name and renamed, so a reader never sees half a file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        reportError(3, QStringLiteral("HighResShot: cannot write %1").arg(path));
        return false;
    }
    m_settings.screenshots << path;
    qInfo().noquote() << "zalViewer: wrote" << path << image.width() << "x" << image.height();
    return true;
}

QJsonObject zalViewerApplication::dump() const
{
    QJsonObject o = m_scene.toJson();
    o.insert("settings", m_settings.toJson());
    o.insert("transactions", QJsonObject{{"applied", m_transactionsApplied},
                                         {"last", m_lastTransaction},
                                         {"open", m_transactionOpen},
                                         {"contentOutside", double(m_contentOutsideTransactions)},
                                         {"pending", int(m_pending.size())}});
    o.insert("viewer",
             QJsonObject{{"headless", m_options.headless},
                         {"session", double(m_options.session)},
                         {"channel", m_options.channel},
                         {"workingFolder", m_options.workingFolder},
                         {"windowId", m_window ? double(m_window->winId()) : 0.0},
                         {"window", m_window ? QJsonValue(QJsonArray{m_window->x(), m_window->y(),
                                                                     m_window->width(), m_window->height()})
                                             : QJsonValue()},
                         {"frameless", m_window && m_window->flags().testFlag(Qt::FramelessWindowHint)},
                         {"windowVisible", m_window && m_window->isVisible()},
                         {"windowExposed", m_window && m_window->isExposed()},
                         {"messagesReceived", m_messagesReceived},
                         {"framesDrawn", m_framesDrawn},
                         {"framesHeld", m_framesHeld},
                         {"pathTraceSamples", m_pathTrace->windowSamples()}});
    const zalViewerRenderer::Statistics stats = m_renderer.statistics();
    o.insert("render", QJsonObject{{"triangles", double(stats.triangles)},
                                   {"renderables", stats.renderables},
                                   {"meshBuffers", stats.meshBuffers},
                                   {"materials", stats.materials},
                                   {"textures", stats.textures},
                                   {"frameMs", stats.frameMs},
                                   {"building", m_renderer.isBuilding()},
                                   {"buildSteps", stats.buildSlices},
                                   {"buildMs", stats.buildMs},
                                   {"buildUnits", double(stats.buildUnits)},
                                   {"mostUnitsBeforeAnswer", double(stats.mostUnitsBeforeAnswer)},
                                   {"buildsStarted", stats.buildsStarted},
                                   {"changesKept", double(m_scene.changesKept())},
                                   {"changesTakenIn", double(stats.changesTakenIn)},
                                   {"buildingSteps", stats.buildingSteps},
                                   {"buildingUnits", double(stats.buildingUnits)},
                                   {"buildsFinishedAtOnce", stats.buildsFinishedAtOnce}});
    return o;
}

void zalViewerApplication::reportMemory() const
{
    double residentMB = 0;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                residentMB = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    const struct mallinfo2 heap = ::mallinfo2();
    const double mb = 1024.0 * 1024.0;
    const zalViewerRenderer::Statistics stats = m_renderer.statistics();
    std::printf("zalViewer: memory: resident %.1f MB; malloc in use %.1f MB, free in its arenas %.1f MB, "
                "mapped blocks %.1f MB; scene %zu instances %zu meshes %zu materials %zu lights %zu spawns "
                "%zu components; "
                "renderer %d renderables %d mesh buffers %d materials %d textures; %d messages\n",
                residentMB, double(heap.uordblks) / mb, double(heap.fordblks) / mb, double(heap.hblkhd) / mb,
                m_scene.instances().size(), m_scene.meshes().size(), m_scene.materials().size(),
                m_scene.lights().size(), m_scene.spawns().size(), m_scene.components().size(),
                stats.renderables, stats.meshBuffers, stats.materials, stats.textures,
                int(m_messagesReceived));
    std::fflush(stdout);
}

void zalViewerApplication::trimHeap()
{
    // Edits free meshes, messages and frame buffers of every size in turn; glibc keeps the freed pages
    // inside its arenas (about 100 MB after 10,000 edits), which only malloc_trim hands back.
    if (m_sinceTrim.isValid() && m_sinceTrim.elapsed() < 1000) return;
    if (m_trimming) return;
    m_sinceTrim.start();
    if (m_trimmer.joinable()) m_trimmer.join();
    // Walking and trimming the heap after a large transaction took 300 ms: not on the GUI thread, which
    // has the transaction's first frame to build.
    m_trimming = true;
    m_trimmer = std::thread([this] {
        const struct mallinfo2 heap = ::mallinfo2();
        if (heap.fordblks > std::size_t(32) << 20 && heap.fordblks > heap.uordblks / 2) ::malloc_trim(0);
        m_trimming = false;
    });
}

bool zalViewerApplication::dumpScene(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(dump()).toJson()) < 0 ||
        !file.commit()) {
        reportError(7, QStringLiteral("cannot write the scene dump %1").arg(path));
        return false;
    }
    return true;
}
