// Run-time class definitions of the built-in database classes, under the SDK's Ac* names.
#pragma once

#include "RxClass.h"

#define ODKIT_DB_DEFINE_MEMBERS(ClassName, ParentClass, DOCREATE, RxName, DxfName)                           \
    ODRX_DEFINE_MEMBERS_EX(ClassName, ParentClass, DOCREATE, OdDb::kDHL_CURRENT, OdDb::kMReleaseCurrent, 0,  \
                           OdString(DxfName), OdString(L"ObjectDBX Classes"), OdString(RxName))
