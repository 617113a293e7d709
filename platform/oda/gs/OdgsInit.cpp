#include "OdgsInit.h"

#include "Db3dPolyline.h"
#include "DbArc.h"
#include "DbCircle.h"
#include "DbFace.h"
#include "DbLine.h"
#include "DbPolyFaceMesh.h"
#include "DbPolygonMesh.h"
#include "DbPolyline.h"
#include "DbSubDMesh.h"
#include "DbText.h"

#include "RxClass.h"

namespace {

bool g_registered = false;

template <class T> void registerClass()
{
    if (!T::desc()) T::rxInit();
}

template <class T> void unregisterClass()
{
    if (T::desc()) T::rxUninit();
}

// Registration at load: the database layer's classes exist by then (its library initialises first).
struct AutoInit
{
    AutoInit() { odgsInitialize(); }
};
AutoInit g_autoInit;

} // namespace

void odgsInitialize()
{
    if (g_registered && OdDbFace::desc() && OdDbFace::desc()->myParent() == OdDbEntity::desc()) return;
    odgsUninitialize();
    if (!OdDbEntity::desc()) return;
    registerClass<OdDbFace>();
    registerClass<OdDbPolyFaceMesh>();
    registerClass<OdDbPolygonMesh>();
    registerClass<OdDbSubDMesh>();
    registerClass<OdDbLine>();
    registerClass<OdDbArc>();
    registerClass<OdDbCircle>();
    registerClass<OdDbPolyline>();
    registerClass<OdDb3dPolyline>();
    registerClass<OdDbText>();
    g_registered = true;
}

void odgsUninitialize()
{
    unregisterClass<OdDbText>();
    unregisterClass<OdDb3dPolyline>();
    unregisterClass<OdDbPolyline>();
    unregisterClass<OdDbCircle>();
    unregisterClass<OdDbArc>();
    unregisterClass<OdDbLine>();
    unregisterClass<OdDbSubDMesh>();
    unregisterClass<OdDbPolygonMesh>();
    unregisterClass<OdDbPolyFaceMesh>();
    unregisterClass<OdDbFace>();
    g_registered = false;
}
