// The undo filer and what lossless files rest on: a filer record as bytes and back, handles an
// importer asks for, and undo / redo of modifications filed before an object's first write in a step.
#include "DbUndoHistory.h"
#include "odkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

// An entity whose record holds its own field only and leaves the common ones (layer, colour,
// material) to whoever files it, as some module entities' fixed records do.
class OdkitOwnRecordEntity : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdkitOwnRecordEntity);
    double value = 0.0;
    OdResult dwgInFields(OdDbDwgFiler* filer) override
    {
        assertWriteEnabled();
        value = filer->rdDouble();
        return eOk;
    }
    void dwgOutFields(OdDbDwgFiler* filer) const override
    {
        assertReadEnabled();
        filer->wrDouble(value);
    }
};
ODDB_DXF_DEFINE_MEMBERS(OdkitOwnRecordEntity, OdDbEntity, OdDb::kDHL_CURRENT, OdDb::kMReleaseCurrent, 0,
                        OWNRECORDENT, OdkitTest)

namespace {

struct Modifications : OdStaticRxObject<OdDbDatabaseReactor>
{
    std::vector<OdDbObjectId> modified;
    void objectModified(const OdDbDatabase*, const OdDbObject* object) override
    {
        modified.push_back(object->objectId());
    }
};

OdDbObjectId addLight(OdDbDatabase* db, double intensity)
{
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    OdDbLightPtr light = OdDbLight::createObject();
    light->setIntensity(intensity);
    return ms->appendOdDbEntity(light.get());
}

void setIntensity(const OdDbObjectId& id, double intensity)
{
    OdDbLightPtr light = id.safeOpenObject(OdDb::kForWrite);
    light->setIntensity(intensity);
}

double intensityOf(const OdDbObjectId& id)
{
    OdDbLightPtr light = id.safeOpenObject();
    return light->intensity();
}

} // namespace

TEST(OdkitFilerBytes, EveryKindReadsBackFromItsBytes)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbDwgMemoryFilerPtr f = OdDbDwgMemoryFiler::createObject();
    f->setDatabase(db.get());
    f->wrBool(true);
    f->wrInt8(-7);
    f->wrInt16(-30000);
    f->wrInt32(-2000000000);
    f->wrInt64(-9000000000000LL);
    f->wrDouble(-0.1);
    f->wrString(L"Fl\u00e4che \u6c34");
    const char bytes[5] = {1, 0, 2, 3, char(0xff)};
    f->wrBytes(bytes, 5);
    f->wrHardPointerId(db->globalMaterialId());
    f->wrSoftOwnershipId(OdDbObjectId());
    f->wrDbHandle(OdDbHandle(0xABCDEF0123ULL));

    OdDbDwgMemoryFilerPtr g = OdDbDwgMemoryFiler::createObject();
    g->setDatabase(db.get());
    ASSERT_TRUE(g->fromBytes(f->toBytes()));
    ASSERT_EQ(g->numItems(), f->numItems());
    EXPECT_EQ(g->rdBool(), true);
    EXPECT_EQ(g->rdInt8(), -7);
    EXPECT_EQ(g->rdInt16(), -30000);
    EXPECT_EQ(g->rdInt32(), -2000000000);
    EXPECT_EQ(g->rdInt64(), -9000000000000LL);
    EXPECT_EQ(g->rdDouble(), -0.1);
    EXPECT_EQ(g->rdString(), OdString(L"Fl\u00e4che \u6c34"));
    char back[5] = {};
    g->rdBytes(back, 5);
    EXPECT_EQ(std::string(back, 5), std::string(bytes, 5));
    EXPECT_EQ(g->rdHardPointerId(), db->globalMaterialId());
    EXPECT_TRUE(g->rdSoftOwnershipId().isNull());
    EXPECT_EQ(g->rdDbHandle(), OdDbHandle(0xABCDEF0123ULL));
    EXPECT_TRUE(g->atEnd());
}

