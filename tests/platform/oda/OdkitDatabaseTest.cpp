#include "odkit.h"

#include <gtest/gtest.h>

// A minimal entity with geometry: a point.
class OdkitPointEntity : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdkitPointEntity);
    OdGePoint3d position() const
    {
        assertReadEnabled();
        return m_pos;
    }
    void setPosition(const OdGePoint3d& p)
    {
        assertWriteEnabled();
        m_pos = p;
    }

protected:
    OdResult subGetGeomExtents(OdGeExtents3d& e) const override
    {
        e = OdGeExtents3d(m_pos, m_pos);
        return eOk;
    }

private:
    OdGePoint3d m_pos;
};
ODDB_DXF_DEFINE_MEMBERS(OdkitPointEntity, OdDbEntity, OdDb::kDHL_CURRENT, OdDb::kMReleaseCurrent, 0, POINTENT,
                        OdkitTest)

class OdkitDatabase : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { OdkitPointEntity::rxInit(); }
    static void TearDownTestSuite() { OdkitPointEntity::rxUninit(); }

    OdDbObjectId addPoint(const OdDbObjectId& blockId, const OdGePoint3d& p)
    {
        OdDbBlockTableRecordPtr block = blockId.safeOpenObject(OdDb::kForWrite);
        OdSmartPtr<OdkitPointEntity> e = OdkitPointEntity::createObject();
        e->setPosition(p);
        return block->appendOdDbEntity(e);
    }

    OdDbDatabasePtr db = OdDbDatabase::createObject();
};

TEST_F(OdkitDatabase, NewDatabaseHasTheStandardContents)
{
    OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject();
    EXPECT_EQ(blocks->getModelSpaceId(), db->getModelSpaceId());
    EXPECT_EQ(blocks->getPaperSpaceId(), db->getPaperSpaceId());
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject();
    EXPECT_EQ(ms->getName(), OdString(L"*Model_Space"));
    EXPECT_TRUE(ms->isLayout());
    EXPECT_EQ(ms->ownerId(), db->getBlockTableId());
    EXPECT_EQ(db->getActiveLayoutBTRId(), db->getModelSpaceId());

    OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject();
    EXPECT_EQ(layers->getAt(L"0"), db->getLayerZeroId());
    EXPECT_EQ(db->getCLAYER(), db->getLayerZeroId());

    OdDbDictionaryPtr nod = db->getNamedObjectsDictionaryId().safeOpenObject();
    EXPECT_EQ(nod->getAt(L"ACAD_MATERIAL"), db->getMaterialDictionaryId());
    OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject();
    EXPECT_EQ(materials->numEntries(), 3u);
    EXPECT_EQ(materials->getAt(L"ByBlock"), db->byBlockMaterialId());
    EXPECT_EQ(materials->getAt(L"bylayer"), db->byLayerMaterialId()) << "keys ignore letter case";
    EXPECT_EQ(materials->getAt(L"Global"), db->globalMaterialId());
    EXPECT_EQ(OdDbMaterial::cast(db->globalMaterialId().safeOpenObject())->name(), OdString(L"Global"));

    OdDbViewportTablePtr vports = db->getViewportTableId().safeOpenObject();
    EXPECT_EQ(vports->getActiveViewportId(), db->activeViewportId());
    EXPECT_FALSE(db->activeViewportId().isNull());

    EXPECT_EQ(db->getINSUNITS(), OdDb::kUnitsMillimeters);
    EXPECT_EQ(db->getLUNITS(), OdDb::kDecimal);
    EXPECT_EQ(db->getLUPREC(), 4);
}

TEST_F(OdkitDatabase, TagsAreUniqueAndHandlesFormatAsHex)
{
    OdDbDatabasePtr other = OdDbDatabase::createObject();
    EXPECT_NE(db->tag(), other->tag());
    EXPECT_GT(db->tag(), 0u);
    OdDbObjectId id = db->globalMaterialId();
    OdDbHandle h = id.getHandle();
    EXPECT_FALSE(h.isNull());
    EXPECT_EQ(db->getOdDbObjectId(h), id);
    EXPECT_EQ(OdDbHandle(h.ascii()), h);
    EXPECT_EQ(OdDbHandle(0x1F).ascii(), OdString(L"1F"));
    EXPECT_EQ(OdDbHandle(OdString(L"zz")).isNull(), true);
    // The id strings of the host: tag, run-time class name, hexadecimal handle.
    OdDbObjectPtr material = id.safeOpenObject();
    OdString idString =
        OdString::formatted(L"%u_%ls_%ls", db->tag(), material->isA()->name().c_str(), h.ascii().c_str());
    EXPECT_NE(idString.find(L"_AcDbMaterial_"), -1);
    EXPECT_TRUE(db->getOdDbObjectId(OdDbHandle(0xFFFFFF)).isNull());
}

