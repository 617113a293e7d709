#pragma once
// How much memory a drawing's undo and redo history holds. The history is kept for as long as the
// drawing is open, so it grows with every recorded change; long runs report it beside the host's
// resident memory.
#include "OdaCommon.h"

#include <cstddef>

class OdDbDatabase;

struct OdDbUndoHistorySize
{
    std::size_t steps = 0; // undo and redo steps with changes
    std::size_t items = 0; // filed values (object states before and after a step's changes)
    std::size_t bytes = 0; // heap bytes of the steps, their actions and the filed values
};

ODKIT_EXPORT OdDbUndoHistorySize odDbUndoHistorySize(const OdDbDatabase* db);
