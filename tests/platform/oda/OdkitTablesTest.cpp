#include "odkit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class OdkitTables : public ::testing::Test
{
protected:
    OdDbObjectId addLayer(const OdString& name)
    {
        OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
        OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::createObject();
        layer->setName(name);
        return layers->add(layer);
    }
    OdDbDatabasePtr db = OdDbDatabase::createObject();
};

TEST_F(OdkitTables, IteratorWalksRecordsInOrderAndSkipsErasedOnRequest)
{
    OdDbObjectId a = addLayer(L"A");
    OdDbObjectId b = addLayer(L"B");
    OdDbObjectPtr(a.safeOpenObject(OdDb::kForWrite))->erase();
    OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject();
    OdArray<OdString> names;
    for (OdDbSymbolTableIteratorPtr it = layers->newIterator(); !it->done(); it->step())
        names.append(it->getRecord()->getName());
    EXPECT_EQ(names, (OdArray<OdString>{L"0", L"B"}));
    names.clear();
    for (OdDbSymbolTableIteratorPtr it = layers->newIterator(true, false); !it->done(); it->step(true, false))
        names.append(it->getRecord(OdDb::kForRead, true)->getName());
    EXPECT_EQ(names, (OdArray<OdString>{L"0", L"A", L"B"}));
    EXPECT_EQ(layers->numEntries(), 2u);
    EXPECT_FALSE(layers->has(L"A"));
    EXPECT_TRUE(layers->has(b));
    EXPECT_EQ(layers->getAt(L"A", true), a) << "erased records are found on request";
    // A name freed by erasing can be used again.
    EXPECT_NO_THROW(addLayer(L"a"));
}

TEST_F(OdkitTables, LookUpByNameFollowsLetterCaseRenamesAndErasures)
{
    const OdDbObjectId wall = addLayer(L"Wall");
    const OdDbObjectId door = addLayer(L"Door");
    {
        OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject();
        EXPECT_EQ(layers->getAt(L"wALL"), wall);
        EXPECT_EQ(layers->getAt(L"DOOR"), door);
        EXPECT_TRUE(layers->getAt(L"Window").isNull());
        EXPECT_TRUE(layers->getAt(L"Wal").isNull()) << "a prefix is not the name";
    }
    // Renamed after being found once: the old name is free, the new one finds it.
    OdDbLayerTableRecordPtr(wall.safeOpenObject(OdDb::kForWrite))->setName(L"Facade");
    OdDbObjectPtr(door.safeOpenObject(OdDb::kForWrite))->erase();
    const OdDbObjectId newWall = addLayer(L"WALL");
    const OdDbObjectId newDoor = addLayer(L"door");
    EXPECT_THROW(addLayer(L"facade"), OdError);
    OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject();
    EXPECT_EQ(layers->getAt(L"facade"), wall);
    EXPECT_EQ(layers->getAt(L"Wall"), newWall);
    EXPECT_EQ(layers->getAt(L"Door"), newDoor);
    EXPECT_EQ(layers->getAt(L"Door", true), door)
        << "with erased records, the first of the name in table order";
    EXPECT_EQ(OdDbSymbolTableRecordPtr(layers->getAt(L"FACADE", OdDb::kForRead))->objectId(), wall);
    layers = nullptr;

    // Many records: each found by its own name.
    OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
    std::vector<OdDbObjectId> ids;
    for (int i = 0; i < 2000; ++i) {
        OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::createObject();
        block->setName(OdString(("Block" + std::to_string(i)).c_str()));
        ids.push_back(blocks->add(block));
    }
    for (int i = 0; i < 2000; i += 37)
        EXPECT_EQ(blocks->getAt(OdString(("BLOCK" + std::to_string(i)).c_str())), ids[std::size_t(i)]) << i;
    EXPECT_THROW(
        {
            OdDbBlockTableRecordPtr again = OdDbBlockTableRecord::createObject();
            again->setName(L"block1999");
            blocks->add(again);
        },
        OdError);
}