TEST_F(OdkitDatabase, BlockRecordKeepsEntitiesInOrder)
{
    OdDbObjectIdArray ids;
    for (int i = 0; i < 5; ++i)
        ids.append(addPoint(db->getModelSpaceId(), OdGePoint3d(i, 0, 0)));
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject();
    OdDbObjectIteratorPtr it = ms->newIterator();
    OdDbObjectIdArray seen;
    for (; !it->done(); it->step())
        seen.append(it->objectId());
    EXPECT_EQ(seen, ids);

    OdDbEntityPtr third = ids[2].safeOpenObject(OdDb::kForWrite);
    EXPECT_EQ(third->blockId(), db->getModelSpaceId());
    EXPECT_EQ(third->layerId(), db->getLayerZeroId()) << "appended entities get layer 0";
    EXPECT_EQ(third->materialId(), db->byLayerMaterialId());
    EXPECT_EQ(third->layer(), OdString(L"0"));
    third->erase();
    third.release();
    EXPECT_EQ(ms->numEntities(), 4u);
    int n = 0;
    for (it = ms->newIterator(); !it->done(); it->step())
        ++n;
    EXPECT_EQ(n, 4);
    n = 0;
    for (it = ms->newIterator(true, false); !it->done(); it->step(true, false))
        ++n;
    EXPECT_EQ(n, 5) << "erased entities are visited on request";
    for (it = ms->newIterator(false); !it->done(); it->step(false))
        seen.append(it->objectId());
    EXPECT_EQ(seen.last(), ids[0]) << "backwards iteration ends at the first";

    OdGeExtents3d ext;
    ASSERT_EQ(ms->getGeomExtents(ext), eOk);
    EXPECT_EQ(ext.minPoint(), OdGePoint3d(0, 0, 0));
    EXPECT_EQ(ext.maxPoint(), OdGePoint3d(4, 0, 0));
}

TEST_F(OdkitDatabase, BlockReferenceTransformAndReferenceList)
{
    OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
    OdDbBlockTableRecordPtr def = OdDbBlockTableRecord::createObject();
    def->setName(L"Chair");
    def->setOrigin(OdGePoint3d(1, 0, 0));
    OdDbObjectId defId = blocks->add(def);
    def.release();
    EXPECT_THROW(blocks->add(OdDbBlockTableRecord::createObject()), OdError) << "a record needs a name";
    OdDbBlockTableRecordPtr dup = OdDbBlockTableRecord::createObject();
    dup->setName(L"CHAIR");
    EXPECT_THROW(blocks->add(dup), OdError);
    addPoint(defId, OdGePoint3d(2, 0, 0));

    OdDbBlockReferencePtr ref = OdDbBlockReference::createObject();
    ref->setBlockTableRecord(defId);
    ref->setPosition(OdGePoint3d(10, 0, 0));
    ref->setRotation(OdaPI / 2);
    ref->setScaleFactors(OdGeScale3d(2, 2, 2));
    OdDbObjectId refId = OdDbBlockTableRecord::cast(db->getModelSpaceId().safeOpenObject(OdDb::kForWrite))
                             ->appendOdDbEntity(ref);
    // Block point (2,0,0): minus origin (1,0,0), scaled by 2, turned 90 degrees, moved to (10,0,0).
    OdGePoint3d p = ref->blockTransform() * OdGePoint3d(2, 0, 0);
    EXPECT_TRUE(p.isEqualTo(OdGePoint3d(10, 2, 0), OdGeTol(1e-9)));

    OdDbBlockReferencePtr copy = OdDbBlockReference::createObject();
    copy->setBlockTableRecord(defId);
    EXPECT_EQ(copy->setBlockTransform(ref->blockTransform()), eOk);
    EXPECT_TRUE(copy->blockTransform().isEqualTo(ref->blockTransform(), OdGeTol(1e-9)));
    EXPECT_NEAR(copy->rotation(), OdaPI / 2, 1e-12);
    EXPECT_TRUE(copy->position().isEqualTo(OdGePoint3d(10, 0, 0), OdGeTol(1e-9)));

    OdDbBlockTableRecordPtr chair = defId.safeOpenObject();
    OdDbObjectIdArray refs;
    chair->getBlockReferenceIds(refs);
    ASSERT_EQ(refs.size(), 1u);
    EXPECT_EQ(refs[0], refId);
    OdGeExtents3d ext;
    ASSERT_EQ(ref->getGeomExtents(ext), eOk);
    EXPECT_TRUE(ext.minPoint().isEqualTo(OdGePoint3d(10, 2, 0), OdGeTol(1e-9)));
}

