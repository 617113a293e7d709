#pragma once

#include "zalExport.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <tsl/robin_map.h>

class XoRemoteRenderSenderFlattener;

// What one session's viewer holds, by viewer name and owner, and the session's transaction rule:
// batches nest, and only the outermost one opens and closes a viewer transaction. The session owns
// it; the view, the asset spawning and the material translation receive it. GUI thread only, isAlive
// included.
class ZAL_EXPORT zalEntityRegistry
{
public:
    zalEntityRegistry();
    ~zalEntityRegistry();
    zalEntityRegistry(const zalEntityRegistry&) = delete;
    zalEntityRegistry& operator=(const zalEntityRegistry&) = delete;

    // Whether the registry still exists: work queued for later (a pak that mounts) may outlive the
    // session that queued it.
    static bool isAlive(const zalEntityRegistry* registry);

    // Where batches go; null while no viewer runs. Not owned.
    void setSender(XoRemoteRenderSenderFlattener* sender) { m_sender = sender; }
    XoRemoteRenderSenderFlattener* sender() const { return m_sender; }

    // Records that name was sent under owner. A name without owner, or a material, is listed as its
    // own owner. A sub-entity ("[SE:" in its name) is also listed under its owner, so invalidating
    // the owner takes it along.
    void add(const QString& name, const QString& owner);
    // Sent under owner; under any owner when owner is empty or name is a material.
    bool contains(const QString& name, const QString& owner = QString()) const;
    QStringList owners(const QString& name) const;
    QStringList subEntities(const QString& owner) const;
    bool isEmpty() const { return m_owners.empty(); }
    // Room for `names` in all (a refresh of a large drawing); never shrinks.
    void reserve(int names);
    // Forgets name and its sub-entities; returns the owners name was sent under.
    QStringList invalidate(const QString& name);

    void beginBatch(const char* name);
    void endBatch(bool fullUpdate);
    // A batch whose transaction opens only when a batch inside it begins, named `name` when it is the
    // outermost: a command that draws nothing sends nothing. Closed with endBatch.
    void holdBatch(const char* name);
    // The viewer ended: its open transaction went with it.
    void dropOpenBatch() { m_batchOpen = false; }
    unsigned batchDepth() const { return m_depth; }
    bool isBatchOpen() const { return m_batchOpen; }

private:
    XoRemoteRenderSenderFlattener* m_sender = nullptr;
    unsigned m_depth = 0;
    bool m_batchOpen = false;
    const char* m_heldName = nullptr; // the outermost batch was held

    // Nearly every name has one owner: it is kept inline, so a name costs one node and no list.
    struct Owners
    {
        QString first;
        QStringList more;
        bool any = false; // first is set
        bool contains(const QString& owner) const { return first == owner || more.contains(owner); }
    };
    struct NameHash
    {
        std::size_t operator()(const QString& s) const { return qHash(s); }
    };
    // Hashed, a refresh of a large drawing looks names up here several times per entity. Open addressing
    // in one array: a node per name cost an allocation to add and a free to forget, and a session of
    // 100k entities spent most of its teardown freeing them one by one.
    tsl::robin_map<QString, Owners, NameHash, std::equal_to<QString>,
                   std::allocator<std::pair<QString, Owners>>, true>
        m_owners;
    tsl::robin_map<QString, QStringList, NameHash, std::equal_to<QString>,
                   std::allocator<std::pair<QString, QStringList>>, true>
        m_subEntities;
};
