// The reference host with the render module loaded by name, started once per fuzz process: its
// files (variables, projects, material library) in the scratch folder, each viewer channel a
// recording transport that plays a started viewer.
#pragma once

#include "module/zalSessionRegistry.h"
#include "zalFuzzSupport.h"

#include "module/zalDbUnrealRenderSession.h"
#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"
#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostViewSystem.h"

#include "XoRecordingMessagesManager.h"
#include "XoRemoteRenderSender.h"

#include "DbDatabase.h"
#include "RxDynamicLinker.h"

#include <QDeadlineTimer>

#include <memory>

namespace zalFuzz {

struct ModuleHost
{
    zalHostApplication* host = nullptr;
    zalUnrealRenderModule* module = nullptr;
    OdDbDatabasePtr db;
    zalDbUnrealRenderSession* session = nullptr;
    XoRecordingMessagesManager* recorder = nullptr;
};

inline ModuleHost& moduleHost()
{
    static ModuleHost* started = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "zalfuzz";
        static char* argv[] = {name, nullptr};
        auto* h = new ModuleHost;
        zalHostOptions options;
        options.variablesFile = scratch().filePath(QStringLiteral("vars.ini"));
        options.temporaryRoot = scratch().filePath(QStringLiteral("projects"));
        options.materialLibraryRoot = scratch().filePath(QStringLiteral("materials"));
        h->host = new zalHostApplication(argc, argv, options);
        XoRemoteRenderSender::setDefaultTransportFactory([h] {
            h->recorder = new XoRecordingMessagesManager;
            return std::unique_ptr<XoInterProcessMessagesManager>(h->recorder);
        });
        if (odrxDynamicLinker()->loadModule(OdString(L"zalUnrealRenderModule.dll")).isNull()) abort();
        h->module = qobject_cast<zalUnrealRenderModule*>(h->host->service(IzalUnrealRenderModule_id));
        h->db = OdDbDatabase::createObject();
        h->host->addDocument(h->db.get());
        h->host->console()->setCurrentDatabase(h->db.get());
        h->host->viewSystem()->openView(QStringLiteral("UnrealRender"), h->db.get());
        h->session = zalSessionRegistry::instance().sessionFor(h->db.get());
        if (!h->module || !h->session || !h->recorder) abort();
        // Settings go out only to a started viewer.
        h->recorder->simulateViewerStarted();
        QDeadlineTimer deadline(30000);
        while (!(h->session->sender() && h->session->sender()->isViewerStarted()) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!h->session->sender() || !h->session->sender()->isViewerStarted()) abort();
        return h;
    }();
    return *started;
}

} // namespace zalFuzz
