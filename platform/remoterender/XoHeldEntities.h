#pragma once

#include "XoRemoteRenderExport.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The (name, owner) pairs the viewer holds, for the flattener. A refresh of a large drawing adds thousands
// of them in a row, so adding one costs a lookup or two and a couple of allocations; owners know their
// children, so removing a branch does not search.
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

private:
    struct Entry;
    struct Owner
    {
        Entry* owner; // null: held without one
        Kind kind;
        std::uint32_t slot; // index in owner->children
    };
    struct Entry
    {
        std::string name;
        std::vector<Owner> owners;
        std::vector<Entry*> children;
        Owner* ownerRecord(const Entry* owner);
    };

    Entry* find(std::string_view name) const;
    Entry* entry(std::string_view name);
    void unlink(Entry* child, Owner* record);
    void eraseIfUnused(Entry* e);

    std::unordered_map<std::string_view, std::unique_ptr<Entry>> m_entries; // keys view the entries' names
    // Runs of additions share an owner, and an entity's meshes follow the entity: both are looked up
    // without hashing.
    Entry* m_lastOwner = nullptr;
    Entry* m_lastHeld = nullptr;
};
