#include "Ed/EdCommandStack.h"

#include "Ed/EdCancel.h"
#include "RxObjectImpl.h"

#include <algorithm>

#include <mutex>
#include <vector>

ODRX_NO_CONS_DEFINE_MEMBERS(OdEdCommandStack, OdRxObject)
ODRX_NO_CONS_DEFINE_MEMBERS(OdEdCommandStackReactor, OdRxObject)

void OdEdCommandStackReactor::commandWillStart(OdEdCommand*, OdEdCommandContext*) {}
void OdEdCommandStackReactor::commandEnded(OdEdCommand*, OdEdCommandContext*) {}
void OdEdCommandStackReactor::commandCancelled(OdEdCommand*, OdEdCommandContext*) {}
void OdEdCommandStackReactor::commandFailed(OdEdCommand*, OdEdCommandContext*) {}

namespace {

class CommandIterator : public OdRxIterator
{
public:
    std::vector<OdEdCommandPtr> commands;
    bool done() const override { return m_pos >= commands.size(); }
    bool next() override
    {
        if (!done()) ++m_pos;
        return !done();
    }
    OdRxObjectPtr object() const override
    {
        return done() ? OdRxObjectPtr() : OdRxObjectPtr(commands[m_pos].get());
    }

private:
    size_t m_pos = 0;
};

class CommandStack : public OdEdCommandStack
{
public:
    void addCommand(OdEdCommand* command) override
    {
        if (!command) throw OdError(eNullObjectPointer);
        OdString group = command->groupName();
        OdString name = command->globalName();
        std::lock_guard<std::mutex> lock(m_mutex);
        Group& g = groupOf(group, true);
        for (const OdEdCommandPtr& c : g.commands)
            if (c->globalName().iCompare(name) == 0)
                throw OdError(eDuplicateKey,
                              OdString(L"Command ") + group + L"." + name + L" exists already");
        g.commands.push_back(OdEdCommandPtr(command));
    }

    OdEdCommandPtr lookupCmd(const OdString& name, const OdString& group) const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Global names first, then local names, so a local name never hides a global one.
        for (int pass = 0; pass < 2; ++pass)
            for (const Group& g : m_groups) {
                if (!group.isEmpty() && g.name.iCompare(group) != 0) continue;
                for (const OdEdCommandPtr& c : g.commands) {
                    OdString candidate = pass == 0 ? c->globalName() : c->localName();
                    if (candidate.iCompare(name) == 0) return c;
                }
            }
        return OdEdCommandPtr();
    }

    bool removeCmd(const OdString& group, const OdString& name) override
    {
        OdEdCommandPtr removed; // released outside the lock
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto gi = m_groups.begin(); gi != m_groups.end(); ++gi) {
            if (gi->name.iCompare(group) != 0) continue;
            for (auto it = gi->commands.begin(); it != gi->commands.end(); ++it)
                if ((*it)->globalName().iCompare(name) == 0) {
                    removed = *it;
                    gi->commands.erase(it);
                    if (gi->commands.empty()) m_groups.erase(gi);
                    return true;
                }
        }
        return false;
    }

    void removeGroup(const OdString& group) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto gi = m_groups.begin(); gi != m_groups.end(); ++gi)
            if (gi->name.iCompare(group) == 0) {
                m_groups.erase(gi);
                return;
            }
    }

    OdArray<OdString> groupNames() const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        OdArray<OdString> names;
        for (const Group& g : m_groups)
            names.append(g.name);
        return names;
    }

    OdArray<OdEdCommandPtr> groupCommands(const OdString& group) const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        OdArray<OdEdCommandPtr> result;
        for (const Group& g : m_groups)
            if (g.name.iCompare(group) == 0)
                for (const OdEdCommandPtr& c : g.commands)
                    result.append(c);
        return result;
    }

    OdRxIteratorPtr newIterator() const override
    {
        OdSmartPtr<CommandIterator> it = OdRxObjectImpl<CommandIterator>::createObject();
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const Group& g : m_groups)
            for (const OdEdCommandPtr& c : g.commands)
                it->commands.push_back(c);
        return OdRxIteratorPtr(it.get());
    }

    OdRxDictionaryIteratorPtr newGroupIterator() const override
    {
        OdRxDictionaryPtr groups = odrxCreateRxDictionary();
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const Group& g : m_groups) {
            OdRxDictionaryPtr commands = odrxCreateRxDictionary();
            for (const OdEdCommandPtr& c : g.commands)
                commands->putAt(c->globalName(), c.get());
            groups->putAt(g.name, commands.get());
        }
        return groups->newIterator();
    }

    void executeCommand(OdEdCommand* command, OdEdCommandContext* context) override
    {
        if (!command) throw OdError(eNullObjectPointer);
        OdEdCommandPtr keep(command);
        notify(&OdEdCommandStackReactor::commandWillStart, command, context);
        try {
            command->execute(context);
        } catch (const OdEdCancel&) {
            notify(&OdEdCommandStackReactor::commandCancelled, command, context);
            throw;
        } catch (...) {
            notify(&OdEdCommandStackReactor::commandFailed, command, context);
            throw;
        }
        notify(&OdEdCommandStackReactor::commandEnded, command, context);
    }

    void addReactor(OdEdCommandStackReactor* reactor) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (reactor && std::find(m_reactors.begin(), m_reactors.end(), reactor) == m_reactors.end())
            m_reactors.push_back(reactor);
    }

    void removeReactor(OdEdCommandStackReactor* reactor) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reactors.erase(std::remove(m_reactors.begin(), m_reactors.end(), reactor), m_reactors.end());
    }

private:
    using Notification = void (OdEdCommandStackReactor::*)(OdEdCommand*, OdEdCommandContext*);
    void notify(Notification notification, OdEdCommand* command, OdEdCommandContext* context)
    {
        // A copy: reactors may come and go while they are told.
        std::vector<OdEdCommandStackReactor*> reactors;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            reactors = m_reactors;
        }
        for (OdEdCommandStackReactor* reactor : reactors) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (std::find(m_reactors.begin(), m_reactors.end(), reactor) == m_reactors.end()) continue;
            }
            (reactor->*notification)(command, context);
        }
    }

    struct Group
    {
        OdString name;
        std::vector<OdEdCommandPtr> commands;
    };
    Group& groupOf(const OdString& name, bool create)
    {
        for (Group& g : m_groups)
            if (g.name.iCompare(name) == 0) return g;
        (void)create;
        m_groups.push_back(Group{name, {}});
        return m_groups.back();
    }

    mutable std::mutex m_mutex;
    std::vector<Group> m_groups;
    std::vector<OdEdCommandStackReactor*> m_reactors;
};

} // namespace

OdEdCommandStackPtr odedRegCmds()
{
    // One stack for the process, never destroyed: modules may hold static commands until exit.
    static OdEdCommandStack* stack = new OdRxObjectImpl<CommandStack>();
    return OdEdCommandStackPtr(stack);
}
