#include "odkit.h"

#include <gtest/gtest.h>

// A plain run-time class and a database entity class, defined as users of the layer do.
class OdkitShape : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdkitShape);
    int sides = 3;
};
ODRX_DEFINE_MEMBERS(OdkitShape, OdRxObject)

class OdkitSquare : public OdkitShape
{
public:
    ODRX_DECLARE_MEMBERS(OdkitSquare);
    OdkitSquare() { sides = 4; }
};
ODRX_DEFINE_MEMBERS(OdkitSquare, OdkitShape)

class OdkitFountainLike : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdkitFountainLike);
};
ODDB_DXF_DEFINE_MEMBERS(OdkitFountainLike, OdDbEntity, OdDb::kDHL_CURRENT, OdDb::kMReleaseCurrent, 3071,
                        OdkitFountainLike, OdkitFountainLike)

class OdkitRx : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OdkitShape::rxInit();
        OdkitSquare::rxInit();
    }
    void TearDown() override
    {
        OdkitSquare::rxUninit();
        OdkitShape::rxUninit();
    }
};

TEST_F(OdkitRx, DatabaseClassesCarryTheSdkRunTimeNames)
{
    EXPECT_EQ(OdDbMaterial::desc()->name(), OdString(L"AcDbMaterial"));
    EXPECT_EQ(OdDbBlockTableRecord::desc()->name(), OdString(L"AcDbBlockTableRecord"));
    EXPECT_EQ(OdDbBlockReference::desc()->name(), OdString(L"AcDbBlockReference"));
    EXPECT_EQ(OdDbLayerTableRecord::desc()->name(), OdString(L"AcDbLayerTableRecord"));
    EXPECT_EQ(OdDbLight::desc()->name(), OdString(L"AcDbLight"));
    EXPECT_EQ(OdDbEntity::desc()->name(), OdString(L"AcDbEntity"));
    EXPECT_EQ(OdDbEntity::desc()->myParent(), OdDbObject::desc());
    EXPECT_EQ(odrxFindClass(L"AcDbMaterial"), OdDbMaterial::desc());
    EXPECT_EQ(OdkitShape::desc()->name(), OdString(L"OdkitShape"));
}

TEST_F(OdkitRx, IsAAndIsKindOfFollowTheClassTree)
{
    OdSmartPtr<OdkitSquare> square = OdkitSquare::createObject();
    EXPECT_EQ(square->isA(), OdkitSquare::desc());
    EXPECT_TRUE(square->isKindOf(OdkitShape::desc()));
    EXPECT_TRUE(square->isKindOf(OdRxObject::desc()));
    OdSmartPtr<OdkitShape> shape = OdkitShape::createObject();
    EXPECT_FALSE(shape->isKindOf(OdkitSquare::desc()));
    EXPECT_EQ(shape->sides, 3);
    EXPECT_EQ(square->sides, 4);
}

TEST_F(OdkitRx, CastToAnotherClassRaisesNotThatKindOfClass)
{
    OdSmartPtr<OdkitShape> shape = OdkitShape::createObject();
    try {
        OdkitSquare::cast(shape);
        FAIL() << "cast of a shape to a square succeeded";
    } catch (const OdError_NotThatKindOfClass& e) {
        EXPECT_EQ(e.code(), eNotThatKindOfClass);
        EXPECT_NE(e.description().find(L"OdkitShape"), -1);
    }
    // The same through a smart pointer conversion, and caught as the base OdError.
    OdRxObjectPtr any = shape;
    EXPECT_THROW(OdSmartPtr<OdkitSquare> s = any, OdError);
    // Upcasts and matching casts succeed; null stays null.
    OdSmartPtr<OdkitSquare> square = OdkitSquare::createObject();
    OdRxObjectPtr anySquare = square;
    EXPECT_EQ(OdkitShape::cast(anySquare).get(), static_cast<OdkitShape*>(square.get()));
    EXPECT_TRUE(OdkitSquare::cast(nullptr).isNull());
}

TEST_F(OdkitRx, RegisteringTwiceRaises314AndUnregisteringTwiceRaises255)
{
    try {
        OdkitShape::rxInit();
        FAIL();
    } catch (const OdError& e) {
        EXPECT_EQ(int(e.code()), 314);
    }
    OdkitSquare::rxUninit();
    try {
        OdkitSquare::rxUninit();
        FAIL();
    } catch (const OdError& e) {
        EXPECT_EQ(int(e.code()), 255);
    }
    try {
        OdkitSquare::createObject();
        FAIL();
    } catch (const OdError& e) {
        EXPECT_EQ(int(e.code()), 255);
    }
    EXPECT_EQ(OdkitSquare::desc(), nullptr);
    OdkitSquare::rxInit(); // for TearDown
}

TEST_F(OdkitRx, PseudoConstructorCreatesThroughTheClass)
{
    OdRxObjectPtr obj = odrxFindClass(L"OdkitSquare")->create();
    EXPECT_EQ(obj->isA(), OdkitSquare::desc());
    EXPECT_EQ(OdkitSquare::pseudoConstructor()->isA(), OdkitSquare::desc());
    EXPECT_THROW(OdDbEntity::desc()->create(), OdError) << "an abstract class has no constructor";
}

