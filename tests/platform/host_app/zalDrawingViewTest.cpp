// The host's drawing view: what it draws through the Gi layer, picking, and the camera of its
// OdGsView that orbit, pan and zoom move (the render view follows that camera).
#include "zalDrawingView.h"
#include "zalHostAppTestSupport.h"

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