TEST_F(OdkitTables, ARecordReadBackFromAFilerIsFoundUnderTheNameItRead)
{
    // As undo restores a record: its earlier state read back into the same object.
    const OdDbObjectId wall = addLayer(L"Wall");
    OdDbDwgMemoryFilerPtr filer = OdDbDwgMemoryFiler::createObject();
    OdDbLayerTableRecordPtr(wall.safeOpenObject())->dwgOutFields(filer);
    OdDbLayerTableRecordPtr(wall.safeOpenObject(OdDb::kForWrite))->setName(L"Facade");
    {
        OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject();
        ASSERT_EQ(layers->getAt(L"Facade"), wall);
    }
    filer->rewind();
    ASSERT_EQ(OdDbLayerTableRecordPtr(wall.safeOpenObject(OdDb::kForWrite))->dwgInFields(filer), eOk);
    OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject();
    EXPECT_EQ(layers->getAt(L"wall"), wall);
    EXPECT_TRUE(layers->getAt(L"Facade").isNull());
}

TEST_F(OdkitTables, ABlockListsEachEntityOnceWhateverWayItIsAppended)
{
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    OdDbLightPtr light = OdDbLight::createObject();
    const OdDbObjectId first = ms->appendOdDbEntity(light);
    EXPECT_EQ(ms->appendOdDbEntity(light), first) << "appended again by its own block";
    const OdDbObjectId second = ms->appendOdDbEntity(OdDbLight::createObject());
    OdArray<OdDbObjectId> listed;
    for (OdDbObjectIteratorPtr it = ms->newIterator(); !it->done(); it->step())
        listed.append(it->objectId());
    EXPECT_EQ(listed, (OdArray<OdDbObjectId>{first, second}));
    EXPECT_EQ(ms->numEntities(), 2u);
}

TEST_F(OdkitTables, TablesAcceptOnlyTheirRecordClass)
{
    OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
    OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::createObject();
    block->setName(L"NotALayer");
    EXPECT_THROW(layers->add(block), OdError_NotThatKindOfClass);
    layers.release(); // closes the table
    OdDbLayerTablePtr readOnly = db->getLayerTableId().safeOpenObject();
    OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::createObject();
    layer->setName(L"L");
    EXPECT_THROW(readOnly->add(layer), OdError) << "adding needs the table open for write";
}

TEST_F(OdkitTables, ViewRecordRoundTripsThroughTheFiler)
{
    OdDbViewportTableRecordPtr vp = db->activeViewportId().safeOpenObject(OdDb::kForWrite);
    vp->setView(OdGePoint3d(3, 4, 5), OdGePoint3d(1, 1, 1), OdGeVector3d(0, 0, 1));
    vp->setPerspectiveEnabled(true);
    vp->setLensLength(28.0);
    vp->setUpperRightCorner(OdGePoint2d(0.5, 1.0));
    OdDbDwgMemoryFilerPtr f = OdDbDwgMemoryFiler::createObject();
    vp->dwgOutFields(f);
    f->rewind();
    OdDbViewportTableRecordPtr copy = OdDbViewportTableRecord::createObject();
    ASSERT_EQ(copy->dwgInFields(f), eOk);
    EXPECT_EQ(copy->getName(), OdString(L"*Active"));
    EXPECT_TRUE(copy->viewPosition().isEqualTo(OdGePoint3d(3, 4, 5)));
    EXPECT_TRUE(copy->upVector().isEqualTo(vp->upVector(), OdGeTol(1e-12)));
    EXPECT_TRUE(copy->isPerspectiveEnabled());
    EXPECT_EQ(copy->lensLength(), 28.0);
    EXPECT_EQ(copy->upperRightCorner(), OdGePoint2d(0.5, 1.0));
    EXPECT_EQ(copy->ownerId(), db->getViewportTableId());
}

