// The host's drawing view: what it draws through the Gi layer, picking, and the camera of its
// OdGsView that orbit, pan and zoom move (the render view follows that camera).
#include "zalDrawingView.h"
#include "zalHostAppTestSupport.h"

#include "DbBlockTableRecord.h"
#include "DbLayerTableRecord.h"

#include <QImage>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <set>

using namespace zalHostAppTest;

namespace {

class DrawingView : public ::testing::Test
{
protected:
    void SetUp() override
    {
        drawing = makeDrawing();
        view.reset(new zalDrawingView(drawing.db.get()));
        view->resize(400, 300);
    }
    void TearDown() override
    {
        view.reset();
        drawing = Drawing();
    }

    Host host;
    Drawing drawing;
    std::unique_ptr<zalDrawingView> view;
};

} // namespace

TEST_F(DrawingView, DrawsEveryEntityExpandsBlocksAndHidesLayersOffOrFrozen)
{
    // Two faces, the block's face through the reference, the line.
    EXPECT_EQ(view->primitiveCount(), 4);
    {
        OdDbLayerTableRecordPtr b = drawing.layerB.safeOpenObject(OdDb::kForWrite);
        b->setIsOff(true);
    }
    view->refreshDrawing();
    EXPECT_EQ(view->primitiveCount(), 3);
    {
        OdDbLayerTableRecordPtr b = drawing.layerB.safeOpenObject(OdDb::kForWrite);
        b->setIsOff(false);
        b->setIsFrozen(true);
    }
    view->refreshDrawing();
    EXPECT_EQ(view->primitiveCount(), 3);
    {
        OdDbLayerTableRecordPtr b = drawing.layerB.safeOpenObject(OdDb::kForWrite);
        b->setIsFrozen(false);
    }
    view->refreshDrawing();
    EXPECT_EQ(view->primitiveCount(), 4);
}

TEST_F(DrawingView, PicksTheEntityUnderTheCursor)
{
    QPointF centre;
    ASSERT_TRUE(view->project(OdGePoint3d(1, 1, 0), centre));
    EXPECT_EQ(view->entityAt(centre.toPoint()), drawing.faceA);
    // The block's face is picked as its reference.
    ASSERT_TRUE(view->project(OdGePoint3d(1, 5, 0), centre));
    EXPECT_EQ(view->entityAt(centre.toPoint()), drawing.reference);
    EXPECT_TRUE(view->entityAt(QPoint(2, 2)).isNull());
}

TEST_F(DrawingView, OrbitPanAndZoomMoveTheGsViewCamera)
{
    OdGsView* gs = view->gsView();
    ASSERT_NE(gs, nullptr);
    QSignalSpy moved(view.get(), &zalDrawingView::cameraChanged);

    const OdGeExtents3d ext = view->modelExtents();
    const OdGePoint3d centre = ext.minPoint() + (ext.maxPoint() - ext.minPoint()) * 0.5;
    EXPECT_TRUE(gs->target().isEqualTo(centre));
    EXPECT_TRUE(gs->isPerspective());

    const OdGePoint3d before = gs->position();
    const double distance = (before - gs->target()).length();
    view->orbit(0.5, 0.2);
    EXPECT_TRUE(gs->target().isEqualTo(centre));
    EXPECT_FALSE(gs->position().isEqualTo(before));
    EXPECT_NEAR((gs->position() - gs->target()).length(), distance, 1e-9);
    EXPECT_EQ(moved.count(), 1);

    const OdGeVector3d offset = gs->position() - gs->target();
    view->pan(QPointF(40, -25));
    EXPECT_FALSE(gs->target().isEqualTo(centre));
    EXPECT_TRUE((gs->position() - gs->target()).isEqualTo(offset));
    EXPECT_EQ(moved.count(), 2);

    const double width = gs->fieldWidth();
    view->zoom(2.0);
    EXPECT_NEAR(gs->fieldWidth(), width / 2.0, 1e-9);
    EXPECT_NEAR((gs->position() - gs->target()).length(), distance / 2.0, 1e-9);
    EXPECT_EQ(moved.count(), 3);
}

