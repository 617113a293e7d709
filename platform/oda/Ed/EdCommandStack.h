// The editor's commands, by group and global name (names compare without regard to letter
// case). Holds a reference to each command.
#pragma once

#include "Ed/EdCommand.h"
#include "OdArray.h"
#include "RxDictionary.h"

class OdEdCommandContext;

// Hears when commands of the stack run. Added with OdEdCommandStack::addReactor; the stack holds
// no reference, so remove the reactor before destroying it.
class ODKIT_EXPORT OdEdCommandStackReactor : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdEdCommandStackReactor);
    virtual void commandWillStart(OdEdCommand* command, OdEdCommandContext* context);
    // Exactly one of these follows each commandWillStart (to the reactors still added), also when
    // commands nest.
    virtual void commandEnded(OdEdCommand* command, OdEdCommandContext* context);
    virtual void commandCancelled(OdEdCommand* command, OdEdCommandContext* context);
    virtual void commandFailed(OdEdCommand* command, OdEdCommandContext* context);
};

class ODKIT_EXPORT OdEdCommandStack : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdEdCommandStack);

    // OdError(eDuplicateKey) when the group already has a command of that global name.
    virtual void addCommand(OdEdCommand* command) = 0;
    // By global (or local) name in the given group; any group when group is empty. Null when absent.
    virtual OdEdCommandPtr lookupCmd(const OdString& globalName,
                                     const OdString& groupName = OdString()) const = 0;
    // Answers false when the group has no such command.
    virtual bool removeCmd(const OdString& groupName, const OdString& globalName) = 0;
    virtual void removeGroup(const OdString& groupName) = 0;
    virtual OdArray<OdString> groupNames() const = 0;
    // Commands of a group in the order they were added.
    virtual OdArray<OdEdCommandPtr> groupCommands(const OdString& groupName) const = 0;
    // Iterates all commands; newGroupIterator iterates groups as OdRxDictionary objects.
    virtual OdRxIteratorPtr newIterator() const = 0;
    virtual OdRxDictionaryIteratorPtr newGroupIterator() const = 0;
    // Runs a command between its reactors' notifications; the command's exceptions propagate.
    virtual void executeCommand(OdEdCommand* command, OdEdCommandContext* context) = 0;
    // A reactor added twice is notified once; a reactor may add or remove reactors while notified.
    virtual void addReactor(OdEdCommandStackReactor* reactor) = 0;
    virtual void removeReactor(OdEdCommandStackReactor* reactor) = 0;
};
typedef OdSmartPtr<OdEdCommandStack> OdEdCommandStackPtr;

// The editor's command stack (one per process).
ODKIT_EXPORT OdEdCommandStackPtr odedRegCmds();
