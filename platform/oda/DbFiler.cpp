#include "DbFiler.h"

ODRX_NO_CONS_DEFINE_MEMBERS(OdDbDwgFiler, OdRxObject)

OdGePoint2d OdDbDwgFiler::rdPoint2d()
{
    double x = rdDouble();
    double y = rdDouble();
    return {x, y};
}

OdGePoint3d OdDbDwgFiler::rdPoint3d()
{
    double x = rdDouble();
    double y = rdDouble();
    double z = rdDouble();
    return {x, y, z};
}

OdGeVector3d OdDbDwgFiler::rdVector3d()
{
    double x = rdDouble();
    double y = rdDouble();
    double z = rdDouble();
    return {x, y, z};
}

OdGeScale3d OdDbDwgFiler::rdScale3d()
{
    double x = rdDouble();
    double y = rdDouble();
    double z = rdDouble();
    return {x, y, z};
}

void OdDbDwgFiler::wrPoint2d(const OdGePoint2d& value)
{
    wrDouble(value.x);
    wrDouble(value.y);
}

void OdDbDwgFiler::wrPoint3d(const OdGePoint3d& value)
{
    wrDouble(value.x);
    wrDouble(value.y);
    wrDouble(value.z);
}

void OdDbDwgFiler::wrVector3d(const OdGeVector3d& value)
{
    wrDouble(value.x);
    wrDouble(value.y);
    wrDouble(value.z);
}

void OdDbDwgFiler::wrScale3d(const OdGeScale3d& value)
{
    wrDouble(value.sx);
    wrDouble(value.sy);
    wrDouble(value.sz);
}
