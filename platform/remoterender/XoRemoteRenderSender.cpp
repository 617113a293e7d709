#include "XoRemoteRenderSender.h"

#include "XoInterProcessMessagesManager.h"
#include "XoInterProcessMessagesObserver.h"
#include "XoJson.h"
#include "XoLocalSocketMessagesManager.h"
#include "XoRemoteRenderMessage.h"
#include "XoRemoteRenderMonitor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QtDebug>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

std::mutex factoryMutex;
XoRemoteRenderSender::TransportFactory defaultFactory;
XoRemoteRenderMonitor* currentMonitor = nullptr; // GUI thread only

std::unique_ptr<XoInterProcessMessagesManager> makeDefaultTransport()
{
    {
        std::lock_guard<std::mutex> lock(factoryMutex);
        if (defaultFactory) return defaultFactory();
    }
    return std::make_unique<XoLocalSocketMessagesManager>();
}

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

const float* orIdentity(const float* transform)
{
    return transform ? transform : kIdentity;
}

std::string utf8(const wchar_t* text)
{
    return text ? QString::fromWCharArray(text).toStdString() : std::string();
}

const char* orEmpty(const char* text)
{
    return text ? text : "";
}

using PakCallback = void (*)(const wchar_t*, bool);

} // namespace

class XoRemoteRenderSenderPrivate : public XoInterProcessMessagesObserver
{
public:
    explicit XoRemoteRenderSenderPrivate(XoRemoteRenderSender* sender) : q(sender) {}

    // Runs `work` on the sender's thread at its next event-loop turn; dropped if the sender died.
    template <typename F> void toGui(F work)
    {
        QMetaObject::invokeMethod(context.get(), std::move(work), Qt::QueuedConnection);
    }

    void channelConnected() override
    {
        toGui([this] { q->onChannelConnected(); });
    }

    void messageReceived(const XoRemoteRenderMessage& message) override;

    void channelDisconnected() override
    {
        toGui([this] {
            q->onChannelDisconnected();
            viewerGone();
        });
    }

    void processExited(int exitCode) override
    {
        toGui([this, exitCode] {
            if (!announced) {
                const std::string text = "the viewer process ended with code " + std::to_string(exitCode) +
                                         " before it announced itself";
                q->onError(3, text.c_str());
            }
            announced = false;
            // A viewer that died before its channel closed still ends here.
            viewerGone();
            q->onRenderProcessExit(exitCode);
        });
    }

    void channelError(int code, const std::string& message) override
    {
        toGui([this, code, message] { q->onError(code, message.c_str()); });
    }

    void viewerGone()
    {
        if (!viewerStarted) return;
        viewerStarted = false;
        q->viewerEnded();
        q->onRenderExit();
    }

    XoRemoteRenderSender* q;
    std::unique_ptr<QObject> context = std::make_unique<QObject>();
    std::unique_ptr<XoInterProcessMessagesManager> transport;
    bool serverRunning = false;
    bool viewerStarted = false;
    bool announced = false; // the current process said it started
    bool exitLogged = true; // the session repeats onRenderExit after the library's own: log it once
    bool paused = false;
    bool viewerFault = false;              // the onError being delivered is the viewer's own report
    std::uint64_t transactionsApplied = 0; // acknowledgements seen on the sender's thread
    std::wstring workingFolder;
    long sessionKey = 0;

    // Callbacks run on the transport's thread, hence the lock.
    std::mutex callbackMutex;
    void (*windowHandleCallback)(const void*) = nullptr;
    std::map<std::wstring, std::vector<PakCallback>> pakCallbacks;
};

