// The drag tracker: its drawable, the entity it moves with the cursor, its hooks, and the view it
// shows the entity in while a point is asked.
#include "zalDragTracker.h"

#include "fountain/zalDbWaterFountain.h"

#include "tests/common/zalRecordingDraw.h"

#include "DbDatabase.h"
#include "GsView.h"
#include "StaticRxObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// A view that keeps the drawables it was given.
class ListView : public OdGsView
{
public:
    OdGsDevice* device() const override { return nullptr; }
    RenderMode mode() const override { return kWireframe; }
    void setMode(RenderMode) override {}
    bool add(OdGiDrawable* drawable) override
    {
        shown.push_back(drawable);
        return true;
    }
    bool erase(OdGiDrawable* drawable) override
    {
        auto it = std::find(shown.begin(), shown.end(), drawable);
        if (it == shown.end()) return false;
        shown.erase(it);
        return true;
    }
    void eraseAll() override { shown.clear(); }
    int numDrawables() const override { return int(shown.size()); }
    void update() override {}
    void setView(const OdGePoint3d&, const OdGePoint3d&, const OdGeVector3d&, double, double,
                 Projection) override
    {
    }
    OdGePoint3d position() const override { return OdGePoint3d(0, 0, 1); }
    OdGePoint3d target() const override { return OdGePoint3d(); }
    OdGeVector3d upVector() const override { return OdGeVector3d::kYAxis; }
    double fieldWidth() const override { return 10; }
    double fieldHeight() const override { return 10; }
    bool isPerspective() const override { return false; }
    double focalLength() const override { return 1; }
    void setLensLength(double) override {}
    double lensLength() const override { return 50; }
    OdGeMatrix3d eyeToWorldTransform() const override { return OdGeMatrix3d(); }
    OdGeMatrix3d worldToEyeTransform() const override { return OdGeMatrix3d(); }

    std::vector<OdGiDrawable*> shown;
};

// A tracker of a placing command: refreshes on update and puts points on a terrain at height 2.5.
class TerrainTracker : public zalDragTracker
{
public:
    int updates = 0;
    OdDbEntity* updated = nullptr;

protected:
    void subUpdate(OdSmartPtr<OdDbEntity> entity) override
    {
        ++updates;
        updated = entity.get();
    }
    bool getElevationAt(OdSmartPtr<OdDbEntity>, OdGePoint3d, double& elevation) override
    {
        elevation = 2.5;
        return true;
    }
};

class DragTracker : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!zalDbWaterFountain::desc()) zalDbWaterFountain::rxInit();
        db = OdDbDatabase::createObject();
        fountain = zalDbWaterFountain::createObject();
        fountain->setDatabaseDefaults(db);
    }

    OdDbDatabasePtr db;
    zalDbWaterFountainPtr fountain;
};

TEST_F(DragTracker, isRegisteredWithTheLibraryAndCreatedThroughItsClass)
{
    ASSERT_NE(zalDragTracker::desc(), nullptr);
    EXPECT_EQ(zalDragTracker::desc()->name(), OdString(L"zalDragTracker"));
    zalDragTrackerPtr tracker = zalDragTracker::createObject();
    ASSERT_FALSE(tracker.isNull());
    EXPECT_TRUE(tracker->isKindOf(OdEdPointTracker::desc()));
    EXPECT_FALSE(zalDragTracker::cast(tracker.get()).isNull());
    EXPECT_THROW(zalDragTracker::cast(db.get()), OdError_NotThatKindOfClass);
}

TEST_F(DragTracker, withoutInitThereIsNoEntityAndUpdateDoesNothing)
{
    zalDragTrackerPtr tracker = zalDragTracker::createObject();
    EXPECT_TRUE(tracker->getEntity().isNull());
    EXPECT_NO_THROW(tracker->update());
    OdStaticRxObject<ListView> view;
    EXPECT_EQ(tracker->addDrawables(&view), 0);
    EXPECT_TRUE(view.shown.empty());
}

