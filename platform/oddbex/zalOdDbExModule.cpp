// The sibling entity library as a run-time module: loading it by name ("zalOdDbEx") registers its classes,
// unloading removes them. Linking it directly registers them at load too.
#include "zalDbAssetsSpawner.h"
#include "zalDbStarImagePolygon.h"
#include "zalDbXBlock.h"

#include "RxClass.h"
#include "RxDynamicModule.h"
#include "RxModule.h"

namespace {

void registerClasses()
{
    if (!OdDbEntity::desc()) return;
    if (!zalDbXBlock::desc()) zalDbXBlock::rxInit();
    if (!zalDbAssetsSpawner::desc()) zalDbAssetsSpawner::rxInit();
    if (!zalDbStarImagePolygon::desc()) zalDbStarImagePolygon::rxInit();
}

struct AutoRegister
{
    AutoRegister() { registerClasses(); }
};
AutoRegister g_autoRegister;

} // namespace

class zalOdDbExModule : public OdRxModule
{
public:
    void initApp() override { registerClasses(); }
    void uninitApp() override
    {
        if (zalDbStarImagePolygon::desc()) zalDbStarImagePolygon::rxUninit();
        if (zalDbAssetsSpawner::desc()) zalDbAssetsSpawner::rxUninit();
        if (zalDbXBlock::desc()) zalDbXBlock::rxUninit();
    }
};

ODRX_DEFINE_DYNAMIC_MODULE(zalOdDbExModule)
