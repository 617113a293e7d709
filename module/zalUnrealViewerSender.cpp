#include "module/zalUnrealViewerSender.h"
#include "module/zalSessionRegistry.h"

#include "module/zalDbUnrealRenderSession.h"
#include "module/zalModuleContext.h"
#include "module/zalUnrealRenderModule.h"
#include "translate/zalUnrealMaterialTranslator.h"

#include "IzalAppProps.h"
#include "IzalApplication.h"
#include "IzalProjectManager.h"

#include "OdString.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QMutexLocker>

#include <cstdint>

namespace {

const char* const kUe5Base = "/zalUnrealViewerResources/UE5/zalViewer/Binaries/Win64/zalViewer";
const char* const kUe4Base = "/zalUnrealViewerResources/UE4/zalViewer/Binaries/Win64/zalViewer";
// A developer's own viewer build, tried first for the version 55.
const char* const kDeveloperBuild = "/build/zalViewer/Binaries/Win64/zalViewer-Win64-DebugGame.exe";

// The two nature packs of the asset library mounted for every fresh viewer: package folder and pak.
const char* const kNaturePacks[2][2] = {{"NaturePackTrees", "NaturePackTrees.pak"},
                                        {"NaturePackGround", "NaturePackGround.pak"}};

int ueVersion(int defaultValue)
{
    IzalAppProps* props = zalService<IzalAppProps>(IzalAppProps_id);
    return props ? props->intVariable(OdString(L"Vars/UEVersion"), defaultValue) : defaultValue;
}

bool exists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

std::wstring projectWorkingFolder(zalDbUnrealRenderSession* session)
{
    zalModuleContext* context = session ? session->context() : nullptr;
    IzalProjectManager* projects = context ? context->projectManager() : nullptr;
    OdDbDatabase* db = session ? session->database() : nullptr;
    if (!projects || !db) return std::wstring();
    return projects->projectFolder(IzalProjectManager::kRemoteRender, db, true).toStdWString();
}

long databaseKey(zalDbUnrealRenderSession* session)
{
    const auto address = reinterpret_cast<std::uintptr_t>(session ? session->database() : nullptr);
    return long(std::uint32_t(address & 0xFFFFFFFFu));
}

// Maps are baked from the parameter string the material translation sent with the material.
std::string materialMapParameters(const std::string& materialName)
{
    return zalUnrealMaterialTranslator::materialParameters(materialName);
}

} // namespace

zalUnrealViewerSender::zalUnrealViewerSender(zalDbUnrealRenderSession* session)
    : XoRemoteRenderSenderFlattener(projectWorkingFolder(session), materialMapParameters,
                                    databaseKey(session),
                                    [session](const std::string& idString) {
                                        if (session) session->refreshEntity(idString);
                                    }),
      m_session(session)
{
}

zalUnrealViewerSender::~zalUnrealViewerSender()
{
    // No notification may reach this half-destroyed object.
    closeChannel();
    QMutexLocker lock(&zalSessionRegistry::instance().windowHandleMutex());
    // A session never waits for a handle its own sender can no longer deliver.
    zalSessionRegistry::instance().windowHandleWaitList().removeAll(m_session);
}

void zalUnrealViewerSender::onRenderInit()
{
    XoRemoteRenderSenderFlattener::onRenderInit();
    {
        QMutexLocker lock(&zalSessionRegistry::instance().windowHandleMutex());
        zalSessionRegistry::instance().windowHandleWaitList().append(m_session);
    }
    // Asked outside the lock: the answer may arrive on the channel's thread before this returns.
    getWindowHandle(&zalUnrealViewerSender::windowHandleCallback);
}

void zalUnrealViewerSender::onRenderExit()
{
    XoRemoteRenderSenderFlattener::onRenderExit();
    if (m_session) m_session->setViewerWindowHandle(nullptr);
}

void zalUnrealViewerSender::onRenderDataSaved()
{
    XoRemoteRenderSenderFlattener::onRenderDataSaved();
}