TEST_F(DrawingView, PaintsTheDrawingShadedAndAsWireframe)
{
    for (bool shaded : {true, false}) {
        SCOPED_TRACE(shaded);
        view->setShaded(shaded);
        const QImage image = view->grab().toImage();
        ASSERT_FALSE(image.isNull());
        std::set<QRgb> colours;
        int background = 0;
        const QRgb corner = image.pixel(0, 0);
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2) {
                colours.insert(image.pixel(x, y));
                if (image.pixel(x, y) == corner) ++background;
            }
        EXPECT_GT(colours.size(), 3u);
        EXPECT_LT(background, (image.width() / 2) * (image.height() / 2));
    }
}

// A headless run's view paints only its background (nobody sees it), yet picking and the drawn
// picture still work when asked for.
TEST_F(DrawingView, WithoutModelPaintingThePictureIsBackgroundButPickingStillWorks)
{
    view->setPaintingModel(false);
    EXPECT_FALSE(view->isPaintingModel());
    const QImage painted = view->grab().toImage();
    ASSERT_FALSE(painted.isNull());
    std::set<QRgb> colours;
    for (int y = 0; y < painted.height(); y += 2)
        for (int x = 0; x < painted.width(); x += 2)
            colours.insert(painted.pixel(x, y));
    EXPECT_EQ(colours.size(), 1u) << "the model was painted";

    QPointF centre;
    ASSERT_TRUE(view->project(OdGePoint3d(1, 1, 0), centre));
    EXPECT_EQ(view->entityAt(centre.toPoint()), drawing.faceA);
    const QImage drawn = view->renderedImage();
    colours.clear();
    for (int y = 0; y < drawn.height(); y += 2)
        for (int x = 0; x < drawn.width(); x += 2)
            colours.insert(drawn.pixel(x, y));
    EXPECT_GT(colours.size(), 3u);

    view->setPaintingModel(true);
    const QImage again = view->grab().toImage();
    colours.clear();
    for (int y = 0; y < again.height(); y += 2)
        for (int x = 0; x < again.width(); x += 2)
            colours.insert(again.pixel(x, y));
    EXPECT_GT(colours.size(), 3u) << "painting the model again shows it";
}

namespace {

// A pool on a ground plate under a roof slab: the ground is added after the pool and is larger, so
// drawing in the order of the entities (or of their farthest corners) would cover the pool.
struct Layered
{
    OdDbDatabasePtr db;
    OdDbObjectId pool, ground, roof;
};

Layered makeLayered()
{
    Layered d;
    d.db = OdDbDatabase::createObject();
    OdDbBlockTableRecordPtr ms = d.db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    auto add = [&](OdDbFacePtr face, int aci) {
        face->setDatabaseDefaults(d.db.get());
        face->setColorIndex(OdUInt16(aci));
        return ms->appendOdDbEntity(face.get());
    };
    d.pool = add(square(4, 4, 0.05, 2), 5); // blue
    d.ground = add(square(0, 0, 0, 10), 3); // green
    d.roof = add(square(7, 7, 3, 3), 1);    // red, over the far corner
    return d;
}

bool blueish(QRgb c)
{
    return qBlue(c) > qGreen(c) + 20 && qBlue(c) > qRed(c) + 20;
}

bool greenish(QRgb c)
{
    return qGreen(c) > qBlue(c) + 20 && qGreen(c) > qRed(c) + 20;
}

} // namespace

