#include "zalSketchDevice.h"

#include "zalSketchView.h"

#include "RxObjectImpl.h"

OdSmartPtr<zalSketchDevice> zalSketchDevice::createObject()
{
    return OdRxObjectImpl<zalSketchDevice>::createObject();
}

OdGsViewPtr zalSketchDevice::createView(const OdGsClientViewInfo* viewInfo, bool)
{
    OdSmartPtr<OdGsView> view = OdRxObjectImpl<zalSketchView, OdGsView>::createObject();
    static_cast<zalSketchView*>(view.get())->init(this, viewInfo);
    return view;
}
