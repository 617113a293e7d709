#pragma once

#include "Ed/EdCommand.h"

// "fountain_create" in the group "UnrealViewer": places a new fountain where the user points. A member
// of the module object (not reference counted), added to the command stack in initApp.
class _fountain_create_cmd : public OdEdCommand
{
public:
    const OdString groupName() const override { return OdString(L"UnrealViewer"); }
    const OdString globalName() const override { return OdString(L"fountain_create"); }
    void execute(OdEdCommandContext* context) override;
};
