// The host's sibling module zalProjectManagerEx: modules that need it load it by name at start. Its services
// live in the host itself, so loading it is all there is to do.
#include "RxDynamicModule.h"

class zalProjectManagerExModule : public OdRxModule
{
public:
    void initApp() override {}
    void uninitApp() override {}
};

ODRX_DEFINE_DYNAMIC_MODULE(zalProjectManagerExModule)