TEST_F(OdkitDatabase, ExternalReferenceRecordKnowsItsDatabase)
{
    OdDbDatabasePtr xref = OdDbDatabase::createObject();
    OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
    OdDbBlockTableRecordPtr rec = OdDbBlockTableRecord::createObject();
    rec->setName(L"Site");
    EXPECT_FALSE(rec->isFromExternalReference());
    rec->setPathName(L"/drawings/site.dxf");
    rec->setXrefDatabase(xref);
    OdDbObjectId recId = blocks->add(rec);
    xref->setXrefBlockId(recId);
    EXPECT_TRUE(rec->isFromExternalReference());
    EXPECT_EQ(rec->xrefDatabase(), xref.get());
    EXPECT_EQ(xref->xrefBlockId(), recId);
    EXPECT_TRUE(db->xrefBlockId().isNull());
}

TEST_F(OdkitDatabase, LayerSwitches)
{
    OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
    OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::createObject();
    layer->setName(L"Walls");
    OdDbObjectId layerId = layers->add(layer);
    layer->setIsOff(true);
    layer->setIsFrozen(true);
    layer->setIsHidden(true);
    layer.release();
    OdDbLayerTableRecordPtr read = layerId.safeOpenObject();
    EXPECT_TRUE(read->isOff());
    EXPECT_TRUE(read->isFrozen());
    EXPECT_TRUE(read->isHidden());
    EXPECT_FALSE(read->isLocked());
    OdDbObjectId pointId = addPoint(db->getModelSpaceId(), OdGePoint3d());
    OdDbEntityPtr e = pointId.safeOpenObject(OdDb::kForWrite);
    e->setLayer(L"walls");
    EXPECT_EQ(e->layerId(), layerId);
    EXPECT_THROW(e->setLayer(L"NoSuchLayer"), OdError);
}

TEST_F(OdkitDatabase, DictionarySetAtReplacesAndErasesTheOldEntry)
{
    OdDbDictionaryPtr nod = db->getNamedObjectsDictionaryId().safeOpenObject(OdDb::kForWrite);
    OdDbFieldPtr first = OdDbField::createObject();
    first->setFieldCode(L"42", OdDbField::kTextField);
    OdDbObjectId firstId = nod->setAt(L"UnrealNamedView", first);
    first.release();
    EXPECT_EQ(
        OdDbField::cast(nod->getAt(L"UnrealNamedView", OdDb::kForRead))->getFieldCode(OdDbField::kTextField),
        OdString(L"42"));
    OdDbFieldPtr second = OdDbField::createObject();
    second->setFieldCode(L"7", OdDbField::kTextField);
    OdDbObjectId secondId = nod->setAt(L"UnrealNamedView", second);
    EXPECT_NE(firstId, secondId);
    EXPECT_TRUE(firstId.isErased());
    EXPECT_EQ(nod->getAt(L"UnrealNamedView"), secondId);
    EXPECT_EQ(nod->nameAt(secondId), OdString(L"UnrealNamedView"));
    int entries = 0;
    for (OdDbDictionaryIteratorPtr it = nod->newIterator(); !it->done(); it->next())
        ++entries;
    EXPECT_EQ(entries, int(nod->numEntries()));
    EXPECT_EQ(nod->remove(L"UnrealNamedView"), secondId);
    EXPECT_FALSE(nod->has(L"UnrealNamedView"));
    EXPECT_THROW(OdDbBlockTable::cast(nod), OdError_NotThatKindOfClass);
}

TEST_F(OdkitDatabase, ActiveViewportDescribesTheCamera)
{
    OdDbViewportTableRecordPtr vp = db->activeViewportId().safeOpenObject(OdDb::kForWrite);
    vp->setView(OdGePoint3d(10, 0, 0), OdGePoint3d(0, 0, 0), OdGeVector3d::kZAxis);
    EXPECT_TRUE(vp->viewPosition().isEqualTo(OdGePoint3d(10, 0, 0)));
    EXPECT_TRUE(vp->upVector().isEqualTo(OdGeVector3d::kZAxis, OdGeTol(1e-9)));
    vp->setView(OdGePoint3d(0, 0, 10), OdGePoint3d(0, 0, 0), OdGeVector3d(-1, 0, 0));
    EXPECT_TRUE(vp->upVector().isEqualTo(OdGeVector3d(-1, 0, 0), OdGeTol(1e-9))) << "plan view with a twist";
    vp->setPerspectiveEnabled(true);
    vp->setLensLength(35.0);
    vp->setWidth(20.0);
    EXPECT_TRUE(vp->isPerspectiveEnabled());
    EXPECT_EQ(vp->lensLength(), 35.0);
    EXPECT_EQ(vp->width(), 20.0);
    EXPECT_THROW(vp->setView(OdGePoint3d(), OdGePoint3d(), OdGeVector3d::kZAxis), OdError);
}