TEST_F(OdkitRx, QueryXFindsProtocolExtensionsOfParents)
{
    OdSmartPtr<OdkitShape> protocol = OdkitShape::createObject();
    protocol->sides = 42;
    // Extension registered for the parent class, protocol class OdkitSquare (any class works as key).
    OdkitShape::desc()->addX(OdDbMaterial::desc(), protocol);
    OdSmartPtr<OdkitSquare> square = OdkitSquare::createObject();
    OdRxObject* x = square->queryX(OdDbMaterial::desc());
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(static_cast<OdkitShape*>(x)->sides, 42);
    x->release();
    EXPECT_FALSE(square->isKindOf(OdDbMaterial::desc())) << "an extension does not change the class";
    OdkitShape::desc()->delX(OdDbMaterial::desc());
    EXPECT_EQ(square->queryX(OdDbMaterial::desc()), nullptr);
}

TEST_F(OdkitRx, SmartPointersCountReferences)
{
    OdSmartPtr<OdkitShape> a = OdkitShape::createObject();
    EXPECT_EQ(a->numRefs(), 1);
    {
        OdSmartPtr<OdkitShape> b = a;
        OdRxObjectPtr c = b;
        EXPECT_EQ(a->numRefs(), 3);
    }
    EXPECT_EQ(a->numRefs(), 1);
    OdkitShape* raw = a.detach();
    EXPECT_TRUE(a.isNull());
    OdSmartPtr<OdkitShape> d(raw, kOdRxObjAttach);
    EXPECT_EQ(d->numRefs(), 1);
}

TEST_F(OdkitRx, SystemRegistryHoldsServicesByName)
{
    OdSmartPtr<OdkitShape> service = OdkitShape::createObject();
    odrxSysRegistry()->putAt(L"OdkitTest.Service", service);
    EXPECT_EQ(service->numRefs(), 2);
    EXPECT_EQ(odrxSysRegistry()->getAt(L"OdkitTest.Service").get(), service.get());
    EXPECT_TRUE(odrxSysRegistry()->getAt(L"OdkitTest.Missing").isNull());
    EXPECT_EQ(odrxSysRegistry()->remove(L"OdkitTest.Service").get(), service.get());
    EXPECT_EQ(service->numRefs(), 1);
    EXPECT_FALSE(odrxSysRegistry()->has(L"OdkitTest.Service"));
}

TEST_F(OdkitRx, CustomEntityClassRegistersUnderDatabaseEntity)
{
    OdkitFountainLike::rxInit();
    EXPECT_EQ(OdkitFountainLike::desc()->dxfName(), OdString(L"OdkitFountainLike"));
    EXPECT_EQ(OdkitFountainLike::desc()->proxyFlags(), 3071);
    EXPECT_EQ(OdkitFountainLike::desc()->dwgVersion(), 33);
    EXPECT_EQ(OdkitFountainLike::desc()->maintenanceVersion(), 55);
    OdDbEntityPtr e = OdkitFountainLike::createObject();
    EXPECT_TRUE(e->isKindOf(OdDbEntity::desc()));
    EXPECT_THROW(OdDbBlockReference::cast(e), OdError_NotThatKindOfClass);
    OdkitFountainLike::rxUninit();
}

TEST_F(OdkitRx, UninitializeTakesTheDatabaseRuntimeDownAndInitializeBringsItBack)
{
    ASSERT_NE(OdDbEntity::desc(), nullptr);
    odInitialize();
    odUninitialize();
    EXPECT_EQ(OdDbEntity::desc(), nullptr);
    EXPECT_FALSE(odIsInitialized());
    EXPECT_THROW(OdDbDatabase::createObject(), OdError);
    odInitialize();
    EXPECT_NE(OdDbEntity::desc(), nullptr);
    EXPECT_TRUE(odIsInitialized());
    EXPECT_FALSE(OdDbDatabase::createObject().isNull());
}

TEST(OdkitVariant, HoldsOneTypeAndRefusesOthers)
{
    OdVariant v(OdInt32(7));
    EXPECT_EQ(v.varType(), OdVariant::kInt32);
    EXPECT_EQ(v.getInt32(), 7);
    EXPECT_THROW(v.getDouble(), OdError);
    v.setString(L"text");
    EXPECT_EQ(v.getString(), OdString(L"text"));
    EXPECT_EQ(OdVariant(true).getBool(), true);
    EXPECT_EQ(OdVariant(2.5).getDouble(), 2.5);
    EXPECT_TRUE(OdVariant().isEmpty());
    EXPECT_EQ(OdVariant(OdInt32(3)), OdVariant(OdInt32(3)));
    EXPECT_NE(OdVariant(OdInt32(3)), OdVariant(OdInt16(3)));
    OdArray<OdVariant> values;
    values.append(OdVariant(1.0));
    values.append(OdVariant(OdString(L"x")));
    OdArray<OdVariant> copy = values;
    EXPECT_EQ(copy[1].getString(), OdString(L"x"));
}

TEST(OdkitVariant, KeepsARunTimeObjectAlive)
{
    OdRxDictionaryPtr dict = odrxCreateRxDictionary();
    {
        OdVariant v(OdRxObjectPtr(dict.get()));
        EXPECT_EQ(dict->numRefs(), 2);
        OdVariant w(v);
        EXPECT_EQ(dict->numRefs(), 3);
        EXPECT_EQ(w.getRxObjectPtr().get(), dict.get());
    }
    EXPECT_EQ(dict->numRefs(), 1);
}
