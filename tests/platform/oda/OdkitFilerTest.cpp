#include "odkit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

TEST(OdkitFiler, EveryKindOfValueRoundTrips)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbDwgMemoryFilerPtr f = OdDbDwgMemoryFiler::createObject();
    f->wrBool(true);
    f->wrInt8(-7);
    f->wrInt16(-30000);
    f->wrInt32(-2000000000);
    f->wrInt64(-9000000000000LL);
    f->wrDouble(3.25);
    f->wrString(L"Fl\u00e4che");
    const char bytes[4] = {1, 0, 2, 3};
    f->wrBytes(bytes, 4);
    f->wrHardPointerId(db->globalMaterialId());
    f->wrSoftOwnershipId(OdDbObjectId());
    f->wrPoint3d(OdGePoint3d(1, 2, 3));
    f->wrDbHandle(OdDbHandle(0xABC));
    EXPECT_EQ(f->numItems(), 14u);
    EXPECT_EQ(f->itemTypeAt(8), OdDbDwgMemoryFiler::kHardPointerId);

    f->rewind();
    EXPECT_EQ(f->rdBool(), true);
    EXPECT_EQ(f->rdInt8(), -7);
    EXPECT_EQ(f->rdInt16(), -30000);
    EXPECT_EQ(f->rdInt32(), -2000000000);
    EXPECT_EQ(f->rdInt64(), -9000000000000LL);
    EXPECT_EQ(f->rdDouble(), 3.25);
    EXPECT_EQ(f->rdString(), OdString(L"Fl\u00e4che"));
    char back[4] = {};
    f->rdBytes(back, 4);
    EXPECT_EQ(std::memcmp(back, bytes, 4), 0);
    EXPECT_EQ(f->rdHardPointerId(), db->globalMaterialId());
    EXPECT_TRUE(f->rdSoftOwnershipId().isNull());
    EXPECT_EQ(f->rdPoint3d(), OdGePoint3d(1, 2, 3));
    EXPECT_EQ(f->rdDbHandle(), OdDbHandle(0xABC));
    EXPECT_TRUE(f->atEnd());
}

TEST(OdkitFiler, MisreadsRaiseInsteadOfReturningGarbage)
{
    OdDbDwgMemoryFilerPtr f = OdDbDwgMemoryFiler::createObject();
    f->wrInt16(2);
    f->rewind();
    try {
        f->rdInt32();
        FAIL() << "an int16 read as int32";
    } catch (const OdError& e) {
        EXPECT_EQ(e.code(), eInvalidInput);
    }
    EXPECT_EQ(f->rdInt16(), 2) << "a refused read does not move the position";
    try {
        f->rdDouble();
        FAIL() << "read past the end";
    } catch (const OdError& e) {
        EXPECT_EQ(e.code(), eEndOfFile);
    }
    f->rewind();
    char small[2];
    EXPECT_THROW(f->rdBytes(small, 2), OdError);
}

TEST(OdkitFiler, ObjectsRoundTripThroughTheirFields)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbLightPtr light = OdDbLight::createObject();
    light->setName(L"Sun lamp");
    light->setLightType(OdGiDrawable::kSpotLight);
    light->setPosition(OdGePoint3d(1, 2, 3));
    light->setHotspotAndFalloff(0.3, 0.5);
    light->setWebRotation(OdGeVector3d(0, 0, 90));
    light->setMaterial(db->globalMaterialId());
    OdDbDwgMemoryFilerPtr f = OdDbDwgMemoryFiler::createObject();
    f->setDatabase(db);
    light->dwgOutFields(f);

    f->rewind();
    OdDbLightPtr copy = OdDbLight::createObject();
    EXPECT_EQ(copy->dwgInFields(f), eOk);
    EXPECT_TRUE(f->atEnd());
    EXPECT_EQ(copy->name(), OdString(L"Sun lamp"));
    EXPECT_EQ(copy->lightType(), OdGiDrawable::kSpotLight);
    EXPECT_EQ(copy->position(), OdGePoint3d(1, 2, 3));
    EXPECT_EQ(copy->falloffAngle(), 0.5);
    EXPECT_EQ(copy->webRotation(), OdGeVector3d(0, 0, 90));
    EXPECT_EQ(copy->materialId(), db->globalMaterialId());

    // Every cut of the record, followed by one item of an unexpected kind, is refused with an
    // error, never a crash.
    OdUInt32 n = f->numItems();
    for (OdUInt32 cut = 0; cut < n; ++cut) {
        OdDbDwgMemoryFilerPtr broken = OdDbDwgMemoryFiler::createObject();
        light->dwgOutFields(broken);
        broken->seek(cut);
        broken->wrBytes("x", 1); // drops everything from the cut on
        broken->rewind();
        OdDbLightPtr target = OdDbLight::createObject();
        EXPECT_THROW(target->dwgInFields(broken), OdError) << "cut at item " << cut;
    }
}