void XoRemoteRenderSenderPrivate::messageReceived(const XoRemoteRenderMessage& message)
{
    try {
        switch (message.type()) {
        case XoMessageType::WindowHandle: {
            const std::uint64_t handle = message.field("handle").toUInt64();
            q->onHandleRetrieved(&handle, sizeof handle);
            return;
        }
        case XoMessageType::PakMounted: {
            const std::wstring path =
                QString::fromUtf8(message.field("path").data, int(message.field("path").size)).toStdWString();
            XoPakMountedInfo info{path.c_str(), message.field("mounted").toBool()};
            q->onPakMounted(&info, sizeof info);
            return;
        }
        case XoMessageType::ViewerStarted:
            toGui([this] {
                viewerStarted = true;
                announced = true;
                exitLogged = false;
                q->onRenderInit();
            });
            return;
        case XoMessageType::EntityLost: {
            std::string name(message.field("name").text());
            std::string parent(message.field("parent").text());
            toGui([this, name, parent] { q->viewerReportedEntityLost(name, parent); });
            return;
        }
        case XoMessageType::TransactionApplied: {
            std::string name(message.field("name").text());
            toGui([this, name] {
                ++transactionsApplied;
                q->onTransactionApplied(name.c_str());
            });
            return;
        }
        case XoMessageType::DataSaved:
            toGui([this] { q->onRenderDataSaved(); });
            return;
        case XoMessageType::ViewerError: {
            const int code = message.field("code").toInt();
            std::string text(message.field("message").text());
            toGui([this, code, text] {
                viewerFault = true;
                q->onError(code, text.c_str());
                viewerFault = false;
            });
            return;
        }
        case XoMessageType::ViewerMessage: {
            std::string name(message.field("name").text());
            std::string data(message.field("data").text());
            toGui([this, name, data] { q->onMessage(name.c_str(), data.data(), long(data.size())); });
            return;
        }
        case XoMessageType::ModelLoaded: {
            std::string name(message.field("name").text());
            toGui([this, name] { q->onModelLoaded(name.data(), long(name.size())); });
            return;
        }
        case XoMessageType::ModelLoadingProgress: {
            const std::int32_t percent = message.field("percent").toInt();
            std::string data(reinterpret_cast<const char*>(&percent), sizeof percent);
            data += message.field("name").text();
            toGui([this, data] { q->onModelLoadingProgress(data.data(), long(data.size())); });
            return;
        }
        case XoMessageType::EnumAsset: {
            QJsonObject object;
            object.insert("pak",
                          QString::fromUtf8(message.field("pak").data, int(message.field("pak").size)));
            const QByteArray assets(message.field("assets").data, int(message.field("assets").size));
            object.insert("assets", xoParseJson(assets).array());
            const std::string data = QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
            toGui([this, data] { q->onEnumAsset(data.data(), long(data.size())); });
            return;
        }
        case XoMessageType::ViewerExiting:
            return; // the disconnection that follows ends the viewer
        default:
            break;
        }
    } catch (const std::out_of_range&) {
        // decode() checked the schema, so this only guards against a programming error.
    }
    const std::string text = std::string("unexpected message from the viewer: ") + message.name();
    qWarning().noquote() << "XoRemoteRender:" << QString::fromStdString(text);
    toGui([this, text] { q->onError(2, text.c_str()); });
}

// ---------------------------------------------------------------------------------------------

XoRemoteRenderSender::XoRemoteRenderSender() : XoRemoteRenderSender(makeDefaultTransport()) {}

XoRemoteRenderSender::XoRemoteRenderSender(std::unique_ptr<XoInterProcessMessagesManager> transport)
    : d(std::make_unique<XoRemoteRenderSenderPrivate>(this))
{
    d->transport = transport ? std::move(transport) : std::make_unique<XoLocalSocketMessagesManager>();
    d->transport->setObserver(d.get());
    d->serverRunning = d->transport->listen("s");
}

XoRemoteRenderSender::~XoRemoteRenderSender()
{
    closeChannel();
}

void XoRemoteRenderSender::closeChannel()
{
    if (d->transport) d->transport->close();
    d->serverRunning = false;
}

void XoRemoteRenderSender::setDefaultTransportFactory(TransportFactory factory)
{
    std::lock_guard<std::mutex> lock(factoryMutex);
    defaultFactory = std::move(factory);
}

