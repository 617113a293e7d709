#include "tests/common/zalTestHost.h"

#include "IzalApplication.h"
#include "zalHostEventHub.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QStringList>
#include <QWidget>

class zalHostEventSink : public QObject
{
    Q_OBJECT
public:
    QStringList received;
    std::function<void()> onRefresh;

public slots:
    void refresh(const QString& key, const QString& arg)
    {
        received << key + QLatin1Char('=') + arg;
        if (onRefresh) onRefresh();
    }
};

class zalHostEventWidget : public QWidget
{
    Q_OBJECT
public:
    int received = 0;

public slots:
    void refresh(const QString&, const QString&) { ++received; }
};

class zalHostEvents : public ::testing::Test
{
protected:
    zalTestHost host;
    IzalApplication* app = zalApp();
    zalHostEventSink sink;
    const QString widgetEvents =
        QStringLiteral("zalHostEventSink<event-refresh:database_changed>|<event-refresh:dwg_layout_changed>|"
                       "<event-refresh:dwg_cvport_changed>|<event-refresh:view_changed>");
};

TEST_F(zalHostEvents, subscribedEventsArriveAtRefresh)
{
    ASSERT_NE(app, nullptr);
    ASSERT_TRUE(app->subscribeEvents(widgetEvents, &sink));
    EXPECT_EQ(host.app()->fireEvent("<event-refresh:view_changed>", "a"), 1);
    EXPECT_EQ(host.app()->fireEvent("<event-refresh:database_changed>", "b"), 1);
    EXPECT_EQ(host.app()->fireEvent("<event-refresh:selection_changed>", "c"), 0);
    EXPECT_EQ(sink.received,
              QStringList({"<event-refresh:view_changed>=a", "<event-refresh:database_changed>=b"}));
}

TEST_F(zalHostEvents, nothingArrivesAfterUnsubscribe)
{
    ASSERT_TRUE(app->subscribeEvents(widgetEvents, &sink));
    ASSERT_TRUE(app->unsubscribeEvents(widgetEvents, &sink));
    EXPECT_EQ(host.app()->fireEvent("<event-refresh:view_changed>", "a"), 0);
    EXPECT_TRUE(sink.received.isEmpty());
    EXPECT_FALSE(app->unsubscribeEvents(widgetEvents, &sink));
}

TEST_F(zalHostEvents, partialUnsubscribeKeepsTheOtherEvents)
{
    ASSERT_TRUE(app->subscribeEvents("zalHostEventSink|<e1>|<e2>", &sink));
    ASSERT_TRUE(app->unsubscribeEvents("<e1>", &sink));
    host.app()->fireEvent("<e1>", "x");
    host.app()->fireEvent("<e2>", "y");
    EXPECT_EQ(sink.received, QStringList({"<e2>=y"}));
}

TEST_F(zalHostEvents, subscribingTwiceDeliversOnce)
{
    ASSERT_TRUE(app->subscribeEvents("<e1>", &sink));
    ASSERT_TRUE(app->subscribeEvents("<e1>|<e1>", &sink));
    EXPECT_EQ(host.app()->fireEvent("<e1>", "x"), 1);
    EXPECT_EQ(sink.received.size(), 1);
}

TEST_F(zalHostEvents, classNameOfAnotherClassIsRefused)
{
    EXPECT_FALSE(app->subscribeEvents("QUnrealDbRenderWidget<e1>", &sink));
    EXPECT_FALSE(app->subscribeEvents("", &sink));
    EXPECT_FALSE(app->subscribeEvents("<e1>", nullptr));
    EXPECT_EQ(host.app()->fireEvent("<e1>", "x"), 0);
}

TEST_F(zalHostEvents, destroyedReceiverIsDropped)
{
    auto* other = new zalHostEventSink;
    ASSERT_TRUE(app->subscribeEvents("<e1>", other));
    ASSERT_TRUE(app->subscribeEvents("<e1>", &sink));
    delete other;
    EXPECT_EQ(host.app()->fireEvent("<e1>", "x"), 1);
    EXPECT_EQ(host.app()->events()->subscribers("<e1>"), QStringList({"zalHostEventSink"}));
}

TEST_F(zalHostEvents, destroyedWidgetIsDropped)
{
    auto* widget = new zalHostEventWidget;
    ASSERT_TRUE(app->subscribeEvents("zalHostEventWidget<e1>|<e2>", widget));
    EXPECT_EQ(host.app()->fireEvent("<e2>", "x"), 1);
    delete widget;
    EXPECT_EQ(host.app()->fireEvent("<e1>", "x"), 0);
    EXPECT_TRUE(host.app()->events()->subscribers("<e2>").isEmpty());
}

TEST_F(zalHostEvents, receiverMayUnsubscribeAnotherWhileHandling)
{
    zalHostEventSink second;
    ASSERT_TRUE(app->subscribeEvents("<e1>", &sink));
    ASSERT_TRUE(app->subscribeEvents("<e1>", &second));
    sink.onRefresh = [&]() { app->unsubscribeEvents("<e1>", &second); };
    EXPECT_EQ(host.app()->fireEvent("<e1>", "x"), 1);
    EXPECT_TRUE(second.received.isEmpty());
}

TEST_F(zalHostEvents, broadcastViewEventReachesSubscribers)
{
    ASSERT_TRUE(app->subscribeEvents(widgetEvents, &sink));
    app->viewEvent("unrealviewportscene", "<event-refresh:view_changed>", true);
    app->viewEvent("unrealviewportscene", "<event-refresh:view_changed>", false);
    EXPECT_EQ(sink.received, QStringList({"<event-refresh:view_changed>=unrealviewportscene"}));
}

#include "zalHostEventHubTest.moc"
