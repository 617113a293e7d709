#pragma once

#include "Ed/EdCommand.h"

// The module's commands, all in the group "UnrealViewer". They are members of the module object
// (not reference counted); the module adds them to the command stack in initApp.

#define ZAL_DECLARE_COMMAND(ClassName, Name)                                                                 \
    class ClassName : public OdEdCommand                                                                     \
    {                                                                                                        \
    public:                                                                                                  \
        const OdString groupName() const override { return OdString(L"UnrealViewer"); }                      \
        const OdString globalName() const override { return OdString(Name); }                                \
        void execute(OdEdCommandContext* context) override;                                                  \
    };

ZAL_DECLARE_COMMAND(_unrealcommand_cmd, L"unrealcommand")
ZAL_DECLARE_COMMAND(_unrealoutliner_cmd, L"unrealoutliner")
ZAL_DECLARE_COMMAND(_unrealpostprocess_cmd, L"unrealpostprocess")
ZAL_DECLARE_COMMAND(_unrealcameramode_cmd, L"unrealcameramode")

#undef ZAL_DECLARE_COMMAND
