// Shared between OdkitLinkerTest and the test module: the test puts a counter object into the
// system registry under "OdkitTestModule.<module name>", the module counts initApp/uninitApp.
#pragma once

#include "RxObject.h"

class OdkitTestModuleCounters : public OdRxObject
{
public:
    int initCount = 0;
    int uninitCount = 0;
};
