#include "RxModule.h"

#include "RxClass.h"

ODRX_NO_CONS_DEFINE_MEMBERS(OdRxModule, OdRxObject)

OdString OdRxModule::moduleName() const
{
    return m_moduleName;
}
