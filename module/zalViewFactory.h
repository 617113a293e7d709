#pragma once

class OdDbDatabase;
class QWidget;
class zalModuleContext;

// The factory of the "UnrealRender" view type: a session for db, given the module's context, shown
// by a new render widget that owns it.
QWidget* zalCreateRenderView(OdDbDatabase* db, zalModuleContext* context);
