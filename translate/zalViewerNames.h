#pragma once

#include "zalExport.h"

#include "DbObjectId.h"

#include <QString>

class OdDbObject;

// The viewer names of database objects. The host makes them, so that every module and the host's own
// tools name an object alike; empty (or a null id) without a host.
namespace zalViewerNames {

ZAL_EXPORT QString ofObject(const OdDbObject* object);
ZAL_EXPORT QString ofId(const OdDbObjectId& id);
ZAL_EXPORT OdDbObjectId toId(const QString& name);

} // namespace zalViewerNames
