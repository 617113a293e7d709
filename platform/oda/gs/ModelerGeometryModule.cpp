// The "ModelerGeometry" run-time module: holds the solid modeler's tessellation parameters. Loaded by
// name through the dynamic linker; drawing code finds it with getModule without loading it.
#include "ModelerGeometry.h"

#include "RxDynamicModule.h"
#include "RxModule.h"

class OdModelerGeometryModuleImpl : public OdRxModule, public OdModelerGeometryModule
{
public:
    OdModelerGeometryModuleImpl()
    {
        m_params.normalTolerance = 30.0;
        m_params.maxNumGridLines = 10000.0;
    }
    void initApp() override {}
    void uninitApp() override {}
    OdModelerTessellationParams tessellationParams() const override { return m_params; }
    void setTessellationParams(const OdModelerTessellationParams& params) override { m_params = params; }

private:
    OdModelerTessellationParams m_params;
};

ODRX_DEFINE_DYNAMIC_MODULE(OdModelerGeometryModuleImpl)