TEST(OdkitFilerBytes, CutOrDamagedBytesAreRefused)
{
    OdDbDwgMemoryFilerPtr f = OdDbDwgMemoryFiler::createObject();
    f->wrString(L"abc");
    f->wrDouble(2.5);
    f->wrInt32(5);
    const std::string whole = f->toBytes();
    // Item boundaries: after the version byte, after the string (1+4+3), after the double (1+8).
    const std::vector<size_t> boundaries{1, 9, 18, whole.size()};
    OdDbDwgMemoryFilerPtr g = OdDbDwgMemoryFiler::createObject();
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        const bool ok = g->fromBytes(whole.substr(0, cut));
        const bool atBoundary = std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
        EXPECT_EQ(ok, atBoundary) << "cut at " << cut;
        if (!ok) {
            EXPECT_EQ(g->numItems(), 0u);
        }
    }
    // Trailing half item, an unknown kind, another version.
    EXPECT_FALSE(g->fromBytes(whole + char(OdDbDwgMemoryFiler::kInt32) + "\x01"));
    EXPECT_FALSE(g->fromBytes(whole + char(99)));
    std::string otherVersion = whole;
    otherVersion[0] = 2;
    EXPECT_FALSE(g->fromBytes(otherVersion));
    // A string length beyond the data.
    std::string longString = whole;
    longString[2] = char(0x7f);
    EXPECT_FALSE(g->fromBytes(longString));
}

TEST(OdkitHandles, NextHandleIsTakenWhenFreeAndSeedKeepsFileHandlesFree)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    db->setHandseed(OdDbHandle(0x500));
    EXPECT_EQ(OdUInt64(db->handseed()), 0x500u);
    db->setHandseed(OdDbHandle(0x10)); // never lowered
    EXPECT_EQ(OdUInt64(db->handseed()), 0x500u);

    db->setNextHandle(OdDbHandle(0x4A0));
    const OdDbObjectId a = addLight(db.get(), 1.0);
    EXPECT_EQ(OdUInt64(a.getHandle()), 0x4A0u);
    // Used once only.
    const OdDbObjectId b = addLight(db.get(), 1.0);
    EXPECT_EQ(OdUInt64(b.getHandle()), 0x500u);
    // A handle in use falls back to the seed.
    db->setNextHandle(OdDbHandle(0x4A0));
    const OdDbObjectId c = addLight(db.get(), 1.0);
    EXPECT_EQ(OdUInt64(c.getHandle()), 0x501u);
    EXPECT_EQ(db->getOdDbObjectId(OdDbHandle(0x4A0)), a);
}

TEST(OdkitUndoFiler, UndoRestoresTheStateBeforeTheStepsFirstWriteAndRedoTheStateAfterIt)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const OdDbObjectId light = addLight(db.get(), 1.0);
    const OdDbObjectId other = addLight(db.get(), 7.0);
    Modifications reactor;
    db->addReactor(&reactor);

    db->startUndoRecord();
    setIntensity(light, 2.0);
    setIntensity(light, 3.0); // the second write of the step files nothing more
    db->startUndoRecord();
    setIntensity(light, 4.0);
    setIntensity(other, 8.0);

    reactor.modified.clear();
    db->undo();
    EXPECT_EQ(intensityOf(light), 3.0);
    EXPECT_EQ(intensityOf(other), 7.0);
    // The viewer's session learns of the undo as ordinary modifications.
    EXPECT_EQ(reactor.modified.size(), 2u);
    db->undo();
    EXPECT_EQ(intensityOf(light), 1.0);
    EXPECT_FALSE(db->hasUndo());

    db->redo();
    EXPECT_EQ(intensityOf(light), 3.0);
    db->redo();
    EXPECT_EQ(intensityOf(light), 4.0);
    EXPECT_EQ(intensityOf(other), 8.0);
    EXPECT_FALSE(db->hasRedo());
    // And back again: redo kept the step whole.
    db->undo();
    EXPECT_EQ(intensityOf(light), 3.0);
    EXPECT_EQ(intensityOf(other), 7.0);
    db->removeReactor(&reactor);
}

TEST(OdkitUndoFiler, AppendErasureAndModificationOfOneStepGoTogether)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const OdDbObjectId kept = addLight(db.get(), 1.0);
    db->startUndoRecord();
    const OdDbObjectId added = addLight(db.get(), 5.0);
    setIntensity(added, 6.0);
    setIntensity(kept, 2.0);
    {
        OdDbObjectPtr k = kept.safeOpenObject(OdDb::kForWrite);
        k->erase();
    }
    db->undo();
    EXPECT_TRUE(added.openObject().isNull()); // un-appended
    EXPECT_FALSE(kept.isErased());
    EXPECT_EQ(intensityOf(kept), 1.0);
    db->redo();
    EXPECT_TRUE(kept.isErased());
    EXPECT_EQ(intensityOf(added), 6.0);
}

