// The entity registry on its own: what it answers after which registrations, what an invalidation
// takes along, and the batch depth without a viewer.
#include "translate/zalEntityRegistry.h"

#include <gtest/gtest.h>

TEST(EntityRegistry, anEntityIsFoundUnderItsOwnersAndUnderAnyOwnerWhenNoneIsAsked)
{
    zalEntityRegistry registry;
    registry.add("E1", "MS");
    registry.add("E1", "B7");
    registry.add("E1", "MS");
    EXPECT_EQ(registry.owners("E1"), QStringList({"MS", "B7"}));
    EXPECT_TRUE(registry.contains("E1", "B7"));
    EXPECT_FALSE(registry.contains("E1", "B8"));
    EXPECT_TRUE(registry.contains("E1"));
    EXPECT_FALSE(registry.contains("E2"));
}

TEST(EntityRegistry, aMaterialOrAnOwnerlessNameIsItsOwnOwner)
{
    zalEntityRegistry registry;
    registry.add("M_AcDbMaterial_3", "MS");
    registry.add("Root", QString());
    EXPECT_EQ(registry.owners("M_AcDbMaterial_3"), QStringList({"M_AcDbMaterial_3"}));
    // A material is held whatever owner is asked for.
    EXPECT_TRUE(registry.contains("M_AcDbMaterial_3", "B9"));
    EXPECT_EQ(registry.owners("Root"), QStringList({"Root"}));
}

TEST(EntityRegistry, invalidatingAnOwnerTakesItsSubEntitiesAlongAndReturnsItsOwners)
{
    zalEntityRegistry registry;
    registry.add("S1", "MS");
    registry.add("S1[SE:oak]", "S1");
    registry.add("S1[SE:rock]", "S1");
    registry.add("Other", "S1");
    EXPECT_EQ(registry.subEntities("S1"), QStringList({"S1[SE:oak]", "S1[SE:rock]"}));

    EXPECT_EQ(registry.invalidate("S1"), QStringList({"MS"}));
    EXPECT_FALSE(registry.contains("S1"));
    EXPECT_FALSE(registry.contains("S1[SE:oak]"));
    EXPECT_FALSE(registry.contains("S1[SE:rock]"));
    EXPECT_TRUE(registry.subEntities("S1").isEmpty());
    // Only sub-entities go with their owner; a plain child stays until it is invalidated itself.
    EXPECT_TRUE(registry.contains("Other", "S1"));
    EXPECT_EQ(registry.invalidate("Other"), QStringList({"S1"}));
    EXPECT_TRUE(registry.isEmpty());
}

TEST(EntityRegistry, batchesNestAndAnUnbalancedEndDoesNotWrapTheDepth)
{
    zalEntityRegistry registry;
    registry.beginBatch("outer");
    registry.beginBatch("inner");
    EXPECT_EQ(registry.batchDepth(), 2u);
    // No viewer: nothing opens.
    EXPECT_FALSE(registry.isBatchOpen());
    registry.endBatch(false);
    registry.endBatch(true);
    registry.endBatch(true);
    EXPECT_EQ(registry.batchDepth(), 0u);
    registry.beginBatch("again");
    EXPECT_EQ(registry.batchDepth(), 1u);
}
