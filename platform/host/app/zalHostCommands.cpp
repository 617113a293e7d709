#include "zalHostCommands.h"

#include "zalEraseCommand.h"
#include "zalLayerCommand.h"
#include "zalMoveCommand.h"
#include "zalOpenCommand.h"
#include "zalRenderFarmCommand.h"
#include "zalSaveCommand.h"
#include "zalSetMaterialCommand.h"

#include "Ed/EdCommandStack.h"
#include "StaticRxObject.h"

namespace {
OdStaticRxObject<zalOpenCommand> s_open;
OdStaticRxObject<zalSaveCommand> s_save;
OdStaticRxObject<zalEraseCommand> s_erase;
OdStaticRxObject<zalMoveCommand> s_move;
OdStaticRxObject<zalLayerCommand> s_layer;
OdStaticRxObject<zalSetMaterialCommand> s_setMaterial;
OdStaticRxObject<zalRenderFarmCommand> s_renderFarm;

OdEdCommand* const s_all[] = {&s_open, &s_save, &s_erase, &s_move, &s_layer, &s_setMaterial, &s_renderFarm};
} // namespace

void zalHostCommands::registerAll()
{
    OdEdCommandStackPtr stack = odedRegCmds();
    for (OdEdCommand* command : s_all)
        if (stack->lookupCmd(command->globalName(), command->groupName()).isNull())
            stack->addCommand(command);
}

void zalHostCommands::unregisterAll()
{
    OdEdCommandStackPtr stack = odedRegCmds();
    for (OdEdCommand* command : s_all)
        stack->removeCmd(command->groupName(), command->globalName());
}