bool XoRemoteRenderSender::isViewerStarted() const
{
    return d->viewerStarted;
}
bool XoRemoteRenderSender::isServerRunning() const
{
    return d->serverRunning && d->transport->isListening();
}
bool XoRemoteRenderSender::isProcessRunning() const
{
    return d->transport->isProcessRunning();
}
bool XoRemoteRenderSender::isPaused() const
{
    return d->paused;
}
std::uint64_t XoRemoteRenderSender::transactionsApplied() const
{
    return d->transactionsApplied;
}

std::string XoRemoteRenderSender::channelName() const
{
    return d->transport->channelName();
}
XoInterProcessMessagesManager* XoRemoteRenderSender::transport() const
{
    return d->transport.get();
}

void XoRemoteRenderSender::setMonitor(XoRemoteRenderMonitor* monitor)
{
    currentMonitor = monitor;
}

XoRemoteRenderMonitor* XoRemoteRenderSender::monitor()
{
    return currentMonitor;
}

void XoRemoteRenderSender::reportContentSent(std::uint64_t entities, std::uint64_t triangles)
{
    if (currentMonitor) currentMonitor->contentSent(d->sessionKey, entities, triangles);
}

void XoRemoteRenderSender::setProcessContext(const std::wstring& workingFolder, long sessionKey)
{
    d->workingFolder = workingFolder;
    d->sessionKey = sessionKey;
}

bool XoRemoteRenderSender::post(const XoRemoteRenderMessage& message)
{
    Q_ASSERT(message.matchesSchema());
    return d->transport->send(message);
}

void XoRemoteRenderSender::viewerEnded() {}

void XoRemoteRenderSender::viewerReportedEntityLost(const std::string& name, const std::string& parent)
{
    qDebug().noquote() << "XoRemoteRender: the viewer lost" << QString::fromStdString(name) << "under"
                       << QString::fromStdString(parent);
}

bool XoRemoteRenderSender::startRender(const wchar_t* executable, int x, int y, int width, int height,
                                       bool vr)
{
    XoRenderProcessRequest request;
    request.executable = executable ? executable : L"";
    request.workingFolder = d->workingFolder;
    request.channel = channelName();
    request.sessionKey = d->sessionKey;
    request.hasRectangle = true;
    request.x = x;
    request.y = y;
    request.width = width;
    request.height = height;
    request.vr = vr;
    return d->transport->startProcess(request);
}

bool XoRemoteRenderSender::startRender(const wchar_t* executable, bool vr)
{
    XoRenderProcessRequest request;
    request.executable = executable ? executable : L"";
    request.workingFolder = d->workingFolder;
    request.channel = channelName();
    request.sessionKey = d->sessionKey;
    request.vr = vr;
    return d->transport->startProcess(request);
}

void XoRemoteRenderSender::requestRenderExit()
{
    post(XoRemoteRenderMessage(XoMessageType::RequestRenderExit));
}

void XoRemoteRenderSender::requestSaveData()
{
    post(XoRemoteRenderMessage(XoMessageType::RequestSaveData));
}

void XoRemoteRenderSender::setRenderPaused(bool paused)
{
    d->paused = paused;
    post(XoRemoteRenderMessage(XoMessageType::SetRenderPaused).addBool(paused));
}

void XoRemoteRenderSender::enableVR(bool enabled)
{
    post(XoRemoteRenderMessage(XoMessageType::EnableVR).addBool(enabled));
}

void XoRemoteRenderSender::getWindowHandle(void (*callback)(const void*))
{
    {
        std::lock_guard<std::mutex> lock(d->callbackMutex);
        d->windowHandleCallback = callback;
    }
    post(XoRemoteRenderMessage(XoMessageType::GetWindowHandle));
}

void XoRemoteRenderSender::mountExternalPak(const wchar_t* pakPath, void (*callback)(const wchar_t*, bool))
{
    const std::wstring path = pakPath ? pakPath : L"";
    {
        std::lock_guard<std::mutex> lock(d->callbackMutex);
        d->pakCallbacks[path].push_back(callback);
    }
    post(XoRemoteRenderMessage(XoMessageType::MountExternalPak).addString(utf8(path.c_str())));
}

