#include "translate/zalUnrealDrawingState.h"

#include "DbBlockTableRecord.h"

zalUnrealDrawingState& zalUnrealDrawingState::instance()
{
    static zalUnrealDrawingState state;
    return state;
}

void zalUnrealDrawingState::clearCurrentEntity()
{
    currentEntityName.clear();
    currentOwnerName.clear();
    currentDatabase = nullptr;
}
