#pragma once

#include "DbObjectId.h"
#include "Ed/EdCommand.h"

#include <QString>

class OdDbDatabase;
class OdEdCommandContext;

// Base of the host's own commands (group "zalhost"): the drawing a command works on, entity
// selection by handle ("2A") or by position in the model space ("#3"), and failures as OdError
// with a message.
class zalHostCommand : public OdEdCommand
{
public:
    const OdString groupName() const override { return OdString("zalhost"); }

    // The command's drawing; raises OdError when there is none.
    static OdDbDatabase* database(OdEdCommandContext* context);
    // Asks for an entity; raises OdError when the answer names none.
    static OdDbObjectId selectEntity(OdEdCommandContext* context, const QString& prompt);
    static OdDbObjectId findEntity(OdDbDatabase* db, const QString& selector);
    [[noreturn]] static void fail(const QString& message);
    static void tell(OdEdCommandContext* context, const QString& text);
};