void XoRemoteRenderSender::setAssetTransform(const char* name, const float* transform)
{
    post(XoRemoteRenderMessage(XoMessageType::SetAssetTransform)
             .addString(orEmpty(name))
             .addFloatArray(orIdentity(transform), 16));
}

void XoRemoteRenderSender::placeAsset(const char* name, const char* parent, const char* asset,
                                      const float* transform)
{
    post(XoRemoteRenderMessage(XoMessageType::PlaceAsset)
             .addString(orEmpty(name))
             .addString(orEmpty(parent))
             .addString(orEmpty(asset))
             .addFloatArray(orIdentity(transform), 16));
}

void XoRemoteRenderSender::setAssetVisible(const char* name, bool visible)
{
    post(XoRemoteRenderMessage(XoMessageType::SetAssetVisible).addString(orEmpty(name)).addBool(visible));
}

void XoRemoteRenderSender::addFile(const char* name, const char* parent, const wchar_t* path,
                                   const float* transform)
{
    post(XoRemoteRenderMessage(XoMessageType::AddFile)
             .addString(orEmpty(name))
             .addString(orEmpty(parent))
             .addString(utf8(path))
             .addFloatArray(orIdentity(transform), 16));
}

void XoRemoteRenderSender::setFileTransform(const char* name, const float* transform)
{
    post(XoRemoteRenderMessage(XoMessageType::SetFileTransform)
             .addString(orEmpty(name))
             .addFloatArray(orIdentity(transform), 16));
}

void XoRemoteRenderSender::setFileVisible(const char* name, bool visible)
{
    post(XoRemoteRenderMessage(XoMessageType::SetFileVisible).addString(orEmpty(name)).addBool(visible));
}

void XoRemoteRenderSender::enumExternalContents(const wchar_t* pakPath)
{
    post(XoRemoteRenderMessage(XoMessageType::EnumExternalContents).addString(utf8(pakPath)));
}

void XoRemoteRenderSender::setCamera(float aimX, float aimY, float aimZ, float positionX, float positionY,
                                     float positionZ, float upX, float upY, float upZ, bool animate,
                                     bool orthographic, float fieldOfView, float aspectRatio, int viewIndex,
                                     int flags, const char* name)
{
    const float aim[3] = {aimX, aimY, aimZ};
    const float position[3] = {positionX, positionY, positionZ};
    const float up[3] = {upX, upY, upZ};
    post(XoRemoteRenderMessage(XoMessageType::SetCamera)
             .addFloatArray(aim, 3)
             .addFloatArray(position, 3)
             .addFloatArray(up, 3)
             .addBool(animate)
             .addBool(orthographic)
             .addFloat(fieldOfView)
             .addFloat(aspectRatio)
             .addInt(viewIndex)
             .addInt(flags)
             .addString(orEmpty(name)));
}

void XoRemoteRenderSender::setNavigationType(UnrealNavigationType type)
{
    post(XoRemoteRenderMessage(XoMessageType::SetNavigationType).addInt(int(type)));
}

void XoRemoteRenderSender::setNavigationSpeed(int speed)
{
    post(XoRemoteRenderMessage(XoMessageType::SetNavigationSpeed).addInt(speed));
}

void XoRemoteRenderSender::setSunByPos(int northOffset, float azimuth, float elevation)
{
    post(XoRemoteRenderMessage(XoMessageType::SetSunByPos)
             .addInt(northOffset)
             .addFloat(azimuth)
             .addFloat(elevation));
}

void XoRemoteRenderSender::setSunByTime(int northOffset, float latitude, float longitude, int year, int month,
                                        int day, float solarTime)
{
    post(XoRemoteRenderMessage(XoMessageType::SetSunByTime)
             .addInt(northOffset)
             .addFloat(latitude)
             .addFloat(longitude)
             .addInt(year)
             .addInt(month)
             .addInt(day)
             .addFloat(solarTime));
}

void XoRemoteRenderSender::setToneMapper(float exposure, float contrast, float saturation, bool autoExposure,
                                         float gamma)
{
    post(XoRemoteRenderMessage(XoMessageType::SetToneMapper)
             .addFloat(exposure)
             .addFloat(contrast)
             .addFloat(saturation)
             .addBool(autoExposure)
             .addFloat(gamma));
}

