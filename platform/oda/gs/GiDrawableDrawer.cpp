#include "GiDrawableDrawer.h"

#include "GiSubEntityTraits.h"
#include "GiWorldDraw.h"

#include "DbBlockReference.h"
#include "DbBlockTableRecord.h"
#include "DbEntity.h"
#include "DbObjectIterator.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

std::mutex& registryMutex()
{
    static std::mutex m;
    return m;
}

std::vector<const OdGiDrawableDrawer*>& registry()
{
    static std::vector<const OdGiDrawableDrawer*> drawers;
    return drawers;
}

// Entities carry their colour, layer and material as traits; the database layer leaves that to us.
class EntityDrawer : public OdGiDrawableDrawer
{
public:
    bool handles(const OdGiDrawable* drawable) const override
    {
        return dynamic_cast<const OdDbEntity*>(drawable) != nullptr;
    }
    std::uint32_t setAttributes(const OdGiDrawable* drawable, OdGiDrawableTraits* traits) const override
    {
        const auto* entity = static_cast<const OdDbEntity*>(drawable);
        std::uint32_t flags = drawable->setAttributes(traits) | OdGiDrawable::kDrawableIsAnEntity;
        if (entity->visibility() == OdDb::kInvisible) flags |= OdGiDrawable::kDrawableIsInvisible;
        if (auto* sub = dynamic_cast<OdGiSubEntityTraits*>(traits)) {
            sub->setTrueColor(entity->entityColor());
            sub->setLayer(entity->layerId());
            sub->setMaterial(entity->materialId());
        }
        return flags;
    }
};

// The block's entities under the reference's transform (the block's origin moved to the insertion point).
class BlockReferenceDrawer : public EntityDrawer
{
public:
    bool handles(const OdGiDrawable* drawable) const override
    {
        return dynamic_cast<const OdDbBlockReference*>(drawable) != nullptr;
    }
    std::uint32_t setAttributes(const OdGiDrawable* drawable, OdGiDrawableTraits* traits) const override
    {
        return EntityDrawer::setAttributes(drawable, traits) | OdGiDrawable::kDrawableUsesNesting;
    }
    bool worldDraw(const OdGiDrawable* drawable, OdGiWorldDraw* wd) const override
    {
        const auto* reference = static_cast<const OdDbBlockReference*>(drawable);
        OdDbBlockTableRecordPtr record =
            OdDbBlockTableRecord::cast(reference->blockTableRecord().openObject());
        if (!record) return true;
        // blockTransform already moves the block origin to the insertion point.
        wd->geometry().pushModelTransform(reference->blockTransform());
        for (OdDbObjectIteratorPtr it = record->newIterator(); !it->done(); it->step()) {
            OdDbEntityPtr entity = it->entity();
            if (entity) wd->geometry().draw(entity.get());
        }
        wd->geometry().popModelTransform();
        return true;
    }
};

// A block record draws its entities in order.
class BlockRecordDrawer : public OdGiDrawableDrawer
{
public:
    bool handles(const OdGiDrawable* drawable) const override
    {
        return dynamic_cast<const OdDbBlockTableRecord*>(drawable) != nullptr;
    }
    bool worldDraw(const OdGiDrawable* drawable, OdGiWorldDraw* wd) const override
    {
        const auto* record = static_cast<const OdDbBlockTableRecord*>(drawable);
        for (OdDbObjectIteratorPtr it = record->newIterator(); !it->done(); it->step()) {
            OdDbEntityPtr entity = it->entity();
            if (entity) wd->geometry().draw(entity.get());
        }
        return true;
    }
};

struct BuiltInDrawers
{
    EntityDrawer entity;
    BlockReferenceDrawer reference;
    BlockRecordDrawer record;
    BuiltInDrawers()
    {
        OdGiDrawableDrawer::addDrawer(&entity);
        OdGiDrawableDrawer::addDrawer(&reference);
        OdGiDrawableDrawer::addDrawer(&record);
    }
};

const BuiltInDrawers& builtIns()
{
    static const BuiltInDrawers drawers;
    return drawers;
}

} // namespace

void OdGiDrawableDrawer::addDrawer(const OdGiDrawableDrawer* drawer)
{
    if (!drawer) return;
    std::lock_guard<std::mutex> lock(registryMutex());
    registry().push_back(drawer);
}

void OdGiDrawableDrawer::removeDrawer(const OdGiDrawableDrawer* drawer)
{
    std::lock_guard<std::mutex> lock(registryMutex());
    auto& r = registry();
    r.erase(std::remove(r.begin(), r.end(), drawer), r.end());
}

const OdGiDrawableDrawer* OdGiDrawableDrawer::drawerFor(const OdGiDrawable* drawable)
{
    builtIns();
    std::lock_guard<std::mutex> lock(registryMutex());
    const auto& r = registry();
    for (auto it = r.rbegin(); it != r.rend(); ++it) {
        if ((*it)->handles(drawable)) return *it;
    }
    return nullptr;
}
