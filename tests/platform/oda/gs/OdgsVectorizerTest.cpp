#include "OdgsRecordingSimplifier.h"

#include "ColorMapping.h"
#include "Db3dPolyline.h"
#include "DbCircle.h"
#include "DbFace.h"
#include "DbGsManager.h"
#include "DbLine.h"
#include "DbPolyFaceMesh.h"
#include "DbPolygonMesh.h"
#include "DbSubDMesh.h"
#include "DbText.h"
#include "GiContextForDbDatabase.h"
#include "GsBaseVectorizeViewDef.h"
#include "ModelerGeometry.h"

#include "odkit.h"

#include <gtest/gtest.h>

namespace {

// A view that records the traits in force whenever geometry follows a change.
class RecordingView : public OdGsBaseVectorizeViewDef
{
public:
    std::vector<OdGiSubEntityTraitsData> traitsChanges;
    int begins = 0;
    int ends = 0;

    void beginViewVectorization() override
    {
        ++begins;
        OdGsBaseVectorizeViewDef::beginViewVectorization();
    }
    void endViewVectorization() override
    {
        ++ends;
        OdGsBaseVectorizeViewDef::endViewVectorization();
    }

protected:
    void onTraitsModified() override { traitsChanges.push_back(effectiveTraits()); }
};

class RecordingDevice : public OdGsBaseVectorizeDevice
{
public:
    OdgsRecordingSimplifier simplifier;
    OdGsViewPtr createView(const OdGsClientViewInfo* info, bool) override
    {
        OdGsViewPtr view = OdRxObjectImpl<RecordingView, OdGsView>::createObject();
        auto* v = static_cast<RecordingView*>(view.get());
        v->init(this, info);
        v->output().setDestGeometry(simplifier);
        return view;
    }
};

class OdgsVectorizer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        context = OdRxObjectImpl<OdGiContextForDbDatabase>::createObject();
        context->setDatabase(db.get());
        device = OdRxObjectImpl<RecordingDevice>::createObject();
        helper = OdDbGsManager::setupLayoutViews(OdDbObjectId(), device.get(), context.get());
        ASSERT_TRUE(helper);
        view = static_cast<RecordingView*>(helper->activeView());
        ASSERT_TRUE(view);
    }

    OdDbObjectId append(OdDbEntity* entity, const OdDbObjectId& blockId = OdDbObjectId())
    {
        OdDbBlockTableRecordPtr block =
            (blockId.isNull() ? db->getModelSpaceId() : blockId).safeOpenObject(OdDb::kForWrite);
        entity->setDatabaseDefaults(db.get());
        return block->appendOdDbEntity(entity);
    }

    OdDbObjectId addLayer(const wchar_t* name, std::uint16_t aci)
    {
        OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
        OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::createObject();
        layer->setName(name);
        OdCmColor color;
        color.setColorIndex(aci);
        layer->setColor(color);
        return layers->add(layer);
    }

    OdDbObjectId addMaterial(const wchar_t* name)
    {
        OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
        OdDbMaterialPtr material = OdDbMaterial::createObject();
        material->setName(name);
        return materials->setAt(name, material);
    }

    OdDbObjectId addBlock(const wchar_t* name)
    {
        OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
        OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::createObject();
        block->setName(name);
        return blocks->add(block);
    }

    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdGiContextForDbDatabasePtr context;
    OdSmartPtr<RecordingDevice> device;
    OdGsLayoutHelperPtr helper;
    RecordingView* view = nullptr;
};

} // namespace

