// The fountain's property page: what it describes, what an edit changes, when it opens for write, and
// its registration with the property services.
#include "fountain/OdDbXmlPropWaterFountain.h"
#include "fountain/zalDbWaterFountain.h"

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "PropContext.h"
#include "PropServices.h"
#include "RxDictionary.h"
#include "StaticRxObject.h"

#include <gtest/gtest.h>

#include <cmath>

void PrintTo(const OdString& text, std::ostream* out)
{
    *out << '"' << text.toUtf8() << '"';
}

namespace {

const double kPi = 3.14159265358979323846;

// Counts the objects opened for write.
class OpenWatcher : public OdDbDatabaseReactor
{
public:
    void objectOpenedForModify(const OdDbDatabase*, const OdDbObject*) override { ++opened; }
    int opened = 0;
};

class FountainPage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!zalDbWaterFountain::desc()) zalDbWaterFountain::rxInit();
        db = OdDbDatabase::createObject();
        db->setAUNITS(0); // degrees
        db->setAUPREC(4);
        db->setLUNITS(2); // decimal
        db->setLUPREC(4);
        zalDbWaterFountainPtr fountain = zalDbWaterFountain::createObject();
        fountain->setDatabaseDefaults(db);
        fountain->setTransform(OdGeMatrix3d::translation(OdGeVector3d(1, 2, 3)));
        OdDbBlockTableRecordPtr modelSpace = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        id = modelSpace->appendOdDbEntity(fountain);
        fountain = nullptr;
        modelSpace = nullptr;
        source = OdDbXmlPropWaterFountain::createObject(read().get());
        db->addReactor(&watcher);
    }
    void TearDown() override
    {
        db->removeReactor(&watcher);
        source = nullptr;
        db = nullptr;
    }

    zalDbWaterFountainPtr read() { return zalDbWaterFountain::cast(id.safeOpenObject(OdDb::kForRead).get()); }

    bool set(const char* path, const char* value)
    {
        OdPropSource::Action_t action = OdPropSource::kReloadPage;
        const bool done = source->setPropertyValue(OdString(path), OdString(value), action);
        EXPECT_EQ(action, OdPropSource::kNoAction);
        return done;
    }

    const OdPropContext::Node* describe(OdPropContext& context, const char* path)
    {
        EXPECT_TRUE(source->getPropertyValues(context));
        return context.find(OdString(path));
    }

    OdString valueOf(const char* path)
    {
        OdPropContext context;
        const OdPropContext::Node* node = describe(context, path);
        return node ? node->value() : OdString(L"<missing>");
    }

    OdDbDatabasePtr db;
    OdDbObjectId id;
    OdDbXmlPropWaterFountainPtr source;
    OdStaticRxObject<OpenWatcher> watcher;
};

