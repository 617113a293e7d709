// The host's sibling module zalOdViewSystem: modules that need it load it by name at start. Its services
// live in the host itself, so loading it is all there is to do.
#include "RxDynamicModule.h"

class zalOdViewSystemModule : public OdRxModule
{
public:
    void initApp() override {}
    void uninitApp() override {}
};

ODRX_DEFINE_DYNAMIC_MODULE(zalOdViewSystemModule)
