#include "zalUnrealRenderModule.h"
#include "module/zalSessionRegistry.h"

#include "fountain/zalDbWaterFountain.h"
#include "module/QUnrealDbRenderWidget.h"
#include "module/zalViewFactory.h"
#include "translate/zalViewerNames.h"
#include "zalDbUnrealRenderSession.h"
#include "zalUnrealViewerSender.h"

#include "IzalAppProps.h"
#include "IzalApplication.h"
#include "IzalProjectManager.h"
#include "IzalViewSystem.h"

#include "DbDatabase.h"
#include "DbEntity.h"
#include "Ed/EdCommandContext.h"
#include "Ed/EdCommandStack.h"
#include "OdError.h"
#include "OdVariant.h"
#include "RxDynamicLinker.h"
#include "RxDynamicModule.h"
#include "StaticRxObject.h"

#include <QThread>

#include <thread>

namespace {

const char* const kServiceId = IzalUnrealRenderModule_id;
const char* const kViewType = "UnrealRender";

} // namespace

zalUnrealRenderModule::zalUnrealRenderModule() = default;
namespace {

// One command's edits reach the viewer as one transaction: the session of the command's drawing (of
// every drawing when the command names none) holds a batch from the command's start to its end, whose
// transaction opens with the command's first drawing.
class CommandBatches : public OdEdCommandStackReactor
{
public:
    void commandWillStart(OdEdCommand*, OdEdCommandContext* context) override
    {
        OdDbDatabase* db = context ? dynamic_cast<OdDbDatabase*>(context->baseDatabase()) : nullptr;
        std::vector<OdDbDatabase*> opened;
        for (const auto& entry : zalSessionRegistry::instance().sessions()) {
            if (!entry.second || (db && entry.first != db)) continue;
            entry.second->holdBatch("command");
            opened.push_back(entry.first);
        }
        m_open.push_back(std::move(opened));
    }
    void commandEnded(OdEdCommand*, OdEdCommandContext*) override { finish(); }
    void commandCancelled(OdEdCommand*, OdEdCommandContext*) override { finish(); }
    void commandFailed(OdEdCommand*, OdEdCommandContext*) override { finish(); }

private:
    void finish()
    {
        if (m_open.empty()) return;
        const std::vector<OdDbDatabase*> opened = std::move(m_open.back());
        m_open.pop_back();
        // A session closed by the command is gone from the registry and has nothing to close.
        for (OdDbDatabase* db : opened)
            if (zalDbUnrealRenderSession* session = zalSessionRegistry::instance().sessionFor(db))
                session->endBatch(false);
    }
    std::vector<std::vector<OdDbDatabase*>> m_open; // per running command, outermost first
};

OdStaticRxObject<CommandBatches> s_commandBatches;

} // namespace

zalUnrealRenderModule::~zalUnrealRenderModule() = default;

void zalUnrealRenderModule::initApp()
{
    // The host may still be publishing its services when it loads modules.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    m_context.reset(this);

    // Steps that fail leave the module half set up; the host sees the one start-up code.
    try {
        IzalAppProps* props = zalService<IzalAppProps>(IzalAppProps_id);
        if (!props) throw OdError(eInitFailed);
        if (props->intVariable(OdString(L"Vars/UEVersion"), 0) == 0)
            props->createVariable(OdString(L"Vars/UEVersion"), OdVariant(OdInt32(4)), OdString(L"int"));

        IzalApplication* app = zalApp();
        if (!app || !app->registerService(kServiceId, this)) throw OdError(eInitFailed);

        if (!OdDbEntity::desc()) throw OdError(eInitFailed);

        for (const wchar_t* name : {L"TD_Db.dll", L"zalProjectManagerEx.dll", L"zalOdViewSystem.dll"}) {
            if (odrxDynamicLinker()->loadModule(OdString(name)).isNull()) throw OdError(eInitFailed);
        }

        zalDbWaterFountain::rxInit();
        zalDbWaterFountain::registerPropertySources();

        if (IzalViewSystem* views = m_context.viewSystem()) {
            zalModuleContext* context = &m_context;
            views->registerViewType(
                kViewType, tr("Navigation"),
                [context](OdDbDatabase* db, QWidget*, QWidget*) { return zalCreateRenderView(db, context); });
        }
    } catch (const OdError& error) {
        throw OdError(eInitFailed, error.description());
    }

    OdEdCommandStackPtr commands = odedRegCmds();
    commands->addCommand(&m_unrealcommand);
    commands->addCommand(&m_unrealoutliner);
    commands->addCommand(&m_unrealpostprocess);
    commands->addCommand(&m_unrealcameramode);
    commands->addCommand(&m_fountain_create);
    commands->addReactor(&s_commandBatches);
}

void zalUnrealRenderModule::uninitApp()
{
    if (IzalViewSystem* views = m_context.viewSystem()) views->unregisterViewType(kViewType);

    OdEdCommandStackPtr commands = odedRegCmds();
    commands->removeReactor(&s_commandBatches);
    for (OdEdCommand* command :
         std::initializer_list<OdEdCommand*>{&m_unrealcommand, &m_unrealoutliner, &m_unrealpostprocess,
                                             &m_unrealcameramode, &m_fountain_create})
        commands->removeCmd(command->groupName(), command->globalName());

    zalDbWaterFountain::unregisterPropertySources();
    zalDbWaterFountain::rxUninit();

    if (IzalApplication* app = zalApp()) app->unregisterService(kServiceId, this);
    m_context.reset(nullptr);
}

QWidget* zalUnrealRenderModule::activeWidget()
{
    zalDbUnrealRenderSession* session =
        zalSessionRegistry::instance().sessionFor(m_context.currentDatabase());
    return session ? session->widget() : nullptr;
}

bool zalUnrealRenderModule::isActive()
{
    return activeWidget() != nullptr;
}

void zalUnrealRenderModule::sendViewerConsoleCommand(const QString& command)
{
    auto* widget = qobject_cast<QUnrealDbRenderWidget*>(activeWidget());
    zalDbUnrealRenderSession* session = widget ? widget->session() : nullptr;
    zalUnrealViewerSender* sender = session ? session->sender() : nullptr;
    if (zalUnrealViewerSender::isReachable(sender)) sender->sendConsoleCommand(command);
}

bool zalUnrealRenderModule::isViewerUpToDate()
{
    auto* widget = qobject_cast<QUnrealDbRenderWidget*>(activeWidget());
    zalDbUnrealRenderSession* session = widget ? widget->session() : nullptr;
    zalUnrealViewerSender* sender = session ? session->sender() : nullptr;
    if (!zalUnrealViewerSender::isReachable(sender)) return false;
    const zalEntityRegistry& registry = session->registry();
    return registry.batchDepth() == 0 && !registry.isBatchOpen() && !sender->isTransactionOpen() &&
           session->numObjectsAwaitingRefresh() == 0 &&
           sender->transactionsApplied() >= sender->transactionsEnded();
}

void zalUnrealRenderModule::updateSettingsDialog()
{
    emit currentSettingsChange();
}

extern "C" ZAL_EXPORT OdRxModule* odrxCreateModuleObject(void* sysHandle)
{
    static OdRxDynamicModuleImpl<zalUnrealRenderModule>* module =
        new OdRxDynamicModuleImpl<zalUnrealRenderModule>(sysHandle);
    return module;
}

extern "C" ZAL_EXPORT int odrxGetAPIVersion(int& major, int& minor, int& majorBuild, int& minorBuild)
{
    major = 24;
    minor = 1;
    majorBuild = 0;
    minorBuild = 0;
    return 0;
}