TEST_F(OdgsVectorizer, LayoutViewShowsTheModelSpaceWithTheActiveViewportCamera)
{
    {
        OdDbViewportTableRecordPtr vp = db->activeViewportId().safeOpenObject(OdDb::kForWrite);
        vp->setView(OdGePoint3d(10, 20, 30), OdGePoint3d(1, 2, 3), OdGeVector3d::kYAxis);
        vp->setWidth(40.0);
    }
    ASSERT_TRUE(helper->setActiveViewport(db->activeViewportId()));
    EXPECT_EQ(view->position(), OdGePoint3d(10, 20, 30));
    EXPECT_EQ(view->target(), OdGePoint3d(1, 2, 3));
    EXPECT_DOUBLE_EQ(view->fieldWidth(), 40.0);
    EXPECT_EQ(view->numDrawables(), 1);
    EXPECT_EQ(OdDbObjectId(view->drawableAt(0)->id()), db->getModelSpaceId());
    EXPECT_EQ(helper->numViews(), 1);

    // The view keeps the model space by id: it can still be opened for write to add entities.
    OdDbFacePtr face = OdDbFace::createObject();
    face->setVertexAt(0, OdGePoint3d(0, 0, 0));
    face->setVertexAt(1, OdGePoint3d(1, 0, 0));
    face->setVertexAt(2, OdGePoint3d(0, 1, 0));
    face->setVertexAt(3, OdGePoint3d(0, 1, 0));
    append(face);

    helper->update();
    EXPECT_EQ(view->begins, 1);
    EXPECT_EQ(view->ends, 1);
    ASSERT_EQ(device->simplifier.triangles.size(), 1u);
}

TEST_F(OdgsVectorizer, EntitiesDrawTheirOwnGeometry)
{
    OdDbFacePtr quad = OdDbFace::createObject();
    const OdGePoint3d corners[4] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
    for (OdUInt16 i = 0; i < 4; ++i)
        quad->setVertexAt(i, corners[i]);
    append(quad);

    OdDbPolygonMeshPtr grid = OdDbPolygonMesh::createObject();
    OdArray<OdGePoint3d> points;
    for (int m = 0; m < 2; ++m)
        for (int n = 0; n < 3; ++n)
            points.append(OdGePoint3d(n, m, 5));
    ASSERT_EQ(grid->setMesh(2, 3, points), eOk);
    grid->makeNClosed();
    append(grid);

    OdDbLinePtr line = OdDbLine::createObject();
    line->setEndPoint(OdGePoint3d(1, 1, 1));
    append(line);
    OdDbCirclePtr circle = OdDbCircle::createObject();
    circle->setRadius(3.0);
    append(circle);
    OdDbTextPtr text = OdDbText::createObject();
    text->setTextString(L"hello");
    text->setHeight(2.5);
    append(text);

    helper->update();
    const OdgsRecordingSimplifier& out = device->simplifier;
    EXPECT_EQ(out.shells, 1);
    EXPECT_EQ(out.meshes, 1);
    EXPECT_EQ(out.meshColumns, 4) << "a closed direction repeats its first column";
    // Quad: 2 triangles of area 4; mesh: 2 rows of 3 cells.
    EXPECT_EQ(out.triangles.size(), 2u + 6u);
    ASSERT_EQ(out.texts.size(), 1u);
    EXPECT_EQ(out.texts[0], OdString(L"hello"));
    EXPECT_DOUBLE_EQ(out.textHeights[0], 2.5);
    // The quad's outline, line, circle and the mesh's 2 + 4 wires.
    EXPECT_EQ(out.polylines.size(), 3u + 6u);
}

TEST_F(OdgsVectorizer, PolyfaceFacesCarryTheirMaterials)
{
    const OdDbObjectId red = addMaterial(L"Red");
    const OdDbObjectId blue = addMaterial(L"Blue");
    OdDbPolyFaceMeshPtr mesh = OdDbPolyFaceMesh::createObject();
    for (const OdGePoint3d& p : {OdGePoint3d(0, 0, 0), OdGePoint3d(1, 0, 0), OdGePoint3d(1, 1, 0),
                                 OdGePoint3d(0, 1, 0), OdGePoint3d(2, 0, 0)})
        mesh->appendVertex(p);
    ASSERT_EQ(mesh->appendFace(0, 1, 2, 3, red), eOk);
    ASSERT_EQ(mesh->appendFace(1, 4, 2, -1, blue), eOk);
    ASSERT_EQ(mesh->appendFace(0, 1, 9), eInvalidIndex);
    append(mesh);

    helper->update();
    const auto& triangles = device->simplifier.triangles;
    ASSERT_EQ(triangles.size(), 3u);
    EXPECT_EQ(triangles[0].faceMaterial, red);
    EXPECT_EQ(triangles[1].faceMaterial, red);
    EXPECT_EQ(triangles[2].faceMaterial, blue);
}