TEST(OdkitFiler, MaterialAndBlockReferenceRoundTrip)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbMaterialPtr m = OdDbMaterial::createObject();
    m->setName(L"Brick");
    OdGiMaterialMap map;
    map.setSourceFileName(L"textures/brick.png");
    map.setScale(2.0, 3.0);
    m->setDiffuse(OdGiMaterialColor(OdCmEntityColor(200, 100, 50)), map);
    m->setOpacity(0.75, OdGiMaterialMap());
    OdDbDwgMemoryFilerPtr f = OdDbDwgMemoryFiler::createObject();
    m->dwgOutFields(f);
    f->rewind();
    OdDbMaterialPtr m2 = OdDbMaterial::createObject();
    ASSERT_EQ(m2->dwgInFields(f), eOk);
    OdGiMaterialColor c;
    OdGiMaterialMap map2;
    m2->diffuse(c, map2);
    EXPECT_EQ(m2->name(), OdString(L"Brick"));
    EXPECT_EQ(map2, map);
    EXPECT_EQ(c.color().red(), 200);
    double opacity = 0;
    m2->opacity(opacity, map2);
    EXPECT_EQ(opacity, 0.75);

    OdDbBlockReferencePtr ref = OdDbBlockReference::createObject();
    ref->setBlockTableRecord(db->getModelSpaceId());
    ref->setScaleFactors(OdGeScale3d(1, 2, 3));
    OdDbDwgMemoryFilerPtr g = OdDbDwgMemoryFiler::createObject();
    ref->dwgOutFields(g);
    g->rewind();
    OdDbBlockReferencePtr ref2 = OdDbBlockReference::createObject();
    ASSERT_EQ(ref2->dwgInFields(g), eOk);
    EXPECT_EQ(ref2->blockTableRecord(), db->getModelSpaceId());
    EXPECT_EQ(ref2->scaleFactors(), OdGeScale3d(1, 2, 3));
}

namespace {

// A copy of the record in `from` with the 16-bit item at `index` replaced by `value`.
OdDbDwgMemoryFilerPtr withInt16At(OdDbDwgMemoryFiler* from, OdUInt32 index, OdInt16 value)
{
    OdDbDwgMemoryFilerPtr to = OdDbDwgMemoryFiler::createObject();
    to->setDatabase(from->database());
    from->rewind();
    while (!from->atEnd()) {
        const OdUInt32 at = from->tell();
        switch (from->itemTypeAt(at)) {
        case OdDbDwgMemoryFiler::kBool:
            to->wrBool(from->rdBool());
            break;
        case OdDbDwgMemoryFiler::kInt16: {
            const OdInt16 v = from->rdInt16();
            to->wrInt16(at == index ? value : v);
            break;
        }
        case OdDbDwgMemoryFiler::kInt32:
            to->wrInt32(from->rdInt32());
            break;
        case OdDbDwgMemoryFiler::kDouble:
            to->wrDouble(from->rdDouble());
            break;
        case OdDbDwgMemoryFiler::kString:
            to->wrString(from->rdString());
            break;
        case OdDbDwgMemoryFiler::kHardPointerId:
            to->wrHardPointerId(from->rdHardPointerId());
            break;
        case OdDbDwgMemoryFiler::kSoftPointerId:
            to->wrSoftPointerId(from->rdSoftPointerId());
            break;
        default:
            ADD_FAILURE() << "item kind the copy does not know at " << at;
            return to;
        }
    }
    to->rewind();
    return to;
}

// Indices of the 16-bit items of a record.
std::vector<OdUInt32> int16Items(OdDbDwgMemoryFiler* f)
{
    std::vector<OdUInt32> found;
    for (OdUInt32 i = 0; i < f->numItems(); ++i)
        if (f->itemTypeAt(i) == OdDbDwgMemoryFiler::kInt16) found.push_back(i);
    return found;
}

} // namespace

// Every 16-bit item of these records is an enumerator (material colour methods and map sources,
// visibility, light type, shadow type and shape; the light's sample count is the last and is a
// number): a value outside its enumeration is refused instead of loaded.
TEST(OdkitFiler, EnumeratorsOutOfRangeAreRefused)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbMaterialPtr material = OdDbMaterial::createObject();
    OdDbLightPtr light = OdDbLight::createObject();
    struct Case
    {
        OdDbObject* written;
        std::function<OdDbObjectPtr()> make;
        int enums;
    };
    const Case cases[] = {
        {material.get(), [] { return OdDbObjectPtr(OdDbMaterial::createObject()); }, 9},
        {light.get(), [] { return OdDbObjectPtr(OdDbLight::createObject()); }, 4},
    };
    for (const Case& c : cases) {
        OdDbDwgMemoryFilerPtr f = OdDbDwgMemoryFiler::createObject();
        f->setDatabase(db);
        c.written->dwgOutFields(f);
        const std::vector<OdUInt32> items = int16Items(f.get());
        ASSERT_GE(int(items.size()), c.enums) << c.written->isA()->name().toUtf8();
        for (int k = 0; k < c.enums; ++k) {
            for (OdInt16 bad : {OdInt16(-1), OdInt16(77)}) {
                OdDbDwgMemoryFilerPtr broken = withInt16At(f.get(), items[k], bad);
                OdDbObjectPtr target = c.make();
                try {
                    target->dwgInFields(broken);
                    ADD_FAILURE() << c.written->isA()->name().toUtf8() << ": " << bad << " accepted at item "
                                  << items[k];
                } catch (const OdError& e) {
                    EXPECT_EQ(e.code(), eInvalidInput);
                }
            }
        }
        // The record as written still reads.
        OdDbDwgMemoryFilerPtr whole = withInt16At(f.get(), OdUInt32(-1), 0);
        EXPECT_EQ(c.make()->dwgInFields(whole), eOk);
    }
}
