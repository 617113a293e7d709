#pragma once

#include "XoRemoteRenderExport.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

#include <QVarLengthArray>
#include <tsl/robin_map.h>

// The (name, owner) pairs the viewer holds, for the flattener. A refresh of a large drawing adds thousands
// of them in a row, so adding one costs a lookup or two and an allocation per new name; owners know their
// children, so removing a branch does not search. One thread at a time, questions included: they learn
// the order names are asked about in.
class XOREMOTERENDER_EXPORT XoHeldEntities
{
public:
    enum class Kind
    {
        Other,
        Mesh
    };

    XoHeldEntities();
    ~XoHeldEntities();
    XoHeldEntities(const XoHeldEntities&) = delete;
    XoHeldEntities& operator=(const XoHeldEntities&) = delete;

    // owner "" holds the name without an owner. Whether the pair was held already (its kind is updated).
    bool hold(std::string_view name, std::string_view owner, Kind kind);
    // Under that owner, or under any ("" ).
    bool isHeld(std::string_view name, std::string_view owner = {}) const;
    // Whether the pair is a mesh (for owner "": whether any is); false, and *held false, when not held.
    bool isMesh(std::string_view name, std::string_view owner, bool* held) const;
    // That pair, or with owner "" every pair of the name.
    void forget(std::string_view name, std::string_view owner);
    // The meshes under owner; with `everything` its other children too, and theirs, recursively.
    void forgetChildren(std::string_view owner, bool everything);
    void clear();
    // Room for `names` in all, so a refresh of a large drawing does not rehash as it goes. Never shrinks.
    void reserve(std::size_t names);

private:
    struct Entry;
    struct Owner
    {
        Entry* owner; // null: held without one
        Kind kind;
        std::uint32_t slot; // index in owner->children
    };
    // One block per name: the entry and its name's characters behind it. Nearly every name has one
    // owner and an entity one mesh, so the first of each is kept inline.
    struct Entry
    {
        std::string_view name; // the characters allocated behind the entry
        QVarLengthArray<Owner, 1> owners;
        QVarLengthArray<Entry*, 1> children;
        // The name asked for after this one the last time, while no entry had been destroyed since
        // `learnedAt`.
        Entry* askedNext = nullptr;
        std::uint64_t learnedAt = 0;
        Owner* ownerRecord(const Entry* owner);
    };
    Entry* make(std::string_view name);
    void destroy(Entry* e);
    void destroyAll();
    // The key keeps its hash: a new name is hashed once, for the look-up and the insertion both.
    struct Key
    {
        std::string_view text;
        std::size_t hash;
    };
    struct KeyHash
    {
        std::size_t operator()(const Key& k) const { return k.hash; }
    };
    struct KeyEqual
    {
        bool operator()(const Key& a, const Key& b) const { return a.text == b.text; }
    };
    static Key keyOf(std::string_view name) { return Key{name, std::hash<std::string_view>()(name)}; }

    Entry* find(std::string_view name) const { return find(keyOf(name)); }
    Entry* find(const Key& key) const;
    // find for the names a refresh asks about, learning their order.
    Entry* findAsked(std::string_view name) const;
    Entry* entry(std::string_view name);
    void unlink(Entry* child, Owner* record);
    void eraseIfUnused(Entry* e);

    // Open addressing in one array, with the hashes beside the slots: a refresh adds two names per entity
    // to a table of hundreds of thousands, and a table of nodes cost a cache miss or two per look-up.
    tsl::robin_map<Key, Entry*, KeyHash, KeyEqual, std::allocator<std::pair<Key, Entry*>>, true>
        m_entries; // keys view the entries' names; the entries live in m_blocks
    // Entries come from pools of blocks: a forgotten name's block is used again, and clearing hundreds of
    // thousands of names (a session's end) gives back a few large blocks instead of one per name.
    std::pmr::unsynchronized_pool_resource m_blocks;
    // Runs of additions share an owner (the entities of a block), and an entity's meshes follow the
    // entity: both are looked up without hashing, and a mesh's owner does not displace the block.
    Entry* m_lastOwner = nullptr;
    Entry* m_lastHeld = nullptr;
    // Every pass of a refresh asks about a drawing's entities in the same order, and the table is far
    // larger than the caches: a look-up by hash costs misses on the slot and on the entry, while the entry
    // asked for after the last one is found through the last one. A successor is trusted only while no
    // entry was destroyed since it was learned (it may be gone); a name asked again is the last one.
    mutable Entry* m_lastAsked = nullptr;
    std::uint64_t m_destroyed = 0;
};