TEST_F(OdgsVectorizer, SubDMeshHandsItsNormalsAndTextureCoordinates)
{
    OdDbSubDMeshPtr mesh = OdDbSubDMesh::createObject();
    OdArray<OdGePoint3d> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    OdArray<OdInt32> faces = {3, 0, 1, 2};
    ASSERT_EQ(mesh->setSubDMesh(v, faces), eOk);
    EXPECT_EQ(mesh->setSubDMesh(v, OdArray<OdInt32>{3, 0, 1, 5}), eInvalidInput);
    ASSERT_EQ(mesh->setVertexNormalArray(OdArray<OdGeVector3d>{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}), eOk);
    ASSERT_EQ(mesh->setVertexTextureArray(OdArray<OdGePoint3d>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), eOk);
    EXPECT_EQ(mesh->setVertexNormalArray(OdArray<OdGeVector3d>{{0, 0, 1}}), eInvalidInput);
    append(mesh);
    helper->update();
    EXPECT_EQ(device->simplifier.triangles.size(), 1u);
    EXPECT_TRUE(device->simplifier.lastVertexNormals);
    EXPECT_TRUE(device->simplifier.lastMappingCoords);
}

TEST_F(OdgsVectorizer, BlockReferenceDrawsItsBlockUnderItsTransform)
{
    const OdDbObjectId blockId = addBlock(L"Tri");
    {
        OdDbBlockTableRecordPtr block = blockId.safeOpenObject(OdDb::kForWrite);
        block->setOrigin(OdGePoint3d(1, 0, 0));
    }
    OdDbFacePtr face = OdDbFace::createObject();
    face->setVertexAt(0, OdGePoint3d(1, 0, 0));
    face->setVertexAt(1, OdGePoint3d(2, 0, 0));
    face->setVertexAt(2, OdGePoint3d(1, 1, 0));
    face->setVertexAt(3, OdGePoint3d(1, 1, 0));
    append(face, blockId);
    face->setColorIndex(0); // ByBlock

    OdDbBlockReferencePtr reference = OdDbBlockReference::createObject();
    reference->setBlockTableRecord(blockId);
    reference->setPosition(OdGePoint3d(10, 20, 30));
    reference->setScaleFactors(OdGeScale3d(2, 2, 2));
    append(reference);
    reference->setColorIndex(3);

    helper->update();
    const auto& triangles = device->simplifier.triangles;
    ASSERT_EQ(triangles.size(), 1u);
    // The block's origin goes to the insertion point, then the scale applies.
    EXPECT_TRUE(triangles[0].p[0].isEqualTo(OdGePoint3d(10, 20, 30)));
    EXPECT_TRUE(triangles[0].p[1].isEqualTo(OdGePoint3d(12, 20, 30)));
    EXPECT_TRUE(triangles[0].p[2].isEqualTo(OdGePoint3d(10, 22, 30)));
    // The ByBlock face takes the reference's colour.
    ASSERT_FALSE(view->traitsChanges.empty());
    EXPECT_EQ(view->traitsChanges.back().trueColor().colorIndex(), 3);
}

TEST_F(OdgsVectorizer, ByLayerColourComesFromTheLayer)
{
    const OdDbObjectId layer = addLayer(L"Walls", 5);
    OdDbFacePtr face = OdDbFace::createObject();
    face->setVertexAt(1, OdGePoint3d(1, 0, 0));
    face->setVertexAt(2, OdGePoint3d(0, 1, 0));
    face->setVertexAt(3, OdGePoint3d(0, 1, 0));
    append(face);
    face->setLayer(layer);
    helper->update();
    ASSERT_FALSE(view->traitsChanges.empty());
    EXPECT_EQ(view->traitsChanges.back().trueColor().colorIndex(), 5);
    EXPECT_EQ(view->traitsChanges.back().layer(), layer);
}

