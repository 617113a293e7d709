#pragma once

#include "zalExport.h"

#include "XoRemoteRenderSenderFlattener.h"

#include <QString>
#include <QStringList>

class zalDbUnrealRenderSession;

// The channel of one render session to its viewer process. Owned by the session, which it
// points back to (not owned). Built on the GUI thread with the session's database set.
class ZAL_EXPORT zalUnrealViewerSender : public XoRemoteRenderSenderFlattener
{
public:
    explicit zalUnrealViewerSender(zalDbUnrealRenderSession* session);
    ~zalUnrealViewerSender() override;

    zalDbUnrealRenderSession* session() const { return m_session; }

    void onRenderInit() override;
    void onRenderExit() override;
    void onRenderDataSaved() override;

    // Starts the configured viewer over the screen rectangle unless one already runs or starts.
    // False when nothing was started.
    bool startViewer(int x, int y, int width, int height);
    // The executable the launcher picks for a "Vars/UEVersion" value under the application folder
    // (applicationDir, the running application's when empty); sets ue5Launched when it is a UE5
    // build. Never empty: the last candidate when none exists.
    static QString viewerExecutable(int ueVersion, bool* ue5Launched = nullptr,
                                    const QString& applicationDir = QString());
    // Every path the launcher may pick, in the order it tries them.
    static QStringList viewerExecutableCandidates(int ueVersion, const QString& applicationDir = QString());

    // What a fresh viewer gets 250 ms after its window is captured.
    void sendFirstCommands(bool widgetHidden);
    // The nature packs' pak files mounted at the first run (whether they exist or not).
    QStringList naturePackPaks() const;
    // Mounts the nature packs that exist; the number mounted.
    int mountNaturePacks();

    // Receives the viewer's window handle, possibly on the channel's thread.
    static void windowHandleCallback(const void* handle);

private:
    zalDbUnrealRenderSession* m_session;
};
