// Input routing of the render widget, by camera mode, on Qt's offscreen platform.
#include "tests/common/zalModuleTestHost.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

namespace {

QVector<XoInputEvent> recordsOf(const QSignalSpy& spy)
{
    QVector<XoInputEvent> records;
    for (const QList<QVariant>& arguments : spy)
        records << arguments.at(0).value<XoInputEvent>();
    return records;
}

QVector<XoInputEvent> ofTypes(const QVector<XoInputEvent>& records, std::initializer_list<int> types)
{
    QVector<XoInputEvent> out;
    for (const XoInputEvent& r : records)
        for (int t : types)
            if (r.type == t) out << r;
    return out;
}

bool same(const XoInputEvent& r, int type, int a, int x, int y)
{
    return r.type == type && r.a == a && r.x == x && r.y == y;
}

// What the host's view-event handler received: the view and the Qt event type of each call.
struct HostCalls
{
    explicit HostCalls(zalHostViewSystem* views)
    {
        connection = QObject::connect(views, &zalHostViewSystem::viewEventHandled,
                                      [this](IzalView* view, int type) { calls << qMakePair(view, type); });
    }
    ~HostCalls() { QObject::disconnect(connection); }
    QList<int> types() const
    {
        QList<int> out;
        for (const auto& call : calls)
            out << call.second;
        return out;
    }
    QList<QPair<IzalView*, int>> calls;
    QMetaObject::Connection connection;
};

} // namespace

class RenderWidgetInput : public zalModuleTestHost
{
protected:
    void SetUp() override
    {
        zalModuleTestHost::SetUp();
        db = newDrawing();
        o = open(db);
        ASSERT_NE(o.widget, nullptr);
        bringUp(o);
        o.recorder->clear();
    }

