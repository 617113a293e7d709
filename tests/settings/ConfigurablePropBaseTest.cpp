// The callback-driven property source on its own: no host, no services.
#include "settings/ConfigurablePropBase.h"

#include "RxObjectImpl.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

std::string utf8(const OdString& text)
{
    return text.toUtf8();
}

// Counts how often the callbacks' captures die: once per source destruction.
struct DeathCounter
{
    explicit DeathCounter(std::atomic<int>& deaths) : deaths(deaths) {}
    ~DeathCounter() { ++deaths; }
    std::atomic<int>& deaths;
};

bool describe(OdPropContext& context)
{
    context.root().addCategory(L"Sky").addProperty(L"North", L"0", L"double").setAttribute(L"Min", -180.0);
    return true;
}

TEST(ConfigurablePropBaseTest, sourceWithOnlyTheValuesCallbackOffersNothingAndRejectsEdits)
{
    OdSmartPtr<ConfigurablePropBase> source = OdRxObjectImpl<ConfigurablePropBase>::createObject(&describe);
    OdArray<OdString> values, second;
    EXPECT_FALSE(source->getPropertyPossibleValues(L"Sky/North", values, second));
    EXPECT_TRUE(values.isEmpty());
    OdPropSource::Action_t action = OdPropSource::kReloadPage;
    EXPECT_FALSE(source->setPropertyValue(L"Sky/North", L"5", action));
    EXPECT_EQ(action, OdPropSource::kReloadPage);

    OdPropContext context;
    EXPECT_TRUE(source->getPropertyValues(context));
    EXPECT_NE(context.find(L"Sky/North"), nullptr);
}

TEST(ConfigurablePropBaseTest, emptySourceAnswersFalseEverywhere)
{
    OdSmartPtr<ConfigurablePropBase> source = OdRxObjectImpl<ConfigurablePropBase>::createObject();
    OdPropContext context;
    EXPECT_FALSE(source->getPropertyValues(context));
    OdString text(L"unchanged");
    EXPECT_FALSE(source->getPropertyValues(text));
    EXPECT_EQ(utf8(text), "unchanged");
    EXPECT_TRUE(source->pageTitle().isEmpty());
    EXPECT_EQ(source->pageOrder(), 100);
    EXPECT_EQ(source->numRefs(), 1);
}

TEST(ConfigurablePropBaseTest, operationsGoToTheirCallbacks)
{
    QStringList calls;
    OdSmartPtr<ConfigurablePropBase> source = OdRxObjectImpl<ConfigurablePropBase>::createObject(
        &describe,
        [&calls](const OdString& path, const OdString& value, OdPropSource::Action_t& action) {
            calls << QString::fromStdString(utf8(path) + "=" + utf8(value));
            action = OdPropSource::kReloadPage;
            return true;
        },
        [&calls](const OdString& path, OdArray<OdString>& values, OdArray<OdString>&) {
            calls << QString::fromStdString("list " + utf8(path));
            values.push_back(L"Default");
            return true;
        });
    OdPropSource::Action_t action = OdPropSource::kNoAction;
    EXPECT_TRUE(source->setPropertyValue(L"Sky/North", L"15", action));
    EXPECT_EQ(action, OdPropSource::kReloadPage);
    OdArray<OdString> values, second;
    EXPECT_TRUE(source->getPropertyPossibleValues(L"Sky/Weather", values, second));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(utf8(values[0]), "Default");
    EXPECT_TRUE(second.isEmpty());
    EXPECT_EQ(calls, QStringList({"Sky/North=15", "list Sky/Weather"}));

    // The text form: a context named "Property" rooted at the path prefix, appended.
    source->setPathPrefix(L"Panel");
    OdString text(L">");
    ASSERT_TRUE(source->getPropertyValues(text));
    const std::string written = utf8(text);
    EXPECT_EQ(written.rfind("><Property Path=\"Panel\">", 0), 0u) << written;
    EXPECT_NE(written.find("<category Name=\"Sky\">"), std::string::npos) << written;
    EXPECT_NE(written.find("<property Name=\"North\" Type=\"double\" Value=\"0\" Min=\"-180\"/>"),
              std::string::npos)
        << written;

    // Page information through the interface.
    source->setPageTitle(L"Render");
    source->setPageOrder(7);
    IPropBasePageInfo* info = source.get();
    EXPECT_EQ(utf8(info->pageTitle()), "Render");
    EXPECT_EQ(info->pageOrder(), 7);
}

TEST(ConfigurablePropBaseTest, lastReleaseFromTwoThreadsDeletesOnce)
{
    for (int round = 0; round < 200; ++round) {
        std::atomic<int> deaths{0};
        auto counter = std::make_shared<DeathCounter>(deaths);
        ConfigurablePropBase* source =
            OdRxObjectImpl<ConfigurablePropBase>::createObject([counter](OdPropContext&) {
                return true;
            }).detach();
        counter.reset();
        source->addRef();
        ASSERT_EQ(source->numRefs(), 2);

        std::atomic<bool> go{false};
        auto release = [&] {
            while (!go.load()) {
            }
            source->release();
        };
        std::thread first(release), second(release);
        go = true;
        first.join();
        second.join();
        ASSERT_EQ(deaths.load(), 1) << "round " << round;
    }
}

} // namespace