TEST_F(FountainPage, describesOneCategoryWithItsPropertiesInOrder)
{
    OdPropContext context;
    ASSERT_TRUE(source->getPropertyValues(context));
    const OdPropContext::Node& root = context.rootNode();
    ASSERT_EQ(root.children.size(), 1u);
    const OdPropContext::Node& category = *root.children[0];
    EXPECT_TRUE(category.isCategory());
    EXPECT_EQ(category.name(), OdString(L"FountainProperties"));
    EXPECT_EQ(category.attribute(OdString(L"VisibleName")), OdString(L"Fountain Properties"));

    struct Row
    {
        const wchar_t *name, *type, *visible, *value, *min, *max;
    };
    const Row rows[] = {
        {L"On", L"bool", L"Active", L"false", nullptr, nullptr},
        {L"WaterColor", L"colorref", L"Water Color", L"16768220", nullptr, nullptr},
        {L"Lifetime", L"double", L"Lifetime", L"1", L"0.1", L"15"},
        {L"SpawnRate", L"double", L"Spawn Rate", L"7500", L"0.1", L"100"},
        {L"SpreadWidth", L"double", L"Spread Width", L"1", L"0.1", L"100"},
        {L"SpreadStartWidth", L"double", L"Spread Start Width", L"0.5", L"0.1", L"100"},
        {L"JetPower", L"double", L"Jet Power", L"1.5", L"0.1", L"100"},
        {L"HorizontalAngle", L"angle", L"Horizontal Angle", nullptr, nullptr, nullptr},
        {L"VerticalAngle", L"angle", L"Vertical Angle", nullptr, nullptr, nullptr},
    };
    ASSERT_EQ(category.children.size(), std::size(rows) + 1);
    for (size_t i = 0; i < std::size(rows); ++i) {
        const OdPropContext::Node& property = *category.children[i];
        SCOPED_TRACE(OdString(rows[i].name).toUtf8());
        EXPECT_TRUE(property.isProperty());
        EXPECT_EQ(property.name(), OdString(rows[i].name));
        EXPECT_EQ(property.type(), OdString(rows[i].type));
        EXPECT_EQ(property.attribute(OdString(L"VisibleName")), OdString(rows[i].visible));
        if (rows[i].value) {
            EXPECT_EQ(property.value(), OdString(rows[i].value));
        }
        if (rows[i].min) {
            EXPECT_EQ(property.attribute(OdString(L"Min")), OdString(rows[i].min));
            EXPECT_EQ(property.attribute(OdString(L"Max")), OdString(rows[i].max));
        } else {
            EXPECT_FALSE(property.hasAttribute(OdString(L"Min")));
        }
    }
    EXPECT_EQ(category.children[7]->value(), db->formatter().formatAngle(0.0));
    // Upright: the Z axis stands a quarter turn from the reference direction, less a quarter turn.
    EXPECT_EQ(category.children[8]->value(), db->formatter().formatAngle(0.0));

    const OdPropContext::Node& position = *category.children.back();
    EXPECT_EQ(position.name(), OdString(L"Position"));
    EXPECT_EQ(position.attribute(OdString(L"VisibleName")), OdString(L"Position"));
    EXPECT_EQ(position.attribute(OdString(L"expandable")), OdString(L"false"));
    EXPECT_EQ(position.attribute(OdString(L"layout")), OdString(L"horizontal"));
    ASSERT_EQ(position.children.size(), 3u);
    const wchar_t* axes[3] = {L"X", L"Y", L"Z"};
    for (int i = 0; i < 3; ++i) {
        const OdPropContext::Node& coordinate = *position.children[i];
        EXPECT_EQ(coordinate.name(), OdString(L"Position") + OdString(axes[i]));
        EXPECT_EQ(coordinate.type(), OdString(L"distance"));
        EXPECT_EQ(coordinate.attribute(OdString(L"VisibleName")), OdString(axes[i]));
        EXPECT_EQ(coordinate.value(), db->formatter().formatLinear(double(i + 1)));
    }
    EXPECT_EQ(position.children[1]->path(), OdString(L"FountainProperties/Position/PositionY"));
    OdArray<OdString> values, second;
    EXPECT_FALSE(source->getPropertyPossibleValues(OdString(L"FountainProperties/On"), values, second));
    EXPECT_TRUE(values.empty());
}

TEST_F(FountainPage, anUnchangedValueDoesNotOpenTheFountainForWrite)
{
    EXPECT_TRUE(set("FountainProperties/Lifetime", "1"));
    EXPECT_TRUE(set("FountainProperties/Lifetime", "1.00000000000001"));
    EXPECT_TRUE(set("FountainProperties/On", "false"));
    EXPECT_TRUE(set("FountainProperties/WaterColor", "16768220.7"));
    EXPECT_TRUE(set("FountainProperties/PositionX", db->formatter().formatLinear(1.0).toUtf8().c_str()));
    EXPECT_EQ(watcher.opened, 0);

    EXPECT_TRUE(set("FountainProperties/Lifetime", "2.5"));
    EXPECT_EQ(watcher.opened, 1);
    EXPECT_EQ(read()->lifetime(), 2.5);
    EXPECT_EQ(valueOf("FountainProperties/Lifetime"), OdString(L"2.5"));
}

TEST_F(FountainPage, eachValueReachesItsField)
{
    EXPECT_TRUE(set("FountainProperties/On", "TRUE"));
    EXPECT_TRUE(read()->active());
    EXPECT_TRUE(set("FountainProperties/On", "no"));
    EXPECT_FALSE(read()->active());
    EXPECT_TRUE(set("FountainProperties/On", "1"));
    EXPECT_TRUE(read()->active());
    EXPECT_TRUE(set("FountainProperties/SpawnRate", "42"));
    EXPECT_TRUE(set("FountainProperties/SpreadWidth", "3"));
    EXPECT_TRUE(set("FountainProperties/SpreadStartWidth", "0.75"));
    EXPECT_TRUE(set("FountainProperties/JetPower", "9"));
    EXPECT_TRUE(set("FountainProperties/WaterColor", "255.9"));
    zalDbWaterFountainPtr fountain = read();
    EXPECT_EQ(fountain->spawnRate(), 42.0);
    EXPECT_EQ(fountain->spreadWidth(), 3.0);
    EXPECT_EQ(fountain->spreadStartWidth(), 0.75);
    EXPECT_EQ(fountain->jetPower(), 9.0);
    EXPECT_EQ(fountain->waterColor(), 255ul);
}