    void wheel(int delta, const QPoint& at, Qt::Orientation orientation = Qt::Vertical)
    {
        const QPoint angle = orientation == Qt::Vertical ? QPoint(0, delta) : QPoint(delta, 0);
        QWheelEvent event(QPointF(at), QPointF(o.widget->mapToGlobal(at)), QPoint(), angle, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(o.widget, &event);
    }

    OdDbDatabasePtr db;
    Opened o;
};

TEST_F(RenderWidgetInput, cameraModeSendsAClickAndAWheelNotchAsRecords)
{
    o.widget->setCameraMode(true);
    QSignalSpy records(o.widget, &XoUnrealWidget::onInputEvent);
    HostCalls host(this->host->viewSystem());

    QTest::mouseClick(o.widget, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
    const QVector<XoInputEvent> clicks = ofTypes(recordsOf(records), {3, 4});
    ASSERT_EQ(clicks.size(), 2);
    EXPECT_TRUE(same(clicks[0], 3, 0, 10, 20));
    EXPECT_TRUE(same(clicks[1], 4, 0, 10, 20));

    records.clear();
    wheel(120, QPoint(30, 40));
    ASSERT_EQ(records.size(), 1);
    EXPECT_TRUE(same(recordsOf(records)[0], 2, 120, 30, 40));

    // A horizontal wheel (or a tilted one) carries its delta along x.
    records.clear();
    wheel(-240, QPoint(7, 8), Qt::Horizontal);
    ASSERT_EQ(records.size(), 1);
    EXPECT_TRUE(same(recordsOf(records)[0], 2, -240, 7, 8));

    // The session forwards every record to the running viewer.
    const QStringList sent = o.recorder->lines("sendInputEvent");
    EXPECT_TRUE(sent.contains("sendInputEvent type=3 a=0 x=10 y=20"));
    EXPECT_TRUE(sent.contains("sendInputEvent type=4 a=0 x=10 y=20"));
    EXPECT_TRUE(sent.contains("sendInputEvent type=2 a=120 x=30 y=40"));
    EXPECT_TRUE(host.calls.isEmpty());
}

TEST_F(RenderWidgetInput, cameraModeMapsEachButtonAndMoveAndDropsOthers)
{
    o.widget->setCameraMode(true);
    QSignalSpy records(o.widget, &XoUnrealWidget::onInputEvent);
    QTest::mousePress(o.widget, Qt::RightButton, Qt::NoModifier, QPoint(1, 2));
    QTest::mouseRelease(o.widget, Qt::RightButton, Qt::NoModifier, QPoint(1, 2));
    QTest::mousePress(o.widget, Qt::MiddleButton, Qt::NoModifier, QPoint(3, 4));
    QTest::mouseRelease(o.widget, Qt::MiddleButton, Qt::NoModifier, QPoint(3, 4));
    QTest::mousePress(o.widget, Qt::BackButton, Qt::NoModifier, QPoint(5, 6));
    QTest::mouseRelease(o.widget, Qt::BackButton, Qt::NoModifier, QPoint(5, 6));
    QMouseEvent move(QEvent::MouseMove, QPointF(7, 8), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(o.widget, &move);
    QTest::mouseDClick(o.widget, Qt::LeftButton, Qt::NoModifier, QPoint(9, 9));

    const QVector<XoInputEvent> all = recordsOf(records);
    const QVector<XoInputEvent> buttons = ofTypes(all, {5, 6, 7, 8});
    ASSERT_EQ(buttons.size(), 4);
    EXPECT_TRUE(same(buttons[0], 5, 0, 1, 2));
    EXPECT_TRUE(same(buttons[1], 6, 0, 1, 2));
    EXPECT_TRUE(same(buttons[2], 7, 0, 3, 4));
    EXPECT_TRUE(same(buttons[3], 8, 0, 3, 4));
    const QVector<XoInputEvent> moves = ofTypes(all, {1});
    ASSERT_FALSE(moves.isEmpty());
    EXPECT_TRUE(same(moves.last(), 1, 0, 7, 8));
    for (const XoInputEvent& r : all)
        EXPECT_FALSE(r.x == 5 && r.y == 6) << "a back button record of type " << r.type;
}

TEST_F(RenderWidgetInput, withoutCameraModeTheHostPressHandlerGetsTheActiveViewAndTheEvent)
{
    o.widget->setCameraMode(false);
    QSignalSpy records(o.widget, &XoUnrealWidget::onInputEvent);
    HostCalls host(this->host->viewSystem());
    QList<QPair<IzalView*, QEvent*>> presses;
    QObject::connect(o.widget, &QUnrealDbRenderWidget::mousePress,
                     [&](IzalView* view, QEvent* event, bool&) { presses << qMakePair(view, event); });

    QTest::mousePress(o.widget, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
    EXPECT_TRUE(o.widget->isMousePressed());
    ASSERT_EQ(presses.size(), 1);
    EXPECT_EQ(presses.at(0).first, static_cast<IzalView*>(o.view));
    ASSERT_NE(presses.at(0).second, nullptr);
    ASSERT_EQ(host.calls.size(), 1);
    EXPECT_EQ(host.calls.at(0).first, static_cast<IzalView*>(o.view));
    EXPECT_EQ(host.calls.at(0).second, int(QEvent::MouseButtonPress));

    QTest::mouseRelease(o.widget, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
    EXPECT_FALSE(o.widget->isMousePressed());
    wheel(-120, QPoint(5, 5));
    QTest::mouseDClick(o.widget, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
    const QList<int> types = host.types();
    EXPECT_TRUE(types.contains(int(QEvent::MouseButtonRelease)));
    EXPECT_TRUE(types.contains(int(QEvent::Wheel)));
    EXPECT_TRUE(types.contains(int(QEvent::MouseButtonDblClick)));
    EXPECT_TRUE(records.isEmpty());
    EXPECT_TRUE(o.recorder->lines("sendInputEvent").isEmpty());
}

TEST_F(RenderWidgetInput, keysGiveOneRecordEachThroughTheApplicationFilter)
{
    o.widget->setCameraMode(true);
    QSignalSpy records(o.widget, &XoUnrealWidget::onInputEvent);
    QTest::keyClick(o.widget, Qt::Key_W);
    const QVector<XoInputEvent> keys = recordsOf(records);
    ASSERT_EQ(keys.size(), 2);
    EXPECT_TRUE(same(keys[0], 9, Qt::Key_W, 0, 0));
    EXPECT_TRUE(same(keys[1], 10, Qt::Key_W, 0, 0));

    // Without camera mode the host's key handler gets them.
    o.widget->setCameraMode(false);
    records.clear();
    HostCalls host(this->host->viewSystem());
    QTest::keyClick(o.widget, Qt::Key_Escape);
    EXPECT_TRUE(records.isEmpty());
    EXPECT_EQ(host.types(), QList<int>({int(QEvent::KeyPress), int(QEvent::KeyRelease)}));
}

TEST_F(RenderWidgetInput, withoutAnActiveHostViewMouseInputIsDropped)
{
    host->viewSystem()->setActiveView(nullptr);
    for (bool cameraMode : {true, false}) {
        o.widget->setCameraMode(cameraMode);
        QSignalSpy records(o.widget, &XoUnrealWidget::onInputEvent);
        HostCalls handled(host->viewSystem());
        QTest::mouseClick(o.widget, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
        wheel(120, QPoint(1, 1));
        EXPECT_TRUE(records.isEmpty()) << cameraMode;
        EXPECT_TRUE(handled.calls.isEmpty()) << cameraMode;
    }
}

TEST_F(RenderWidgetInput, closingEmitsTheCloseRecord)
{
    QSignalSpy records(o.widget, &XoUnrealWidget::onInputEvent);
    o.widget->close();
    ASSERT_EQ(records.size(), 1);
    EXPECT_TRUE(same(recordsOf(records)[0], 11, 0, 0, 0));
}

TEST_F(RenderWidgetInput, fullScreenSendsTheResolutionOnce)
{
    o.widget->showFullScreen();
    o.widget->resize(1920, 1080);
    ASSERT_TRUE(waitFor([&] { return o.recorder->consoleCommands().contains("r.FullScreenMode 1"); }));
    // The size the queued call saw: nothing has resized the widget since.
    const QSize applied = o.widget->size();
    ASSERT_NE(applied.width(), applied.height());
    o.widget->resize(1280, 720);
    spin(200);
    const QStringList commands = o.recorder->consoleCommands();
    EXPECT_EQ(commands.count("r.FullScreenMode 1"), 1);
    const int index = commands.indexOf("r.FullScreenMode 1");
    ASSERT_LT(index + 1, commands.size());
    EXPECT_EQ(commands.at(index + 1),
              QStringLiteral("r.setRes %1x%2w").arg(applied.width()).arg(applied.height()));
    EXPECT_EQ(commands.filter("r.setRes ").size(), 1);
}
