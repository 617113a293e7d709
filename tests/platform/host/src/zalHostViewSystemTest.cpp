#include "tests/common/zalTestHost.h"

#include "IzalApplication.h"
#include "IzalConsole.h"
#include "IzalView.h"
#include "IzalViewSystem.h"
#include "zalHostConsole.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include "DbDatabase.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

// Stands for a module's view widget: it emits what the render widget emits on a mouse press.
class zalHostTestViewWidget : public QWidget
{
    Q_OBJECT
public:
    OdDbDatabase* database = nullptr;
    QWidget* parentGiven = nullptr;

signals:
    void mousePress(IzalView* view, QEvent* event, bool& accepted);
};

class zalHostViews : public ::testing::Test
{
protected:
    zalTestHost host;
    IzalViewSystem* views = zalService<IzalViewSystem>(IzalViewSystem_id);
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    int factoryCalls = 0;

    zalViewFactory factory()
    {
        return [this](OdDbDatabase* database, QWidget* parent, QWidget*) -> QWidget* {
            ++factoryCalls;
            auto* widget = new zalHostTestViewWidget;
            widget->database = database;
            widget->parentGiven = parent;
            return widget;
        };
    }
};

TEST_F(zalHostViews, registeredTypeCarriesItsTitle)
{
    ASSERT_NE(views, nullptr);
    EXPECT_TRUE(views->registerViewType("UnrealRender", "Navigation", factory()));
    EXPECT_TRUE(host.app()->viewSystem()->hasViewType("UnrealRender"));
    EXPECT_EQ(host.app()->viewSystem()->viewTypeTitle("UnrealRender"), "Navigation");
    EXPECT_FALSE(views->registerViewType("UnrealRender", "Again", factory()));
    EXPECT_FALSE(views->registerViewType("", "Empty", factory()));
    EXPECT_FALSE(views->registerViewType("NoFactory", "None", zalViewFactory()));
}

TEST_F(zalHostViews, unregisteredTypeIsGone)
{
    ASSERT_TRUE(views->registerViewType("UnrealRender", "Navigation", factory()));
    EXPECT_TRUE(views->unregisterViewType("UnrealRender"));
    EXPECT_FALSE(host.app()->viewSystem()->hasViewType("UnrealRender"));
    EXPECT_FALSE(views->unregisterViewType("UnrealRender"));
    EXPECT_EQ(host.app()->viewSystem()->openView("UnrealRender", db.get()), nullptr);
    EXPECT_EQ(factoryCalls, 0);
}

TEST_F(zalHostViews, openingAViewCallsTheFactoryWithTheDatabase)
{
    ASSERT_TRUE(views->registerViewType("UnrealRender", "Navigation", factory()));
    QWidget area;
    zalHostView* view = host.app()->viewSystem()->openView("UnrealRender", db.get(), &area);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(factoryCalls, 1);
    auto* widget = qobject_cast<zalHostTestViewWidget*>(view->widget());
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->database, db.get());
    EXPECT_EQ(widget->parentGiven, &area);
    EXPECT_EQ(widget->parentWidget(), &area);
    EXPECT_EQ(view->typeName(), "UnrealRender");
    EXPECT_EQ(view->database(), db.get());
    EXPECT_EQ(views->view(db.get()), static_cast<IzalView*>(view));
    EXPECT_EQ(views->activeView(), static_cast<IzalView*>(view));
}

TEST_F(zalHostViews, noViewForAnotherDatabaseOrWithoutViews)
{
    OdDbDatabasePtr other = OdDbDatabase::createObject();
    EXPECT_EQ(views->activeView(), nullptr);
    EXPECT_EQ(views->view(db.get()), nullptr);
    ASSERT_TRUE(views->registerViewType("UnrealRender", "Navigation", factory()));
    host.app()->viewSystem()->openView("UnrealRender", db.get());
    EXPECT_EQ(views->view(other.get()), nullptr);
    EXPECT_EQ(views->view(nullptr), nullptr);
}

TEST_F(zalHostViews, viewOfADatabasePrefersTheActiveOne)
{
    ASSERT_TRUE(views->registerViewType("A", "A", factory()));
    ASSERT_TRUE(views->registerViewType("B", "B", factory()));
    OdDbDatabasePtr other = OdDbDatabase::createObject();
    zalHostViewSystem* system = host.app()->viewSystem();
    zalHostView* a = system->openView("A", db.get());
    zalHostView* b = system->openView("B", db.get());
    zalHostView* c = system->openView("A", other.get());
    EXPECT_EQ(views->activeView(), static_cast<IzalView*>(c));
    EXPECT_EQ(views->view(db.get()), static_cast<IzalView*>(b));
    system->setActiveView(a);
    EXPECT_EQ(views->view(db.get()), static_cast<IzalView*>(a));
    EXPECT_EQ(views->view(db.get())->typeName(), "A");
}