TEST_F(OdkitTables, LayerRecordRoundTripsThroughTheFiler)
{
    OdDbObjectId id = addLayer(L"Glass");
    OdDbLayerTableRecordPtr layer = id.safeOpenObject(OdDb::kForWrite);
    layer->setIsHidden(true);
    layer->setIsLocked(true);
    layer->setMaterialId(db->globalMaterialId());
    OdCmColor c;
    c.setRGB(1, 2, 3);
    layer->setColor(c);
    OdDbDwgMemoryFilerPtr f = OdDbDwgMemoryFiler::createObject();
    layer->dwgOutFields(f);
    f->rewind();
    OdDbLayerTableRecordPtr copy = OdDbLayerTableRecord::createObject();
    ASSERT_EQ(copy->dwgInFields(f), eOk);
    EXPECT_EQ(copy->getName(), OdString(L"Glass"));
    EXPECT_TRUE(copy->isHidden());
    EXPECT_TRUE(copy->isLocked());
    EXPECT_FALSE(copy->isOff());
    EXPECT_EQ(copy->color(), c);
    EXPECT_EQ(copy->materialId(), db->globalMaterialId());
}

TEST_F(OdkitTables, DictionaryEntryComesBackWhenUnerased)
{
    OdDbDictionaryPtr nod = db->getNamedObjectsDictionaryId().safeOpenObject(OdDb::kForWrite);
    OdDbObjectId id = nod->setAt(L"Key", OdDbField::createObject());
    OdDbObjectPtr(id.safeOpenObject(OdDb::kForWrite))->erase();
    EXPECT_FALSE(nod->has(L"Key"));
    EXPECT_EQ(nod->numEntries(), 1u) << "only ACAD_MATERIAL remains visible";
    OdDbObjectPtr(id.safeOpenObject(OdDb::kForWrite, true))->erase(false);
    EXPECT_EQ(nod->getAt(L"key"), id);
    EXPECT_TRUE(nod->setName(L"Key", L"Renamed"));
    EXPECT_EQ(nod->getAt(L"Renamed"), id);
    EXPECT_FALSE(nod->setName(L"Renamed", L"ACAD_MATERIAL")) << "names stay unique";
    EXPECT_THROW(nod->setAt(L"", OdDbField::createObject()), OdError);
}

TEST_F(OdkitTables, RecordsRenamedAfterTheyWereAddedAreFoundUnderTheirNewNamesInTableOrder)
{
    // Named once in the table and renamed there, as importers do.
    OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
    std::vector<OdDbObjectId> ids;
    for (int i = 0; i < 2000; ++i) {
        OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::createObject();
        layer->setName(OdString::formatted(L"tmp%d", i));
        ids.push_back(layers->add(layer));
        ASSERT_TRUE(layers->has(OdString::formatted(L"tmp%d", i))); // keeps the index in use
        layer->setName(OdString::formatted(L"Layer%d", i));
    }
    for (int i = 0; i < 2000; i += 37) {
        EXPECT_EQ(layers->getAt(OdString::formatted(L"LAYER%d", i)), ids[std::size_t(i)]);
        EXPECT_FALSE(layers->has(OdString::formatted(L"tmp%d", i)));
    }
    // Records of one name keep table order: an earlier record renamed to an erased later one's name
    // comes first.
    OdDbObjectPtr(ids[1500].safeOpenObject(OdDb::kForWrite))->erase();
    OdDbLayerTableRecordPtr early = ids[10].safeOpenObject(OdDb::kForWrite);
    early->setName(L"layer1500");
    EXPECT_EQ(layers->getAt(L"Layer1500"), ids[10]);
    EXPECT_EQ(layers->getAt(L"Layer1500", true), ids[10]) << "the first in table order, erased or not";
    EXPECT_FALSE(layers->has(L"Layer10"));
}