TEST_F(FountainPage, positionYWithOrWithoutItsGroupChangesTheSameCoordinate)
{
    EXPECT_TRUE(set("FountainProperties/Position/PositionY", "7"));
    EXPECT_EQ(read()->transform().getCsOrigin(), OdGePoint3d(1, 7, 3));
    EXPECT_TRUE(set("FountainProperties/PositionY", "-4"));
    EXPECT_EQ(read()->transform().getCsOrigin(), OdGePoint3d(1, -4, 3));
    EXPECT_TRUE(set("FountainProperties/Position/PositionX", "0.5"));
    EXPECT_TRUE(set("FountainProperties/PositionZ", "9"));
    EXPECT_EQ(read()->transform().getCsOrigin(), OdGePoint3d(0.5, -4, 9));
    EXPECT_EQ(valueOf("FountainProperties/Position/PositionY"), db->formatter().formatLinear(-4.0));
}

TEST_F(FountainPage, anglesRoundTripThroughTheUnitFormatter)
{
    const OdString thirty = db->formatter().formatAngle(kPi / 6);
    EXPECT_TRUE(set("FountainProperties/HorizontalAngle", thirty.toUtf8().c_str()));
    const OdGeVector3d x = read()->transform().getCsXAxis();
    EXPECT_NEAR(std::atan2(x.y, x.x), kPi / 6, 1e-9);
    EXPECT_EQ(valueOf("FountainProperties/HorizontalAngle"), thirty);
    EXPECT_EQ(read()->transform().getCsOrigin(), OdGePoint3d(1, 2, 3));

    // The typed value turns Z about the fountain's own X axis: -45 degrees leans it by 45 and reads
    // -45 again; X keeps its heading.
    const OdString tilt = db->formatter().formatAngle(-kPi / 4);
    EXPECT_TRUE(set("FountainProperties/VerticalAngle", tilt.toUtf8().c_str()));
    const OdGeVector3d z = read()->transform().getCsZAxis();
    EXPECT_NEAR(z.z, std::cos(kPi / 4), 1e-9);
    EXPECT_NEAR(z.dotProduct(read()->transform().getCsXAxis()), 0.0, 1e-9);
    EXPECT_EQ(valueOf("FountainProperties/VerticalAngle"), tilt);
    EXPECT_EQ(valueOf("FountainProperties/HorizontalAngle"), thirty);

    // The same angle again changes nothing.
    const int before = watcher.opened;
    EXPECT_TRUE(set("FountainProperties/HorizontalAngle", thirty.toUtf8().c_str()));
    EXPECT_EQ(watcher.opened, before);
}

TEST_F(FountainPage, foreignPathsAndUnreadableValuesChangeNothing)
{
    EXPECT_FALSE(set("OtherProperties/Lifetime", "3"));
    EXPECT_FALSE(set("Lifetime", "3"));
    EXPECT_FALSE(set("FountainProperties/Unknown", "3"));
    EXPECT_FALSE(set("FountainProperties/HorizontalAngle", "north-ish"));
    EXPECT_EQ(watcher.opened, 0);
    EXPECT_EQ(read()->lifetime(), 1.0);
}

TEST_F(FountainPage, unreadableNumbersReadAsZeroAndColoursKeepTheirLow32Bits)
{
    EXPECT_TRUE(set("FountainProperties/Lifetime", "lots"));
    EXPECT_EQ(read()->lifetime(), 0.0);
    EXPECT_TRUE(set("FountainProperties/JetPower", ""));
    EXPECT_EQ(read()->jetPower(), 0.0);

    EXPECT_TRUE(set("FountainProperties/WaterColor", "-1"));
    EXPECT_EQ(read()->waterColor(), 0xFFFFFFFFul);
    EXPECT_TRUE(set("FountainProperties/WaterColor", "4294967551")); // 2^32 + 255
    EXPECT_EQ(read()->waterColor(), 255ul);
    EXPECT_TRUE(set("FountainProperties/WaterColor", "-255.9"));
    EXPECT_EQ(read()->waterColor(), 0xFFFFFF01ul);
    EXPECT_TRUE(set("FountainProperties/WaterColor", "teal"));
    EXPECT_EQ(read()->waterColor(), 0ul);
}