TEST(OdkitUndoFiler, WritesOutsideAStepOrWithUndoDisabledAreNotFiled)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const OdDbObjectId light = addLight(db.get(), 1.0);
    setIntensity(light, 2.0); // before any step: loading a drawing is no command
    EXPECT_FALSE(db->hasUndo());
    db->startUndoRecord();
    db->disableUndoRecording(true);
    setIntensity(light, 3.0);
    db->disableUndoRecording(false);
    EXPECT_FALSE(db->hasUndo());
    setIntensity(light, 4.0);
    db->undo();
    EXPECT_EQ(intensityOf(light), 3.0);
}

TEST(OdkitUndoFiler, CommonFieldsOfAnEntityWhoseRecordLeavesThemOutAreUndoneToo)
{
    OdkitOwnRecordEntity::rxInit();
    {
        OdDbDatabasePtr db = OdDbDatabase::createObject();
        OdDbObjectId glass, walls;
        {
            OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
            OdDbMaterialPtr m = OdDbMaterial::createObject();
            m->setName(OdString(L"Glass"));
            glass = materials->setAt(OdString(L"Glass"), m.get());
            OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
            OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::createObject();
            layer->setName(OdString(L"Walls"));
            walls = layers->add(layer.get());
        }
        OdDbObjectId id;
        {
            OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
            OdSmartPtr<OdkitOwnRecordEntity> e = OdkitOwnRecordEntity::createObject();
            e->setDatabaseDefaults(db.get());
            e->value = 1.0;
            id = ms->appendOdDbEntity(e.get());
        }
        const auto state = [&] {
            OdSmartPtr<OdkitOwnRecordEntity> e = id.safeOpenObject();
            return std::make_tuple(e->layerId(), e->colorIndex(), e->materialId(), e->value);
        };
        const auto before = state();

        db->startUndoRecord();
        {
            OdSmartPtr<OdkitOwnRecordEntity> e = id.safeOpenObject(OdDb::kForWrite);
            e->setLayer(walls);
            e->setColorIndex(3);
            e->setMaterial(glass);
            e->value = 2.0;
        }
        const auto after = state();
        ASSERT_EQ(std::get<0>(after), walls);
        ASSERT_EQ(std::get<2>(after), glass);

        db->undo();
        EXPECT_EQ(std::get<0>(state()), std::get<0>(before)) << "layer";
        EXPECT_EQ(std::get<1>(state()), std::get<1>(before)) << "colour";
        EXPECT_EQ(std::get<2>(state()), std::get<2>(before)) << "material";
        EXPECT_EQ(std::get<3>(state()), 1.0);
        db->redo();
        EXPECT_EQ(state(), after);
    }
    OdkitOwnRecordEntity::rxUninit();
}

// Long runs report the undo history's size as the host's growth per command: it must count every
// filed state, of undo and redo steps alike, and drop the redo steps' share once a new change ends them.
TEST(OdkitUndoFiler, HistorySizeCountsTheFiledStatesOfUndoAndRedoSteps)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const OdDbObjectId light = addLight(db.get(), 1.0);
    EXPECT_EQ(odDbUndoHistorySize(db.get()).steps, 0u);
    db->startUndoRecord();
    setIntensity(light, 2.0);
    // One step: the light's state before it.
    const std::size_t stateItems = odDbUndoHistorySize(db.get()).items;
    ASSERT_GT(stateItems, 0u);
    for (int i = 1; i < 100; ++i) {
        db->startUndoRecord();
        setIntensity(light, 2.0 + i);
    }
    const OdDbUndoHistorySize recorded = odDbUndoHistorySize(db.get());
    EXPECT_EQ(recorded.steps, 100u);
    // Each step holds the light's state as it was before the step.
    EXPECT_EQ(recorded.items, 100 * stateItems);
    EXPECT_GT(recorded.bytes, 100 * stateItems * sizeof(double));

    for (int i = 0; i < 40; ++i)
        db->undo();
    const OdDbUndoHistorySize undone = odDbUndoHistorySize(db.get());
    EXPECT_EQ(undone.steps, 100u);
    // Undone steps keep their state before and gain the state after, for redo.
    EXPECT_EQ(undone.items, 140 * stateItems);
    EXPECT_GT(undone.bytes, recorded.bytes);

    db->startUndoRecord();
    setIntensity(light, 0.5);
    const OdDbUndoHistorySize changed = odDbUndoHistorySize(db.get());
    EXPECT_EQ(changed.steps, 61u);
    EXPECT_EQ(changed.items, 61 * stateItems);
    EXPECT_LT(changed.bytes, recorded.bytes);
}
