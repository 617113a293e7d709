#include "translate/zalEntityRegistry.h"

#include "XoRemoteRenderSenderFlattener.h"

#include <set>

namespace {

bool ownsItself(const QString& name, const QString& owner)
{
    return owner.isEmpty() || name.contains(QLatin1String("_AcDbMaterial_"));
}

std::set<const zalEntityRegistry*>& aliveRegistries()
{
    static std::set<const zalEntityRegistry*> alive;
    return alive;
}

} // namespace

zalEntityRegistry::zalEntityRegistry()
{
    aliveRegistries().insert(this);
}

zalEntityRegistry::~zalEntityRegistry()
{
    aliveRegistries().erase(this);
}

bool zalEntityRegistry::isAlive(const zalEntityRegistry* registry)
{
    return aliveRegistries().count(registry) != 0;
}

void zalEntityRegistry::add(const QString& name, const QString& owner)
{
    const bool own = ownsItself(name, owner);
    const QString& listed = own ? name : owner;
    Owners& owners = m_owners[name];
    if (!owners.any) {
        owners.first = listed;
        owners.any = true;
    } else if (!owners.contains(listed)) {
        owners.more.append(listed);
    }
    if (!own && name.contains(QLatin1String("[SE:"))) {
        QStringList& subs = m_subEntities[owner];
        if (!subs.contains(name)) subs.append(name);
    }
}

bool zalEntityRegistry::contains(const QString& name, const QString& owner) const
{
    const auto it = m_owners.find(name);
    if (it == m_owners.end()) return false;
    // A listed name always has a first owner. The owners first: nearly every call asks about an entity
    // under the owner it was listed under, and ownsItself searches the name.
    return it->second.contains(owner) || ownsItself(name, owner);
}

QStringList zalEntityRegistry::owners(const QString& name) const
{
    const auto it = m_owners.find(name);
    if (it == m_owners.end()) return QStringList();
    QStringList all{it->second.first};
    all.append(it->second.more);
    return all;
}

QStringList zalEntityRegistry::subEntities(const QString& owner) const
{
    const auto it = m_subEntities.find(owner);
    return it == m_subEntities.end() ? QStringList() : it->second;
}

void zalEntityRegistry::reserve(int names)
{
    // The table's own reserve rebuilds it even when it is large enough.
    if (float(names) > float(m_owners.bucket_count()) * m_owners.max_load_factor())
        m_owners.reserve(std::size_t(names));
}

QStringList zalEntityRegistry::invalidate(const QString& name)
{
    const QStringList all = owners(name);
    m_owners.erase(name);
    const auto subs = m_subEntities.find(name);
    if (subs != m_subEntities.end()) {
        // Erasing shifts the table's entries: the list is taken out first.
        const QStringList taken = std::move(subs.value());
        m_subEntities.erase(subs);
        for (const QString& sub : taken)
            m_owners.erase(sub);
    }
    return all;
}

void zalEntityRegistry::beginBatch(const char* name)
{
    ++m_depth;
    if (!m_batchOpen && m_sender && m_sender->isViewerStarted()) {
        m_sender->beginTransaction(m_heldName ? m_heldName : name);
        m_batchOpen = true;
    }
}

void zalEntityRegistry::holdBatch(const char* name)
{
    if (m_depth == 0) m_heldName = name;
    ++m_depth;
}

void zalEntityRegistry::endBatch(bool fullUpdate)
{
    // Unbalanced ends (a batch opened before a viewer restart) must not wrap the counter.
    if (m_depth == 0) return;
    --m_depth;
    if (m_depth == 0) m_heldName = nullptr;
    if (m_depth == 0 && m_batchOpen && m_sender && m_sender->isViewerStarted()) {
        m_sender->endTransaction(fullUpdate);
        m_batchOpen = false;
    }
}