TEST_F(DrawingView, NearestSurfaceIsDrawnAndPickedWhateverTheOrder)
{
    Layered d = makeLayered();
    zalDrawingView layered(d.db.get());
    layered.resize(400, 300);
    QPointF pool, ground, roof;
    ASSERT_TRUE(layered.project(OdGePoint3d(5, 5, 0.05), pool));
    ASSERT_TRUE(layered.project(OdGePoint3d(8, 2, 0), ground));
    ASSERT_TRUE(layered.project(OdGePoint3d(8.5, 8.5, 3), roof));

    EXPECT_EQ(layered.entityAt(pool.toPoint()), d.pool);
    EXPECT_EQ(layered.entityAt(ground.toPoint()), d.ground);
    EXPECT_EQ(layered.entityAt(roof.toPoint()), d.roof);

    const QImage image = layered.renderedImage();
    EXPECT_TRUE(blueish(image.pixel(pool.toPoint()))) << std::hex << image.pixel(pool.toPoint());
    EXPECT_TRUE(greenish(image.pixel(ground.toPoint()))) << std::hex << image.pixel(ground.toPoint());
    const QRgb r = image.pixel(roof.toPoint());
    EXPECT_TRUE(qRed(r) > qGreen(r) + 20 && qRed(r) > qBlue(r) + 20) << std::hex << r;

    // Seen from below, the ground covers the pool and the roof covers nothing.
    OdGsView* gs = layered.gsView();
    gs->setView(OdGePoint3d(5, 5, -20), OdGePoint3d(5, 5, 0), OdGeVector3d::kYAxis, gs->fieldWidth(),
                gs->fieldHeight(), OdGsView::kPerspective);
    layered.refreshDrawing();
    ASSERT_TRUE(layered.project(OdGePoint3d(5, 5, 0.05), pool));
    EXPECT_EQ(layered.entityAt(pool.toPoint()), d.ground);
}

TEST_F(DrawingView, PointUnderTheCursorLiesOnTheSurfaceOrTheGround)
{
    Layered d = makeLayered();
    zalDrawingView layered(d.db.get());
    layered.resize(400, 300);
    QPointF pixel;
    OdGePoint3d world;
    ASSERT_TRUE(layered.project(OdGePoint3d(5.2, 4.7, 0.05), pixel));
    ASSERT_TRUE(layered.pointAt(pixel.toPoint(), world));
    // Within a pixel's footprint of the point projected.
    EXPECT_NEAR(world.x, 5.2, 0.1);
    EXPECT_NEAR(world.y, 4.7, 0.1);
    EXPECT_NEAR(world.z, 0.05, 0.01);

    // Beside the model the ray meets the plane z = 0.
    ASSERT_TRUE(layered.project(OdGePoint3d(14, -3, 0), pixel));
    ASSERT_TRUE(layered.pointAt(pixel.toPoint(), world));
    EXPECT_NEAR(world.x, 14, 0.15);
    EXPECT_NEAR(world.y, -3, 0.15);
    EXPECT_NEAR(world.z, 0.0, 1e-9);
}

TEST_F(DrawingView, HighlightedEntitiesTakeTheSelectionColour)
{
    Layered d = makeLayered();
    zalDrawingView layered(d.db.get());
    layered.resize(400, 300);
    QPointF pool, ground;
    ASSERT_TRUE(layered.project(OdGePoint3d(5, 5, 0.05), pool));
    ASSERT_TRUE(layered.project(OdGePoint3d(8, 2, 0), ground));
    const QRgb before = layered.renderedImage().pixel(pool.toPoint());
    layered.setHighlighted({d.pool});
    const QImage lit = layered.renderedImage();
    const QRgb after = lit.pixel(pool.toPoint());
    // The orange selection colour: more red than before, less blue.
    EXPECT_GT(qRed(after), qRed(before) + 60);
    EXPECT_LT(qBlue(after), qBlue(before));
    EXPECT_EQ(lit.pixel(ground.toPoint()), layered.renderedImage().pixel(ground.toPoint()));
    EXPECT_TRUE(greenish(lit.pixel(ground.toPoint())));
    layered.setHighlighted({});
    EXPECT_EQ(layered.renderedImage().pixel(pool.toPoint()), before);
}

TEST_F(DrawingView, WindowSelectsOnlyEntitiesEntirelyInside)
{
    QPointF a, b;
    // Around face A (0..2 x 0..2) only; face B starts at x = 3.
    ASSERT_TRUE(view->project(OdGePoint3d(-0.2, -0.2, 0), a));
    ASSERT_TRUE(view->project(OdGePoint3d(2.2, 2.2, 0), b));
    QPointF c, e;
    ASSERT_TRUE(view->project(OdGePoint3d(-0.2, 2.2, 0), c));
    ASSERT_TRUE(view->project(OdGePoint3d(2.2, -0.2, 0), e));
    QRectF r(a, b);
    r = r.united(QRectF(c, e)).normalized();
    const std::vector<OdDbObjectId> inside = view->entitiesInside(r.toAlignedRect());
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside.front(), drawing.faceA);
}
