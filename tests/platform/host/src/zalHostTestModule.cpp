// A plug-in built like the render module (hidden symbols, loaded by name): it reaches the host only
// through the interfaces, so the test shows they work across library boundaries.
#include "IzalApplication.h"
#include "IzalConsole.h"
#include "IzalViewSystem.h"

#include "DbCommandContext.h"
#include "Ed/EdCommand.h"
#include "Ed/EdCommandStack.h"
#include "RxDynamicModule.h"
#include "StaticRxObject.h"

#include <QLabel>

namespace {

class zalHostTestModuleCommand : public OdEdCommand
{
public:
    const OdString groupName() const override { return OdString("zalHostTestModule"); }
    const OdString globalName() const override { return OdString("zalhost_module_echo"); }
    void execute(OdEdCommandContext* context) override
    {
        OdDbCommandContextPtr db = OdDbCommandContext::cast(context);
        const OdString text = db->userIO()->getString(OdString("Console Command"));
        db->userIO()->putString(OdString("echo ") + text);
    }
};

} // namespace

class zalHostTestModule : public OdRxModule
{
public:
    void initApp() override
    {
        IzalApplication* app = zalApp();
        if (!app) throw OdError(eNotApplicable);
        m_service.setObjectName("zalHostTestModuleService");
        app->registerService("zal.ITestModule", &m_service);
        if (auto* views = zalService<IzalViewSystem>(IzalViewSystem_id))
            views->registerViewType("TestView", "Navigation",
                                    [](OdDbDatabase*, QWidget*, QWidget*) -> QWidget* {
                                        auto* label = new QLabel("test view");
                                        label->setObjectName("zalHostTestModuleView");
                                        return label;
                                    });
        odedRegCmds()->addCommand(&m_command);
    }
    void uninitApp() override
    {
        if (auto* views = zalService<IzalViewSystem>(IzalViewSystem_id))
            views->unregisterViewType("TestView");
        odedRegCmds()->removeCmd(OdString("zalHostTestModule"), OdString("zalhost_module_echo"));
        if (IzalApplication* app = zalApp()) app->unregisterService("zal.ITestModule", &m_service);
    }

private:
    QObject m_service;
    OdStaticRxObject<zalHostTestModuleCommand> m_command;
};

ODRX_DEFINE_DYNAMIC_MODULE(zalHostTestModule)