TEST_F(FountainPage, verticalAngleIsZeroUprightAndFollowsARollAboutTheFountainsXAxis)
{
    const OdString zero = db->formatter().formatAngle(0.0);
    EXPECT_EQ(valueOf("FountainProperties/VerticalAngle"), zero);

    // Turned about Z, it still stands upright.
    {
        zalDbWaterFountainPtr fountain = zalDbWaterFountain::cast(id.safeOpenObject(OdDb::kForWrite).get());
        fountain->setTransform(OdGeMatrix3d::translation(OdGeVector3d(1, 2, 3)) *
                               OdGeMatrix3d::rotation(2.0, OdGeVector3d::kZAxis));
    }
    EXPECT_EQ(valueOf("FountainProperties/VerticalAngle"), zero);

    // A tilt about its Y axis leans the jets forward but does not roll them.
    {
        zalDbWaterFountainPtr fountain = zalDbWaterFountain::cast(id.safeOpenObject(OdDb::kForWrite).get());
        fountain->setTransform(OdGeMatrix3d::rotation(0.4, OdGeVector3d::kYAxis));
    }
    EXPECT_EQ(valueOf("FountainProperties/VerticalAngle"), zero);

    // A roll about its X axis by 20 degrees reads 20 degrees, whichever way X points.
    for (double heading : {0.0, kPi / 2, kPi, -kPi / 3}) {
        {
            zalDbWaterFountainPtr fountain =
                zalDbWaterFountain::cast(id.safeOpenObject(OdDb::kForWrite).get());
            fountain->setTransform(OdGeMatrix3d::rotation(heading, OdGeVector3d::kZAxis) *
                                   OdGeMatrix3d::rotation(kPi / 9, OdGeVector3d::kXAxis));
        }
        EXPECT_EQ(valueOf("FountainProperties/VerticalAngle"), db->formatter().formatAngle(kPi / 9))
            << heading;
    }
}

TEST_F(FountainPage, aFountainBeingPlacedIsServedWithoutADatabase)
{
    zalDbWaterFountainPtr loose = zalDbWaterFountain::createObject();
    OdDbXmlPropWaterFountainPtr page = OdDbXmlPropWaterFountain::createObject(loose.get(), db.get());
    OdPropSource::Action_t action;
    EXPECT_TRUE(page->setPropertyValue(OdString(L"FountainProperties/PositionX"), OdString(L"6"), action));
    EXPECT_EQ(loose->transform().getCsOrigin(), OdGePoint3d(6, 0, 0));
    OdPropContext context;
    ASSERT_TRUE(page->getPropertyValues(context));
    ASSERT_NE(context.find(OdString(L"FountainProperties/Position/PositionX")), nullptr);
    EXPECT_EQ(context.find(OdString(L"FountainProperties/Position/PositionX"))->value(),
              db->formatter().formatLinear(6.0));
}

// Property services as a host publishes them; the page operations are not used here.
class HostServices : public OdPropServices
{
public:
    OdString createPropView(QLayout*) override { return OdString(); }
    bool attachPropSource(const OdString&, OdPropSource*, const OdString&, const OdString&, const OdString&,
                          OdRxObject*) override
    {
        return false;
    }
    bool refreshPage(const OdString&, OdPropSource*, bool) override { return false; }
    bool detachPage(const OdString&) override { return false; }
    OdRxObject* pageDatabase(const OdString&) const override { return nullptr; }
};

TEST_F(FountainPage, registersItsSourceWithThePropertyServicesByClassName)
{
    OdSmartPtr<OdPropServices> services = OdRxObjectImpl<HostServices, OdPropServices>::createObject();
    odrxSysRegistry()->putAt(OdString(OD_PROP_SERVICES), services.get());

    zalDbWaterFountain::registerPropertySources();
    EXPECT_TRUE(services->isXmlPropRegistered(OdString(L"zalDbWaterFountain")));
    EXPECT_EQ(services->xmlPropFlags(OdString(L"zalDbWaterFountain")), 0xFFFFFFFFu);
    OdPropSourcePtr made = services->createXmlPropSource(read().get());
    ASSERT_FALSE(made.isNull());
    EXPECT_NE(dynamic_cast<OdDbXmlPropWaterFountain*>(made.get()), nullptr);
    OdString text;
    EXPECT_TRUE(made->getPropertyValues(text));
    EXPECT_NE(text.find(OdString(L"FountainProperties")), -1);

    zalDbWaterFountain::unregisterPropertySources();
    EXPECT_FALSE(services->isXmlPropRegistered(OdString(L"zalDbWaterFountain")));
    odrxSysRegistry()->remove(OdString(OD_PROP_SERVICES));
}

} // namespace