TEST_F(OdkitTables, ABlockListsEachEntityOnceAlsoWhenItsListWasBuiltHandedOutOrReadBack)
{
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    auto listed = [&] {
        OdArray<OdDbObjectId> ids;
        for (OdDbObjectIteratorPtr it = ms->newIterator(); !it->done(); it->step())
            ids.append(it->objectId());
        return ids;
    };
    OdDbLightPtr a = OdDbLight::createObject(), b = OdDbLight::createObject(), c = OdDbLight::createObject();
    const OdDbObjectId ida = ms->appendOdDbEntity(a);
    ms->appendOdDbEntity(a); // the first repeat: the block builds its set of members here
    const OdDbObjectId idb = ms->appendOdDbEntity(b);
    ms->appendOdDbEntity(b); // appended after the set was built: it must be in it
    EXPECT_EQ(listed(), (OdArray<OdDbObjectId>{ida, idb}));
    // The block's state with a and b, as undo keeps it.
    OdDbDwgMemoryFilerPtr filer = OdDbDwgMemoryFiler::createObject();
    ms->dwgOutFields(filer);

    // Walking the drawing hands the list out; what is appended afterwards is still checked.
    int visited = 0;
    db->visitEntities([&](const OdDbObjectId&) { ++visited; });
    EXPECT_EQ(visited, 2);
    const OdDbObjectId idc = ms->appendOdDbEntity(c);
    ms->appendOdDbEntity(c);
    ms->appendOdDbEntity(a);
    EXPECT_EQ(listed(), (OdArray<OdDbObjectId>{ida, idb, idc}));

    // Read back without c (undo of its append): appending c again lists it again, once.
    filer->rewind();
    ASSERT_EQ(ms->dwgInFields(filer), eOk);
    EXPECT_EQ(listed(), (OdArray<OdDbObjectId>{ida, idb}));
    ms->appendOdDbEntity(c);
    ms->appendOdDbEntity(c);
    EXPECT_EQ(listed(), (OdArray<OdDbObjectId>{ida, idb, idc}));
}

TEST_F(OdkitTables, ABlockKnowsEachReferenceOnceAcrossMovesBetweenBlocks)
{
    OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
    auto block = [&](const wchar_t* name) {
        OdDbBlockTableRecordPtr record = OdDbBlockTableRecord::createObject();
        record->setName(name);
        return blocks->add(record);
    };
    const OdDbObjectId chair = block(L"Chair"), table = block(L"Table");
    blocks = nullptr;
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    std::vector<OdDbObjectId> refs;
    for (int i = 0; i < 3; ++i) {
        OdDbBlockReferencePtr ref = OdDbBlockReference::createObject();
        ref->setBlockTableRecord(chair);
        refs.push_back(ms->appendOdDbEntity(ref));
    }
    auto referencesOf = [](const OdDbObjectId& id) {
        OdDbObjectIdArray ids;
        OdDbBlockTableRecordPtr(id.safeOpenObject())->getBlockReferenceIds(ids);
        return ids;
    };
    auto setBlock = [](const OdDbObjectId& ref, const OdDbObjectId& block) {
        OdDbBlockReferencePtr(ref.safeOpenObject(OdDb::kForWrite))->setBlockTableRecord(block);
    };
    EXPECT_EQ(referencesOf(chair), (OdDbObjectIdArray{refs[0], refs[1], refs[2]}));
    setBlock(refs[1], table);
    setBlock(refs[1], table); // the same block again: still listed once
    EXPECT_EQ(referencesOf(chair), (OdDbObjectIdArray{refs[0], refs[2]}));
    EXPECT_EQ(referencesOf(table), (OdDbObjectIdArray{refs[1]}));
    // Back to its first block: taken off the other one, listed again at the end.
    setBlock(refs[1], chair);
    EXPECT_EQ(referencesOf(chair), (OdDbObjectIdArray{refs[0], refs[2], refs[1]}));
    EXPECT_TRUE(referencesOf(table).isEmpty());
}