TEST_F(OdkitDatabase, LightProperties)
{
    OdDbLightPtr light = OdDbLight::createObject();
    light->setLightType(OdGiDrawable::kWebLight);
    light->setPosition(OdGePoint3d(0, 0, 5));
    light->setTargetLocation(OdGePoint3d(0, 0, 0));
    light->setPhysicalIntensity(1200.0);
    light->setWebFile(L"C:/lib/IES/lamp.ies");
    OdCmColor c;
    c.setRGB(10, 20, 30);
    light->setLightColor(c);
    OdGiShadowParameters shadow;
    shadow.setExtendedLightShape(OdGiShadowParameters::kRectangle);
    shadow.setExtendedLightWidth(2.0);
    light->setShadowParameters(shadow);
    EXPECT_EQ(light->drawableType(), OdGiDrawable::kWebLight);
    EXPECT_EQ(light->lightDirection(), OdGeVector3d(0, 0, -5));
    OdCmEntityColor rc = light->resultingColor();
    EXPECT_EQ(rc.red() | rc.green() << 8 | rc.blue() << 16, 10 | 20 << 8 | 30 << 16);
    EXPECT_EQ(light->shadowParameters().extendedLightShape(), OdGiShadowParameters::kRectangle);
    EXPECT_TRUE(light->isOn());
}

TEST_F(OdkitDatabase, VisitEntitiesCoversEveryBlockRecord)
{
    OdDbObjectId a = addPoint(db->getModelSpaceId(), OdGePoint3d());
    OdDbObjectId b = addPoint(db->getPaperSpaceId(), OdGePoint3d());
    OdDbObjectId c = addPoint(db->getModelSpaceId(), OdGePoint3d());
    OdDbEntityPtr(c.safeOpenObject(OdDb::kForWrite))->erase();
    OdDbObjectIdArray seen;
    db->visitEntities([&](const OdDbObjectId& id) { seen.append(id); });
    EXPECT_EQ(seen, (OdDbObjectIdArray{a, b}));
}

TEST_F(OdkitDatabase, HeaderVariablesCheckTheirRange)
{
    db->setINSUNITS(OdDb::kUnitsMeters);
    EXPECT_EQ(db->getINSUNITS(), OdDb::kUnitsMeters);
    EXPECT_THROW(db->setINSUNITS(OdDb::UnitsValue(21)), OdError);
    db->setLUPREC(8);
    EXPECT_THROW(db->setLUPREC(9), OdError);
    EXPECT_THROW(db->setLUNITS(0), OdError);
    EXPECT_EQ(db->getLUPREC(), 8);
}

TEST_F(OdkitDatabase, ColorsResolveAciToRgb)
{
    OdCmEntityColor c;
    c.setColorIndex(1);
    EXPECT_TRUE(c.isByACI());
    EXPECT_EQ(c.red(), 255);
    EXPECT_EQ(c.green(), 0);
    c.setColorIndex(11);
    EXPECT_EQ((int(c.red()) << 16) | (int(c.green()) << 8) | c.blue(), 0xFF7F7F);
    c.setRGB(1, 2, 3);
    EXPECT_TRUE(c.isByColor());
    EXPECT_EQ(c.blue(), 3);
    EXPECT_EQ(OdCmEntityColor::lookUpACI(255, 0, 0), 1);
    OdCmColor byLayer;
    EXPECT_TRUE(byLayer.isByLayer());
    EXPECT_EQ(byLayer.colorIndex(), 256);
}

TEST_F(OdkitDatabase, DestroyingTheDatabaseLeavesHeldObjectsUsable)
{
    OdDbObjectId id = addPoint(db->getModelSpaceId(), OdGePoint3d(1, 2, 3));
    OdSmartPtr<OdkitPointEntity> held = id.safeOpenObject();
    db.release();
    EXPECT_FALSE(held->isDBRO());
    EXPECT_EQ(held->position(), OdGePoint3d(1, 2, 3));
}