TEST_F(DragTracker, initHoldsTheEntityAndStartsAtThePoint)
{
    zalDragTrackerPtr tracker = zalDragTracker::createObject();
    tracker->init(fountain, OdGePoint3d(1, 2, 3));
    EXPECT_EQ(tracker->getEntity().get(), fountain.get());
    EXPECT_EQ(tracker->lastPoint(), OdGePoint3d(1, 2, 3));
    // A second init replaces the drawable.
    zalDbWaterFountainPtr other = zalDbWaterFountain::createObject();
    tracker->init(other, OdGePoint3d(0, 0, 0));
    EXPECT_EQ(tracker->getEntity().get(), other.get());
    EXPECT_EQ(fountain->numRefs(), 1);
}

TEST_F(DragTracker, updateOfTheBaseClassRefusesAndASubclassGetsTheEntity)
{
    zalDragTrackerPtr tracker = zalDragTracker::createObject();
    tracker->init(fountain, OdGePoint3d());
    try {
        tracker->update();
        FAIL() << "the base class updated";
    } catch (const OdError& error) {
        EXPECT_EQ(error.code(), OdResult(3));
    }

    OdStaticRxObject<TerrainTracker> terrain;
    terrain.update();
    EXPECT_EQ(terrain.updates, 0);
    terrain.init(fountain, OdGePoint3d());
    terrain.update();
    EXPECT_EQ(terrain.updates, 1);
    EXPECT_EQ(terrain.updated, fountain.get());
}

TEST_F(DragTracker, cursorPointsMoveTheEntityAndTheLastPointIsKept)
{
    zalDragTrackerPtr tracker = zalDragTracker::createObject();
    tracker->init(fountain, OdGePoint3d(1, 1, 0));
    tracker->setValue(OdGePoint3d(4, 5, 0));
    EXPECT_EQ(fountain->transform().getCsOrigin(), OdGePoint3d(3, 4, 0));
    tracker->setValue(OdGePoint3d(2, 1, 1));
    EXPECT_EQ(fountain->transform().getCsOrigin(), OdGePoint3d(1, 0, 1));
    EXPECT_EQ(tracker->lastPoint(), OdGePoint3d(2, 1, 1));
}

TEST_F(DragTracker, theElevationHookPutsCursorPointsOnTheTerrain)
{
    OdStaticRxObject<TerrainTracker> terrain;
    terrain.init(fountain, OdGePoint3d());
    terrain.setValue(OdGePoint3d(3, 3, 9));
    EXPECT_EQ(terrain.lastPoint(), OdGePoint3d(3, 3, 2.5));
    EXPECT_EQ(fountain->transform().getCsOrigin(), OdGePoint3d(3, 3, 2.5));
}

TEST_F(DragTracker, theViewShowsTheDrawableWhileThePromptRuns)
{
    zalDragTrackerPtr tracker = zalDragTracker::createObject();
    tracker->init(fountain, OdGePoint3d());
    OdStaticRxObject<ListView> view;
    EXPECT_EQ(tracker->addDrawables(&view), 1);
    ASSERT_EQ(view.shown.size(), 1u);

    // The drawable draws the entity itself and says it is an entity.
    zalRecordingWorldDraw worldDraw;
    EXPECT_TRUE(view.shown[0]->worldDraw(&worldDraw));
    const std::vector<zalRecordedPrimitive> nested = worldDraw.ofKind("draw");
    ASSERT_EQ(nested.size(), 1u);
    EXPECT_EQ(nested[0].drawable, static_cast<const OdGiDrawable*>(fountain.get()));
    EXPECT_EQ(view.shown[0]->setAttributes(&worldDraw.traits), 257u);
    EXPECT_FALSE(view.shown[0]->isPersistent());

    tracker->removeDrawables(&view);
    EXPECT_TRUE(view.shown.empty());
}

} // namespace