void XoRemoteRenderSender::takePicture(const wchar_t* path, int width, int height)
{
    post(
        XoRemoteRenderMessage(XoMessageType::TakePicture).addString(utf8(path)).addInt(width).addInt(height));
}

void XoRemoteRenderSender::sendInputEvent(XoInputEvent event)
{
    post(XoRemoteRenderMessage(XoMessageType::SendInputEvent)
             .addInt(event.type)
             .addInt(event.a)
             .addInt(event.x)
             .addInt(event.y));
}

void XoRemoteRenderSender::sendConsoleCommand(const QString& command)
{
    post(XoRemoteRenderMessage(XoMessageType::SendConsoleCommand).addString(command.toStdString()));
}

void XoRemoteRenderSender::sendMessage(const char* name, const void* data, long size)
{
    post(XoRemoteRenderMessage(XoMessageType::SendMessage)
             .addString(orEmpty(name))
             .addBytes(data, size > 0 ? std::size_t(size) : 0));
}

void XoRemoteRenderSender::onRenderInit()
{
    qDebug() << "XoRemoteRender: viewer started on" << channelName().c_str();
}

void XoRemoteRenderSender::onRenderExit()
{
    if (d->exitLogged) return;
    d->exitLogged = true;
    qDebug() << "XoRemoteRender: viewer ended";
}

void XoRemoteRenderSender::onRenderDataSaved()
{
    qDebug() << "XoRemoteRender: viewer saved its data";
}

void XoRemoteRenderSender::onChannelConnected() {}

void XoRemoteRenderSender::onChannelDisconnected() {}

void XoRemoteRenderSender::onError(int code, const char* message)
{
    qWarning() << "XoRemoteRender: error" << code << message;
    if (d->viewerFault && currentMonitor) currentMonitor->viewerReported(d->sessionKey, code, message);
}

void XoRemoteRenderSender::onMessage(const char*, const void*, long) {}

void XoRemoteRenderSender::onModelLoaded(const void*, long) {}

void XoRemoteRenderSender::onModelLoadingProgress(const void*, long) {}

void XoRemoteRenderSender::onHandleRetrieved(const void* data, long size)
{
    if (!data || size != long(sizeof(std::uint64_t))) return;
    std::uint64_t handle = 0;
    std::memcpy(&handle, data, sizeof handle);
    void (*callback)(const void*) = nullptr;
    {
        std::lock_guard<std::mutex> lock(d->callbackMutex);
        callback = d->windowHandleCallback;
    }
    if (callback) callback(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(handle)));
}

void XoRemoteRenderSender::onEnumAsset(const void*, long) {}

void XoRemoteRenderSender::onPakMounted(const void* data, long size)
{
    if (!data || size != long(sizeof(XoPakMountedInfo))) return;
    const XoPakMountedInfo* info = static_cast<const XoPakMountedInfo*>(data);
    std::vector<PakCallback> callbacks;
    {
        std::lock_guard<std::mutex> lock(d->callbackMutex);
        auto it = d->pakCallbacks.find(info->path ? info->path : L"");
        if (it != d->pakCallbacks.end()) {
            callbacks = std::move(it->second);
            d->pakCallbacks.erase(it);
        }
    }
    // Called without the lock: a callback may mount the next pak.
    for (PakCallback callback : callbacks) {
        if (callback) callback(info->path, info->mounted);
    }
}

void XoRemoteRenderSender::onRenderProcessExit(int exitCode)
{
    qDebug() << "XoRemoteRender: viewer process ended with" << exitCode;
}

void XoRemoteRenderSender::onTransactionApplied(const char*) {}

XoRemoteRenderMonitor::~XoRemoteRenderMonitor() = default;

void XoRemoteRenderMonitor::contentSent(long, std::uint64_t, std::uint64_t) {}

void XoRemoteRenderMonitor::viewerReported(long, int, const char*) {}
