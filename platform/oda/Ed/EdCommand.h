// An editor command, registered in the command stack under its group and global name.
// Command objects are usually static members of their module (OdStaticRxObject).
#pragma once

#include "OdString.h"
#include "RxObject.h"

class OdEdCommandContext;
class OdRxModule;

class ODKIT_EXPORT OdEdCommand : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdEdCommand);

    enum Flags
    {
        kNone = 0,
        kNoUndoMarker = 1,
        kNoHistory = 2
    };

    virtual const OdString groupName() const = 0;
    virtual const OdString globalName() const = 0;
    virtual const OdString localName() const { return globalName(); }
    virtual OdInt32 flags() const { return kNone; }
    virtual OdRxModule* module() const { return nullptr; }
    virtual void execute(OdEdCommandContext* context) = 0;
};
typedef OdSmartPtr<OdEdCommand> OdEdCommandPtr;
