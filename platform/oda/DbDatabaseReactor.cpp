#include "DbDatabaseReactor.h"

#include "internal/DbDefine.h"

ODRX_NO_CONS_DEFINE_MEMBERS(OdDbDatabaseReactor, OdRxObject)

void OdDbDatabaseReactor::objectAppended(const OdDbDatabase*, const OdDbObject*) {}
void OdDbDatabaseReactor::objectUnAppended(const OdDbDatabase*, const OdDbObject*) {}
void OdDbDatabaseReactor::objectReAppended(const OdDbDatabase*, const OdDbObject*) {}
void OdDbDatabaseReactor::objectOpenedForModify(const OdDbDatabase*, const OdDbObject*) {}
void OdDbDatabaseReactor::objectModified(const OdDbDatabase*, const OdDbObject*) {}
void OdDbDatabaseReactor::objectErased(const OdDbDatabase*, const OdDbObject*, bool) {}
void OdDbDatabaseReactor::headerSysVarWillChange(const OdDbDatabase*, const OdString&) {}
void OdDbDatabaseReactor::headerSysVarChanged(const OdDbDatabase*, const OdString&) {}
void OdDbDatabaseReactor::goodbye(const OdDbDatabase*) {}