void zalUnrealViewerSender::windowHandleCallback(const void* handle)
{
    QMutexLocker lock(&zalSessionRegistry::instance().windowHandleMutex());
    QList<zalDbUnrealRenderSession*>& waiting = zalSessionRegistry::instance().windowHandleWaitList();
    if (waiting.isEmpty()) return;
    zalDbUnrealRenderSession* session = waiting.takeLast();
    session->storeViewerWindowHandle(const_cast<void*>(handle));
}

QStringList zalUnrealViewerSender::viewerExecutableCandidates(int ueVersion, const QString& applicationDir)
{
    QStringList candidates;
    if (ueVersion == 55) candidates << QString::fromLatin1(kDeveloperBuild);
    const QString dir = applicationDir.isEmpty() ? QCoreApplication::applicationDirPath() : applicationDir;
    candidates << dir + kUe5Base + "-Win64-Shipping.exe" << dir + kUe5Base + ".exe"
               << dir + kUe4Base + "-Win64-Shipping.exe" << dir + kUe4Base + ".exe";
    return candidates;
}

QString zalUnrealViewerSender::viewerExecutable(int ueVersion, bool* ue5Launched,
                                                const QString& applicationDir)
{
    // The search and the list are one: the first candidate that exists, else the last one.
    const QStringList candidates = viewerExecutableCandidates(ueVersion, applicationDir);
    const int developer = ueVersion == 55 ? 1 : 0;
    for (int i = 0; i < candidates.size(); ++i) {
        if (!exists(candidates.at(i))) continue;
        // The developer build says nothing about the generation.
        if (i >= developer && ue5Launched) *ue5Launched = i < developer + 2;
        return candidates.at(i);
    }
    if (ue5Launched) *ue5Launched = false;
    return candidates.last();
}

bool zalUnrealViewerSender::startViewer(int x, int y, int width, int height)
{
    if (isViewerStarted() || isProcessRunning()) return false;
    const int version = ueVersion(5);
    zalModuleContext* context = m_session ? m_session->context() : nullptr;
    bool ue5 = context && context->ue5ViewerLaunched();
    const QString path = viewerExecutable(version, &ue5);
    if (context) context->setUe5ViewerLaunched(ue5);
    qDebug() << "Starting viewer" << path;
    return startRender(path.toStdWString().c_str(), x, y, width, height, false);
}

void zalUnrealViewerSender::sendFirstCommands(bool widgetHidden)
{
    if (!isViewerReachable()) return;
    setToneMapper(1.0f, 1.0f, 1.0f, true, 1.0f);
    sendConsoleCommand(QStringLiteral("DisableAllScreenMessages"));
    sendConsoleCommand(QStringLiteral("spawneruseinstances 1"));
    zalModuleContext* context = m_session ? m_session->context() : nullptr;
    if (!context || !context->ue5ViewerLaunched())
        sendConsoleCommand(QStringLiteral("r.raytracing.ForceAllRayTracingEffects"));
    setRenderPaused(widgetHidden);
}

QStringList zalUnrealViewerSender::naturePackPaks() const
{
    const QString library = m_session ? m_session->assetsLibraryPath() : QString();
    QStringList paks;
    for (const auto& pack : kNaturePacks)
        paks << library + "/" + pack[0] + "/Resources/" + pack[1];
    return paks;
}

int zalUnrealViewerSender::mountNaturePacks()
{
    int mounted = 0;
    for (const QString& pak : naturePackPaks()) {
        if (!exists(pak)) continue;
        mountExternalPak(pak.toStdWString().c_str(), nullptr);
        ++mounted;
    }
    return mounted;
}

QString zalUnrealRenderModule::viewerVersion()
{
    switch (ueVersion(4)) {
    case 4:
        return QStringLiteral("4.27");
    case 5:
        return QStringLiteral("5.0EA");
    case 51:
        return QStringLiteral("5.1D");
    default:
        return QString();
    }
}

bool zalUnrealRenderModule::supportTessellation()
{
    return ueVersion(4) == 4;
}
