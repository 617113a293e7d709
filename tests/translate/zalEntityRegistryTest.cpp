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

TEST(EntityRegistry, answersStayRightAsNamesAreAddedErasedAndAddedAgainUnderManyOwners)
{
    // The first owner of a name is kept apart from the rest: each must still be found, listed once, in
    // the order it came, and forgotten with the name.
    zalEntityRegistry registry;
    QStringList blocks;
    for (int i = 0; i < 50; ++i) {
        blocks << QString("B%1").arg(i);
        registry.add("E", blocks.last());
        registry.add("E", blocks.first()); // repeats add nothing
    }
    EXPECT_EQ(registry.owners("E"), blocks);
    for (const QString& block : blocks)
        EXPECT_TRUE(registry.contains("E", block)) << block.toStdString();
    EXPECT_FALSE(registry.contains("E", "B50"));

    EXPECT_EQ(registry.invalidate("E"), blocks);
    EXPECT_FALSE(registry.contains("E"));
    EXPECT_FALSE(registry.contains("E", "B0"));
    EXPECT_TRUE(registry.owners("E").isEmpty());
    EXPECT_TRUE(registry.invalidate("E").isEmpty());

    // Added again: only the new owner, none of the old ones.
    registry.add("E", "B7");
    EXPECT_EQ(registry.owners("E"), QStringList({"B7"}));
    EXPECT_FALSE(registry.contains("E", "B0"));
    EXPECT_TRUE(registry.contains("E", "B7"));
    // A material added under an owner, then again under another, is still listed as its own owner once.
    registry.add("M_AcDbMaterial_1", "B1");
    registry.add("M_AcDbMaterial_1", "B2");
    EXPECT_EQ(registry.owners("M_AcDbMaterial_1"), QStringList({"M_AcDbMaterial_1"}));
}

TEST(EntityRegistry, namesAndOwnersApartOnlyInLetterCaseOrAfterANulAreApart)
{
    zalEntityRegistry registry;
    const QString a = QString::fromUtf8("A\0B", 3), b = QString::fromUtf8("A\0C", 3);
    registry.add(a, "Ms");
    registry.add("e", b);
    EXPECT_TRUE(registry.contains(a, "Ms"));
    EXPECT_FALSE(registry.contains(a, "MS"));
    EXPECT_FALSE(registry.contains(b));
    EXPECT_FALSE(registry.contains(QStringLiteral("A")));
    EXPECT_FALSE(registry.contains("E"));
    EXPECT_TRUE(registry.contains("e", b));
    EXPECT_FALSE(registry.contains("e", a));
    registry.add("e", a);
    EXPECT_EQ(registry.owners("e"), QStringList({b, a}));
    EXPECT_EQ(registry.invalidate(a), QStringList({"Ms"}));
    EXPECT_TRUE(registry.contains("e", a)) << "invalidating a name leaves the names it owns";
}

TEST(EntityRegistry, reservingRoomKeepsEveryNameAndItsOwners)
{
    zalEntityRegistry registry;
    for (int i = 0; i < 200; ++i)
        registry.add(QString("E%1").arg(i), QString("B%1").arg(i % 7));
    registry.add("E3", "B9");
    registry.reserve(100000);
    registry.reserve(1);
    for (int i = 0; i < 200; ++i)
        EXPECT_TRUE(registry.contains(QString("E%1").arg(i), QString("B%1").arg(i % 7))) << i;
    EXPECT_EQ(registry.owners("E3"), QStringList({"B3", "B9"}));
    EXPECT_FALSE(registry.contains("E200"));
}