TEST_F(zalHostViews, closingTheWidgetClosesTheView)
{
    ASSERT_TRUE(views->registerViewType("UnrealRender", "Navigation", factory()));
    zalHostView* view = host.app()->viewSystem()->openView("UnrealRender", db.get());
    delete view->widget();
    EXPECT_EQ(views->view(db.get()), nullptr);
    EXPECT_EQ(views->activeView(), nullptr);
    EXPECT_TRUE(host.app()->viewSystem()->views().isEmpty());
}

TEST_F(zalHostViews, closingTheViewDeletesTheWidget)
{
    ASSERT_TRUE(views->registerViewType("UnrealRender", "Navigation", factory()));
    zalHostView* view = host.app()->viewSystem()->openView("UnrealRender", db.get());
    QPointer<QWidget> widget = view->widget();
    host.app()->viewSystem()->closeView(view);
    EXPECT_TRUE(widget.isNull());
}

TEST_F(zalHostViews, factoryWithoutWidgetOpensNothing)
{
    ASSERT_TRUE(views->registerViewType("Broken", "Broken", [](OdDbDatabase*, QWidget*, QWidget*) {
        return static_cast<QWidget*>(nullptr);
    }));
    EXPECT_EQ(host.app()->viewSystem()->openView("Broken", db.get()), nullptr);
    EXPECT_EQ(views->activeView(), nullptr);
}

TEST_F(zalHostViews, activeViewUpdates)
{
    ASSERT_TRUE(views->registerViewType("UnrealRender", "Navigation", factory()));
    zalHostView* view = host.app()->viewSystem()->openView("UnrealRender", db.get());
    views->activeView()->update();
    zalApp()->updateApplication();
    EXPECT_EQ(view->updateCount(), 2);
}

TEST_F(zalHostViews, mousePressReachesTheHostsHandler)
{
    ASSERT_TRUE(views->registerViewType("UnrealRender", "Navigation", factory()));
    zalHostView* view = host.app()->viewSystem()->openView("UnrealRender", db.get());
    auto* widget = qobject_cast<zalHostTestViewWidget*>(view->widget());

    auto* console = zalService<IzalConsole>(IzalConsole_id);
    QByteArray slot;
    QObject* receiver = console->viewEventReceiver(db.get(), QEvent::MouseButtonPress, slot);
    ASSERT_NE(receiver, nullptr);
    ASSERT_TRUE(
        QObject::connect(widget, SIGNAL(mousePress(IzalView*, QEvent*, bool&)), receiver, slot.constData()));

    QList<int> handled;
    QObject::connect(host.app()->viewSystem(), &zalHostViewSystem::viewEventHandled,
                     [&handled](IzalView*, int type) { handled << type; });
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    bool accepted = false;
    emit widget->mousePress(views->activeView(), &press, accepted);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(handled, QList<int>({int(QEvent::MouseButtonPress)}));
}

TEST(zalHostViewEvents, noReceiverWithoutViewSystem)
{
    zalTestHost host(zalHostOptions::Console);
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    QByteArray slot;
    EXPECT_EQ(
        zalService<IzalConsole>(IzalConsole_id)->viewEventReceiver(db.get(), QEvent::MouseButtonPress, slot),
        nullptr);
    EXPECT_TRUE(slot.isEmpty());
}

TEST(zalHostViewEvents, noReceiverWithoutDatabaseOrForOtherEvents)
{
    zalTestHost host;
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    auto* console = zalService<IzalConsole>(IzalConsole_id);
    QByteArray slot;
    EXPECT_EQ(console->viewEventReceiver(nullptr, QEvent::MouseButtonPress, slot), nullptr);
    EXPECT_EQ(console->viewEventReceiver(db.get(), QEvent::Resize, slot), nullptr);
    for (QEvent::Type type :
         {QEvent::MouseMove, QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
          QEvent::MouseButtonDblClick, QEvent::Wheel, QEvent::KeyPress, QEvent::KeyRelease})
        EXPECT_NE(console->viewEventReceiver(db.get(), type, slot), nullptr) << int(type);
}

#include "zalHostViewSystemTest.moc"
