#include "XoHeldEntities.h"

#include <algorithm>
#include <cstring>
#include <new>

XoHeldEntities::XoHeldEntities() = default;

XoHeldEntities::~XoHeldEntities()
{
    destroyAll();
}

XoHeldEntities::Owner* XoHeldEntities::Entry::ownerRecord(const Entry* owner)
{
    for (Owner& o : owners) {
        if (o.owner == owner) return &o;
    }
    return nullptr;
}

XoHeldEntities::Entry* XoHeldEntities::make(std::string_view name)
{
    void* memory = m_blocks.allocate(sizeof(Entry) + name.size(), alignof(Entry));
    char* text = static_cast<char*>(memory) + sizeof(Entry);
    if (!name.empty()) std::memcpy(text, name.data(), name.size());
    Entry* e = new (memory) Entry();
    e->name = std::string_view(text, name.size());
    return e;
}

void XoHeldEntities::destroy(Entry* e)
{
    ++m_destroyed;
    if (m_lastAsked == e) m_lastAsked = nullptr;
    const std::size_t size = sizeof(Entry) + e->name.size();
    e->~Entry();
    m_blocks.deallocate(e, size, alignof(Entry));
}

void XoHeldEntities::destroyAll()
{
    // Only entries with more than one owner or child hold memory of their own; the blocks go at once.
    for (const auto& held : m_entries)
        held.second->~Entry();
    m_entries.clear();
    m_blocks.release();
    ++m_destroyed;
    m_lastAsked = nullptr;
}

XoHeldEntities::Entry* XoHeldEntities::find(const Key& key) const
{
    const auto it = m_entries.find(key);
    return it == m_entries.end() ? nullptr : it->second;
}

XoHeldEntities::Entry* XoHeldEntities::findAsked(std::string_view name) const
{
    Entry* last = m_lastAsked;
    if (last) {
        if (last->name == name) return last;
        Entry* next = last->learnedAt == m_destroyed ? last->askedNext : nullptr;
        // A live entry of that name is the table's entry for it.
        if (next && next->name == name) {
            m_lastAsked = next;
            return next;
        }
    }
    Entry* found = find(name);
    if (!found) return nullptr;
    if (last) {
        last->askedNext = found;
        last->learnedAt = m_destroyed;
    }
    m_lastAsked = found;
    return found;
}

XoHeldEntities::Entry* XoHeldEntities::entry(std::string_view name)
{
    // A confirmation holds the name it has just asked about.
    if (m_lastAsked && m_lastAsked->name == name) return m_lastAsked;
    const Key key = keyOf(name);
    if (Entry* known = find(key)) return known;
    Entry* e = make(name);
    m_entries.emplace(Key{e->name, key.hash}, e);
    return e;
}

bool XoHeldEntities::hold(std::string_view name, std::string_view owner, Kind kind)
{
    Entry* parent = nullptr;
    if (!owner.empty()) {
        if (m_lastOwner && m_lastOwner->name == owner) {
            parent = m_lastOwner;
        } else if (m_lastHeld && m_lastHeld->name == owner) {
            parent = m_lastHeld;
        } else {
            parent = entry(owner);
            m_lastOwner = parent;
        }
    }
    Entry* child = entry(name);
    m_lastHeld = child;
    if (Owner* known = child->ownerRecord(parent)) {
        known->kind = kind;
        return true;
    }
    std::uint32_t slot = 0;
    if (parent) {
        slot = std::uint32_t(parent->children.size());
        // A block's entities are held in drawing order, the order the next refresh asks about them in;
        // an order learned from asking stands.
        if (!parent->children.isEmpty()) {
            Entry* previous = parent->children.back();
            if (!previous->askedNext || previous->learnedAt != m_destroyed) {
                previous->askedNext = child;
                previous->learnedAt = m_destroyed;
            }
        }
        parent->children.push_back(child);
    }
    child->owners.push_back(Owner{parent, kind, slot});
    return false;
}

bool XoHeldEntities::isHeld(std::string_view name, std::string_view owner) const
{
    Entry* e = findAsked(name);
    if (!e || e->owners.empty()) return false;
    if (owner.empty()) return true;
    Entry* parent = m_lastOwner && m_lastOwner->name == owner ? m_lastOwner : find(owner);
    return parent && e->ownerRecord(parent);
}

bool XoHeldEntities::isMesh(std::string_view name, std::string_view owner, bool* held) const
{
    *held = false;
    Entry* e = find(name);
    if (!e || e->owners.empty()) return false;
    if (owner.empty()) {
        *held = true;
        return std::any_of(e->owners.begin(), e->owners.end(),
                           [](const Owner& o) { return o.kind == Kind::Mesh; });
    }
    Entry* parent = find(owner);
    const Owner* record = parent ? e->ownerRecord(parent) : nullptr;
    *held = record != nullptr;
    return record && record->kind == Kind::Mesh;
}

void XoHeldEntities::unlink(Entry* child, Owner* record)
{
    if (Entry* parent = record->owner) {
        // Swap-remove from the owner's children; the child moved into the slot learns its new place.
        QVarLengthArray<Entry*, 1>& list = parent->children;
        const std::uint32_t slot = record->slot;
        Entry* moved = list.back();
        list[slot] = moved;
        list.pop_back();
        if (moved != child) moved->ownerRecord(parent)->slot = slot;
    }
    child->owners.erase(child->owners.begin() + (record - child->owners.data()));
}

void XoHeldEntities::eraseIfUnused(Entry* e)
{
    if (!e || !e->owners.empty() || !e->children.empty()) return;
    if (m_lastOwner == e) m_lastOwner = nullptr;
    if (m_lastHeld == e) m_lastHeld = nullptr;
    m_entries.erase(keyOf(e->name));
    destroy(e);
}

void XoHeldEntities::forget(std::string_view name, std::string_view owner)
{
    Entry* e = find(name);
    if (!e) return;
    if (owner.empty()) {
        std::vector<Entry*> parents;
        while (!e->owners.empty()) {
            parents.push_back(e->owners.back().owner);
            unlink(e, &e->owners.back());
        }
        // The entry last: an owner may be the entry itself.
        for (Entry* parent : parents) {
            if (parent != e) eraseIfUnused(parent);
        }
        eraseIfUnused(e);
        return;
    }
    Entry* parent = find(owner);
    Owner* record = parent ? e->ownerRecord(parent) : nullptr;
    if (!record) return;
    unlink(e, record);
    if (parent != e) eraseIfUnused(parent);
    eraseIfUnused(e);
}

void XoHeldEntities::forgetChildren(std::string_view owner, bool everything)
{
    Entry* parent = find(owner);
    if (!parent) return;
    // By name: forgetting may erase entries, the parent among them.
    std::vector<std::string> children;
    children.reserve(parent->children.size());
    for (const Entry* child : parent->children)
        children.emplace_back(child->name);
    const std::string parentName(parent->name);
    for (const std::string& child : children) {
        bool held = false;
        const bool mesh = isMesh(child, parentName, &held);
        if (!held) continue;
        if (mesh) {
            forget(child, parentName);
        } else if (everything) {
            // Forget first, so an owner cycle ends the recursion.
            forget(child, parentName);
            forgetChildren(child, true);
        }
    }
}

void XoHeldEntities::reserve(std::size_t names)
{
    // The table's own reserve rebuilds it even when it is large enough.
    if (float(names) > float(m_entries.bucket_count()) * m_entries.max_load_factor())
        m_entries.reserve(names);
}

void XoHeldEntities::clear()
{
    destroyAll();
    m_lastOwner = nullptr;
    m_lastHeld = nullptr;
}