TEST_F(OdgsVectorizer, ModelTransformsNestAndApplyToNormals)
{
    view->beginViewVectorization();
    OdGiWorldGeometry& geometry = *view;
    geometry.pushModelTransform(OdGeMatrix3d::translation(OdGeVector3d(5, 0, 0)));
    geometry.pushModelTransform(OdGeMatrix3d::rotation(OdaPI / 2, OdGeVector3d::kZAxis));
    const OdGePoint3d points[3] = {{1, 0, 0}, {2, 0, 0}, {1, 1, 0}};
    const std::int32_t faces[4] = {3, 0, 1, 2};
    const OdGeVector3d normals[1] = {{1, 0, 0}};
    OdGiFaceData faceData;
    faceData.setNormals(normals);
    geometry.shell(3, points, 4, faces, nullptr, &faceData);
    geometry.popModelTransform();
    geometry.popModelTransform();
    geometry.shell(3, points, 4, faces);
    view->endViewVectorization();

    const auto& triangles = device->simplifier.triangles;
    ASSERT_EQ(triangles.size(), 2u);
    EXPECT_TRUE(triangles[0].p[0].isEqualTo(OdGePoint3d(5, 1, 0), OdGeTol(1e-9)));
    EXPECT_TRUE(triangles[0].p[1].isEqualTo(OdGePoint3d(5, 2, 0), OdGeTol(1e-9)));
    ASSERT_TRUE(triangles[0].hasNormal);
    EXPECT_TRUE(triangles[0].normal.isEqualTo(OdGeVector3d(0, 1, 0), OdGeTol(1e-9)));
    EXPECT_TRUE(triangles[1].p[0].isEqualTo(OdGePoint3d(1, 0, 0)));
}

TEST(OdgsPalette, AciColoursFollowTheStandardTable)
{
    const ODCOLORREF* dark = odcmAcadPalette(ODRGB(0, 0, 0));
    const ODCOLORREF* light = odcmAcadPalette(ODRGB(255, 255, 255));
    EXPECT_EQ(dark[1], ODRGB(255, 0, 0));
    EXPECT_EQ(dark[5], ODRGB(0, 0, 255));
    EXPECT_EQ(dark[7], ODRGB(255, 255, 255));
    EXPECT_EQ(light[7], ODRGB(0, 0, 0)) << "white becomes black on a light background";
    EXPECT_EQ(dark[8], ODRGB(128, 128, 128));
    EXPECT_EQ(dark[10], ODRGB(255, 0, 0));
    EXPECT_EQ(dark[11], ODRGB(255, 127, 127));
    EXPECT_EQ(dark[12], ODRGB(204, 0, 0));
    EXPECT_EQ(dark[20], ODRGB(255, 63, 0));
    EXPECT_EQ(dark[30], ODRGB(255, 127, 0));
    EXPECT_EQ(dark[40], ODRGB(255, 191, 0));
    EXPECT_EQ(dark[50], ODRGB(255, 255, 0));
    EXPECT_EQ(dark[140], ODRGB(0, 191, 255));
    EXPECT_EQ(dark[250], ODRGB(51, 51, 51));
    EXPECT_EQ(dark[255], ODRGB(255, 255, 255));
    EXPECT_EQ(odcmLookupAci(3), ODRGB(0, 255, 0));
}

TEST(OdgsModelerGeometry, ModuleLoadsByNameAndKeepsItsParameters)
{
    OdRxModulePtr module = odrxDynamicLinker()->loadModule(L"ModelerGeometry");
    ASSERT_TRUE(module) << odrxDynamicLinker()->lastError().toUtf8();
    auto* modeler = dynamic_cast<OdModelerGeometryModule*>(module.get());
    ASSERT_NE(modeler, nullptr);
    OdModelerTessellationParams params = modeler->tessellationParams();
    params.normalTolerance = 7.5;
    modeler->setTessellationParams(params);
    OdRxModulePtr again = odrxDynamicLinker()->getModule(L"ModelerGeometry");
    EXPECT_EQ(again.get(), module.get());
    EXPECT_DOUBLE_EQ(
        dynamic_cast<OdModelerGeometryModule*>(again.get())->tessellationParams().normalTolerance, 7.5);
    module = nullptr;
    again = nullptr;
    EXPECT_TRUE(odrxDynamicLinker()->unloadModule(L"ModelerGeometry"));
}
