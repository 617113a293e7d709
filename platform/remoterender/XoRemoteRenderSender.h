#pragma once

#include "XoInputEvent.h"
#include "XoInterProcessMessagesManager.h"
#include "XoRemoteRenderExport.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class XoRemoteRenderMessage;
class XoRemoteRenderSenderPrivate;

// How the viewer's camera is driven: 0 and 1 by the viewer's own navigation, 2 by the host.
enum UnrealNavigationType : int
{
    UnrealNavigationOrbit = 0,
    UnrealNavigationFly = 1,
    UnrealNavigationHost = 2,
};

// One channel to one viewer process. Created and destroyed on the GUI thread; every operation
// runs there, in call order. The sender owns its transport.
//
// Notifications arrive as virtual calls on the thread that created the sender (through its event
// loop), except onHandleRetrieved and onPakMounted, which run on the transport's own thread and
// call the window-handle and pak-mounted callbacks from there.
class XOREMOTERENDER_EXPORT XoRemoteRenderSender
{
public:
    using TransportFactory = std::function<std::unique_ptr<XoInterProcessMessagesManager>()>;

    // Listens on a new Unix-socket channel (or on what the default factory makes, see below).
    XoRemoteRenderSender();
    // Listens through `transport`.
    explicit XoRemoteRenderSender(std::unique_ptr<XoInterProcessMessagesManager> transport);
    virtual ~XoRemoteRenderSender();

    XoRemoteRenderSender(const XoRemoteRenderSender&) = delete;
    XoRemoteRenderSender& operator=(const XoRemoteRenderSender&) = delete;

    // Process-wide: senders built without a transport use this factory from now on (tests install
    // a recording transport this way); an empty factory restores the Unix-socket transport.
    static void setDefaultTransportFactory(TransportFactory factory);

    // State
    bool isViewerStarted() const; // a viewer announced itself and has not ended since
    bool isServerRunning() const; // the channel listens
    // The channel listens and a viewer announced itself: what may be sent to now.
    bool isViewerReachable() const { return isServerRunning() && isViewerStarted(); }
    // The same for a sender that may be null.
    static bool isReachable(const XoRemoteRenderSender* sender)
    {
        return sender && sender->isViewerReachable();
    }
    bool isProcessRunning() const; // the viewer process this sender started is alive
    bool isPaused() const;         // the last setRenderPaused
    // Transactions the viewer has applied and acknowledged, as delivered on the sender's thread.
    std::uint64_t transactionsApplied() const;
    std::string channelName() const;
    XoInterProcessMessagesManager* transport() const;

    // Process. The rectangle is the viewer window's in screen pixels; `vr` starts it for VR.
    bool startRender(const wchar_t* executable, int x, int y, int width, int height, bool vr);
    bool startRender(const wchar_t* executable, bool vr);
    void requestRenderExit();
    void requestSaveData();
    void setRenderPaused(bool paused);
    void enableVR(bool enabled);
    // Asks the viewer for its native window id; `callback` receives it on the transport's thread.
    void getWindowHandle(void (*callback)(const void* handle));

    // Assets and files. Transforms are 16 floats in row order (translation in 3, 7, 11); null
    // sends the identity. `callback` (may be null) receives the pak path and whether it mounted,
    // on the transport's thread.
    void mountExternalPak(const wchar_t* pakPath, void (*callback)(const wchar_t* pakPath, bool mounted));
    void setAssetTransform(const char* name, const float* transform);
    void placeAsset(const char* name, const char* parent, const char* asset, const float* transform);
    void setAssetVisible(const char* name, bool visible);
    void addFile(const char* name, const char* parent, const wchar_t* path, const float* transform);
    void setFileTransform(const char* name, const float* transform);
    void setFileVisible(const char* name, bool visible);
    void enumExternalContents(const wchar_t* pakPath);

    // View and look
    void setCamera(float aimX, float aimY, float aimZ, float positionX, float positionY, float positionZ,
                   float upX, float upY, float upZ, bool animate, bool orthographic, float fieldOfView,
                   float aspectRatio, int viewIndex, int flags, const char* name);
    void setNavigationType(UnrealNavigationType type);
    void setNavigationSpeed(int speed);
    void setSunByPos(int northOffset, float azimuth, float elevation);
    void setSunByTime(int northOffset, float latitude, float longitude, int year, int month, int day,
                      float solarTime);
    void setToneMapper(float exposure, float contrast, float saturation, bool autoExposure, float gamma);
    void takePicture(const wchar_t* path, int width, int height);
    void sendInputEvent(XoInputEvent event);
    // One viewer console line, executed as written.
    void sendConsoleCommand(const QString& command);
    void sendMessage(const char* name, const void* data, long size);

    // Notifications. The base versions log and keep the library's behaviour; overrides call them.
    virtual void onRenderInit();
    virtual void onRenderExit();
    virtual void onRenderDataSaved();
    virtual void onChannelConnected();
    virtual void onChannelDisconnected();
    virtual void onError(int code, const char* message);
    // A message from the viewer: its name and bytes. The viewer answers "zal.Ping" with "zal.Pong".
    virtual void onMessage(const char* name, const void* data, long size);
    // data: UTF-8 file entity name; size: its byte count.
    virtual void onModelLoaded(const void* data, long size);
    // data: an int percentage followed by the UTF-8 name; size: total bytes.
    virtual void onModelLoadingProgress(const void* data, long size);
    // Transport thread. data: the 64-bit native window id; size 8. Calls the getWindowHandle callback.
    virtual void onHandleRetrieved(const void* data, long size);
    // data: a UTF-8 JSON object {"pak": path, "assets": [names]}; size: its byte count.
    virtual void onEnumAsset(const void* data, long size);
    // Transport thread. data: an XoPakMountedInfo; size: its size. Calls the mount callbacks.
    virtual void onPakMounted(const void* data, long size);
    virtual void onRenderProcessExit(int exitCode);
    // The viewer applied a transaction (not a notification the callers need; benchmarks use it).
    virtual void onTransactionApplied(const char* name);

    // Ends the channel: no notification or callback arrives after this returns. The destructor
    // does it; a subclass that overrides onHandleRetrieved or onPakMounted calls it in its own.
    void closeChannel();

protected:
    // The viewer is started with this working folder and session key (the flattener sets them).
    void setProcessContext(const std::wstring& workingFolder, long sessionKey);
    // For the flattener: sends one built message through the transport.
    bool post(const XoRemoteRenderMessage& message);
    // For the flattener: called on the GUI thread before the matching virtual.
    virtual void viewerEnded();
    virtual void viewerReportedEntityLost(const std::string& name, const std::string& parent);

private:
    friend class XoRemoteRenderSenderPrivate;
    std::unique_ptr<XoRemoteRenderSenderPrivate> d;
};

// What onPakMounted receives.
struct XoPakMountedInfo
{
    const wchar_t* path;
    bool mounted;
};
