#include "module/zalModuleCommands.h"

// Placement of a fountain is not built yet: the command is registered and does nothing.
void _fountain_create_cmd::execute(OdEdCommandContext*) {}
