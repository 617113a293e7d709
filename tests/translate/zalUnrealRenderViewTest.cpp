// The draw hub through the real module, session and host, with the channel recorded call by call.
#include "zalTranslateTestDrawing.h"
#include "zalTranslateTestSession.h"

#include "translate/zalUnrealAssetSpawning.h"
#include "translate/zalUnrealRenderView.h"
#include "translate/zalUnrealViewerFrame.h"

#include "DbBlockReference.h"
#include "DbBlockTableRecord.h"

#include "zalDbAssetsSpawner.h"
#include "zalDbXBlock.h"
#include "zalIUEAssetPlaceHolder.h"

#include "gs/GiWorldDraw.h"

#include <cmath>

// An entity that draws only curves: it passes the translation's checks but yields no faces.
class LinesOnlyEntity : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(LinesOnlyEntity);

protected:
    bool subWorldDraw(OdGiWorldDraw* wd) const override
    {
        const OdGePoint3d points[3] = {{0, 0, 0}, {5, 0, 0}, {5, 5, 0}};
        wd->geometry().polyline(3, points);
        wd->geometry().circle(OdGePoint3d(1, 1, 0), 2.0, OdGeVector3d::kZAxis);
        return true;
    }
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override
    {
        extents.set(OdGePoint3d(0, 0, 0), OdGePoint3d(5, 5, 0));
        return eOk;
    }
};

ODRX_DEFINE_MEMBERS_EX(LinesOnlyEntity, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"LINESONLY"),
                       OdString(L"Test"), OdString(L"LinesOnlyEntity"))

// An entity that stands for a viewer asset.
class PlaceholderEntity : public zalIUEAssetPlaceHolder, public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(PlaceholderEntity);
    QString getCommand() const override { return QStringLiteral("SetColour 1 0 0"); }
    QString getAssetPath() const override { return QStringLiteral("/Game/Lamp"); }
    OdGeMatrix3d getAssetTransform() const override
    {
        return OdGeMatrix3d::translation(OdGeVector3d(1, 2, 3));
    }

protected:
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override
    {
        extents.set(OdGePoint3d(0, 0, 0), OdGePoint3d(1, 1, 1));
        return eOk;
    }
};

ODRX_DEFINE_MEMBERS_EX(PlaceholderEntity, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"PLACEHOLDER"),
                       OdString(L"Test"), OdString(L"PlaceholderEntity"))

// An entity that draws one face and then fails, as a damaged object of a drawing does.
class FailingEntity : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(FailingEntity);

protected:
    bool subWorldDraw(OdGiWorldDraw* wd) const override
    {
        const OdGePoint3d points[3] = {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}};
        const OdInt32 faces[4] = {3, 0, 1, 2};
        wd->geometry().shell(3, points, 4, faces);
        throw OdError(eNotThatKindOfClass);
    }
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override
    {
        extents.set(OdGePoint3d(0, 0, 0), OdGePoint3d(4, 4, 0));
        return eOk;
    }
};

ODRX_DEFINE_MEMBERS_EX(FailingEntity, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"FAILING"),
                       OdString(L"Test"), OdString(L"FailingEntity"))

class zalUnrealRenderViewSequence : public zalTranslateSessionTest
{
protected:
    static void SetUpTestSuite()
    {
        LinesOnlyEntity::rxInit();
        PlaceholderEntity::rxInit();
        FailingEntity::rxInit();
    }
    static void TearDownTestSuite()
    {
        FailingEntity::rxUninit();
        PlaceholderEntity::rxUninit();
        LinesOnlyEntity::rxUninit();
    }

    void SetUp() override
    {
        startHost(true);
        drawing.reset(new zalTranslateTestDrawing(db.get()));
    }

    // Opens the drawing and waits for the first refresh, which sends the whole model space.
    zalDbUnrealRenderSession* openAndSync()
    {
        zalDbUnrealRenderSession* session = openDrawing(db.get());
        if (!session) return nullptr;
        EXPECT_TRUE(waitFor([&] { return !session->isFirstRunPending(); })) << "no first refresh";
        EXPECT_TRUE(waitFor([&] { return session->registry().batchDepth() == 0; }));
        return session;
    }

    QList<zalRecordedCall> named(const QString& operation, const QString& name) const
    {
        QList<zalRecordedCall> out;
        for (const zalRecordedCall& c : calls(operation)) {
            if (c["name"] == name) out << c;
        }
        return out;
    }

    static QVector<double> viewerMatrix(const OdGeMatrix3d& m)
    {
        const std::vector<double> expected = expectedViewerMatrix(m);
        return QVector<double>(expected.begin(), expected.end());
    }

    static void expectNear(const QVector<double>& actual, const QVector<double>& expected,
                           double tolerance = 1e-3)
    {
        ASSERT_EQ(actual.size(), expected.size());
        for (int i = 0; i < actual.size(); ++i)
            EXPECT_NEAR(actual[i], expected[i], tolerance) << "at " << i;
    }

    OdDbDatabasePtr db = OdDbDatabase::createObject();
    std::unique_ptr<zalTranslateTestDrawing> drawing;
};

TEST_F(zalUnrealRenderViewSequence, FirstRefreshSendsDefinitionsInstancesAndMeshes)
{
    const OdDbObjectId block = drawing->addBlock(L"Tri");
    const OdDbObjectId blockFace = drawing->addFace({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, block);
    const OdDbObjectId ref1 = drawing->addReference(block, OdGePoint3d(10, 0, 0));
    const OdDbObjectId ref2 = drawing->addReference(block, OdGePoint3d(0, 10, 0), OdaPI / 2, 2.0);
    const OdDbObjectId face = drawing->addFace({{0, 0, 1}, {2, 0, 1}, {2, 2, 1}, {0, 2, 1}});
    OdDbLinePtr line = OdDbLine::createObject();
    line->setEndPoint(OdGePoint3d(3, 3, 3));
    const OdDbObjectId lineId = drawing->append(line);
    line = nullptr;
    OdSmartPtr<LinesOnlyEntity> curves = LinesOnlyEntity::createObject();
    const OdDbObjectId curvesId = drawing->append(curves);
    curves = nullptr;

    zalDbUnrealRenderSession* session = openAndSync();
    ASSERT_NE(session, nullptr);
    const QString ms = id(db->getModelSpaceId());
    const QString global = id(db->globalMaterialId());

    EXPECT_EQ(named("addComponentDef", ms).size(), 1);
    EXPECT_EQ(named("addComponentDef", id(block)).size(), 1) << "the block is defined once";
    const QList<zalRecordedCall> roots = named("addInstance", ms + "_Root");
    ASSERT_EQ(roots.size(), 1) << "the model-space root goes out exactly once";
    EXPECT_EQ(roots[0]["parent"], "Model");
    EXPECT_EQ(roots[0]["component"], ms);
    EXPECT_EQ(roots[0]["asset"], "Modelspace");
    EXPECT_EQ(roots[0]["material"], global);
    // Millimetres to metres.
    EXPECT_NEAR(roots[0].numbers("transform").value(0), 0.001, 1e-9);

    for (const OdDbObjectId& ref : {ref1, ref2}) {
        const QList<zalRecordedCall> instances = named("addInstance", id(ref));
        ASSERT_EQ(instances.size(), 1);
        EXPECT_EQ(instances[0]["parent"], ms);
        EXPECT_EQ(instances[0]["component"], id(block));
        OdDbBlockReferencePtr reference = ref.safeOpenObject();
        expectNear(instances[0].numbers("transform"), viewerMatrix(reference->blockTransform()));
    }
    // The second reference: rotated a quarter turn, scaled 2, at (0, 10, 0) -> X mirrored, centimetres.
    expectNear(named("addInstance", id(ref2))[0].numbers("transform"),
               {0, 2, 0, 0, -2, 0, 0, 1000, 0, 0, 2, 0, 0, 0, 0, 1});

    // One instance per entity with faces, one mesh per material named entity + "_" + material.
    for (const auto& entity : {std::make_pair(face, ms), std::make_pair(blockFace, id(block))}) {
        const QList<zalRecordedCall> instances = named("addInstance", id(entity.first));
        ASSERT_EQ(instances.size(), 1);
        EXPECT_EQ(instances[0]["parent"], entity.second);
        EXPECT_EQ(instances[0]["component"], "");
        EXPECT_EQ(instances[0]["asset"], id(entity.first));
        const QList<zalRecordedCall> meshes = named("addMesh", id(entity.first) + "_" + global);
        ASSERT_EQ(meshes.size(), 1);
        EXPECT_EQ(meshes[0]["parent"], id(entity.first));
        EXPECT_EQ(meshes[0]["material"], global);
    }
    const zalRecordedCall quad = named("addMesh", id(face) + "_" + global)[0];
    EXPECT_EQ(quad["faceSizes"], "[3,3]");
    EXPECT_EQ(quad["vertexCount"], "6");
    EXPECT_EQ(quad["flags"], "[1,1,1,1,1,1]");
    EXPECT_EQ(quad.numbers("positions").mid(0, 9),
              QVector<double>({0, 0, 100, -200, 0, 100, -200, 200, 100}));
    EXPECT_EQ(quad["uv0"], quad["uv1"]);

    // Nothing for lines, nor for an entity that yields only curves.
    for (const zalRecordedCall& c : calls()) {
        EXPECT_FALSE(c["name"].startsWith(id(lineId))) << c.operation.toStdString();
        EXPECT_FALSE(c["name"].startsWith(id(curvesId))) << c.operation.toStdString();
    }
    // Entities go out inside viewer transactions that are all closed again.
    EXPECT_EQ(calls("beginTransaction").size(), calls("endTransaction").size());
    EXPECT_FALSE(session->sender()->isTransactionOpen());
}

// Labels reach the viewer as UTF-8 whatever their characters and length (names are converted on the
// stack up to a limit, beyond it and beyond ASCII otherwise).
TEST_F(zalUnrealRenderViewSequence, BlockLabelsKeepEveryCharacter)
{
    const std::wstring wide = L"T\u00fcr_\u00df_\u6a4b";
    const std::wstring longName(150, L'x');
    const OdDbObjectId wideBlock = drawing->addBlock(wide.c_str());
    const OdDbObjectId longBlock = drawing->addBlock((longName + L"_end").c_str());
    drawing->addFace({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, wideBlock);
    drawing->addFace({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, longBlock);
    drawing->addReference(wideBlock, OdGePoint3d(10, 0, 0));
    drawing->addReference(longBlock, OdGePoint3d(20, 0, 0));

    ASSERT_NE(openAndSync(), nullptr);
    const QList<zalRecordedCall> wideDefs = named("addComponentDef", id(wideBlock));
    const QList<zalRecordedCall> longDefs = named("addComponentDef", id(longBlock));
    ASSERT_EQ(wideDefs.size(), 1);
    ASSERT_EQ(longDefs.size(), 1);
    EXPECT_EQ(wideDefs[0]["label"], QString::fromStdWString(wide));
    EXPECT_EQ(longDefs[0]["label"], QString::fromStdWString(longName + L"_end"));
}

TEST_F(zalUnrealRenderViewSequence, SecondRefreshOnlyReconnectsAndAnEditResendsOnlyTheEdited)
{
    const OdDbObjectId a = drawing->addFace({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    const OdDbObjectId b = drawing->addFace({{5, 0, 0}, {6, 0, 0}, {5, 1, 0}});
    zalDbUnrealRenderSession* session = openAndSync();
    ASSERT_NE(session, nullptr);
    ASSERT_EQ(named("addInstance", id(a)).size(), 1);

    recorder->clear();
    session->refresh(QString(), QString());
    EXPECT_TRUE(calls("addMesh").isEmpty());
    EXPECT_TRUE(calls("addInstance").isEmpty());
    EXPECT_TRUE(calls("addComponentDef").isEmpty());
    QStringList connected;
    for (const zalRecordedCall& c : calls("assureEntityConnected"))
        connected << c["name"];
    EXPECT_TRUE(connected.contains(id(a)));
    EXPECT_TRUE(connected.contains(id(b)));

    recorder->clear();
    {
        OdDbFacePtr edited = b.safeOpenObject(OdDb::kForWrite);
        edited->setVertexAt(2, OdGePoint3d(5, 3, 0));
    }
    waitFor([&] { return !calls("addMesh").isEmpty(); }, 3000);
    const QList<zalRecordedCall> meshes = calls("addMesh");
    ASSERT_EQ(meshes.size(), 1);
    EXPECT_EQ(meshes[0]["parent"], id(b));
    const QList<zalRecordedCall> instances = calls("addInstance");
    ASSERT_EQ(instances.size(), 1);
    EXPECT_EQ(instances[0]["name"], id(b));
    EXPECT_EQ(named("removeEntity", id(b)).size(), 1) << "the old one leaves the viewer first";
    EXPECT_TRUE(named("removeEntity", id(a)).isEmpty());
    EXPECT_NEAR(meshes[0].numbers("positions").value(7), 300.0, 1e-3);
}

TEST_F(zalUnrealRenderViewSequence, LayersOffOrHiddenKeepTheirEntitiesOut)
{
    const OdDbObjectId off = drawing->addLayer(L"Off", true, false);
    const OdDbObjectId hidden = drawing->addLayer(L"Hidden", false, true);
    const OdDbObjectId frozenOnly = drawing->addLayer(L"Frozen");
    {
        OdDbLayerTableRecordPtr layer = frozenOnly.safeOpenObject(OdDb::kForWrite);
        layer->setIsFrozen(true);
    }
    const OdDbObjectId onOff = drawing->addFace({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, OdDbObjectId(), off);
    const OdDbObjectId onHidden = drawing->addFace({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, OdDbObjectId(), hidden);
    const OdDbObjectId onFrozen =
        drawing->addFace({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, OdDbObjectId(), frozenOnly);
    ASSERT_NE(openAndSync(), nullptr);
    EXPECT_TRUE(named("addInstance", id(onOff)).isEmpty());
    EXPECT_TRUE(named("addInstance", id(onHidden)).isEmpty());
    EXPECT_EQ(named("addInstance", id(onFrozen)).size(), 1) << "frozen layers are not tested";
}

TEST_F(zalUnrealRenderViewSequence, TrianglesFollowTheSimplifierRules)
{
    const OdDbObjectId red = drawing->addMaterial(L"Red");
    const OdDbObjectId blue = drawing->addMaterial(L"Blue");
    // Face 0: counter-clockwise in XY, no normals. Face 1: two coincident corners. Face 2: collinear within
    // 1e-6. Face 3: clockwise (seen from -Z). Faces 4, 5 carry ByBlock and ByLayer materials, face 6 red.
    const OdDbObjectId shell = drawing->addShell(
        {{0, 0, 0},
         {1, 0, 0},
         {0, 1, 0},
         {1, 0, 0},
         {2, 0, 0},
         {3, 0, 5e-7},
         {0, 0, 2},
         {0, 1, 2},
         {1, 0, 2}},
        {3, 0, 1, 2, 3, 0, 1, 3, 3, 0, 4, 5, 3, 6, 7, 8, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2}, {},
        {OdDbObjectId(), OdDbObjectId(), OdDbObjectId(), OdDbObjectId(), db->byBlockMaterialId(),
         db->byLayerMaterialId(), red},
        blue);
    // The same triangle with vertex normals.
    const OdDbObjectId withNormals = drawing->addShell({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {3, 0, 1, 2},
                                                       {{0.6, 0, 0.8}, {0.6, 0, 0.8}, {0.6, 0, 0.8}});
    ASSERT_NE(openAndSync(), nullptr);

    const QString name = id(shell);
    const QList<zalRecordedCall> blueMesh = named("addMesh", name + "_" + id(blue));
    const QList<zalRecordedCall> redMesh = named("addMesh", name + "_" + id(red));
    ASSERT_EQ(blueMesh.size(), 1)
        << "faces without their own material, and ByBlock/ByLayer ones, take the traits'";
    ASSERT_EQ(redMesh.size(), 1);
    EXPECT_EQ(blueMesh[0]["faceSizes"], "[3,3,3,3]") << "the degenerate faces are not sent";
    EXPECT_EQ(redMesh[0]["faceSizes"], "[3]");

    const QVector<double> normals = blueMesh[0].numbers("normals");
    const QVector<double> uvs = blueMesh[0].numbers("uv0");
    const QVector<double> positions = blueMesh[0].numbers("positions");
    // Counter-clockwise without normals: the plane normal of the converted points, mirrored again.
    expectNear(normals.mid(0, 3), {0, 0, -1});
    // Clockwise, seen from -Z in the drawing: +Z in the viewer.
    expectNear(normals.mid(3 * 3, 3), {0, 0, 1});
    // Box mapping: Z dominant; v = +y for a face seen from -Z, -y from +Z; the stream writes (u, -v).
    for (int v = 0; v < 3; ++v) {
        EXPECT_NEAR(uvs[2 * v], positions[3 * v], 1e-3);
        EXPECT_NEAR(uvs[2 * v + 1], -positions[3 * v + 1], 1e-3);
        EXPECT_NEAR(uvs[6 + 2 * v], positions[9 + 3 * v], 1e-3);
        EXPECT_NEAR(uvs[6 + 2 * v + 1], positions[9 + 3 * v + 1], 1e-3);
    }
    // Vertex normals are taken and mirrored in X.
    const QList<zalRecordedCall> normalMesh =
        calls("addMesh").isEmpty() ? QList<zalRecordedCall>()
                                   : named("addMesh", id(withNormals) + "_" + id(db->globalMaterialId()));
    ASSERT_EQ(normalMesh.size(), 1);
    expectNear(normalMesh[0].numbers("normals").mid(0, 3), {-0.6, 0, 0.8});
}

TEST_F(zalUnrealRenderViewSequence, FaceMaterialsThatNameOneViewerMaterialShareAMeshInArrivalOrder)
{
    // A face material that is not a material falls back to the global one, which faces 0 and 2 name
    // themselves: two keys, one viewer material, so one mesh with the four faces as they came.
    const OdDbObjectId notAMaterial = drawing->addLayer(L"Stone");
    const OdDbObjectId global = db->globalMaterialId();
    std::vector<OdGePoint3d> vertices;
    std::vector<OdInt32> faces;
    for (int f = 0; f < 4; ++f) {
        vertices.insert(vertices.end(), {{10.0 * f, 0, 0}, {10.0 * f + 1, 0, 0}, {10.0 * f, 1, 0}});
        faces.insert(faces.end(), {3, 3 * f, 3 * f + 1, 3 * f + 2});
    }
    const OdDbObjectId shell =
        drawing->addShell(vertices, faces, {}, {global, notAMaterial, global, notAMaterial});
    ASSERT_NE(openAndSync(), nullptr);

    const QList<zalRecordedCall> meshes = named("addMesh", id(shell) + "_" + id(global));
    ASSERT_EQ(meshes.size(), 1);
    EXPECT_EQ(meshes[0]["faceSizes"], "[3,3,3,3]");
    const QVector<double> positions = meshes[0].numbers("positions");
    ASSERT_EQ(positions.size(), 36);
    for (int f = 0; f < 4; ++f)
        EXPECT_NEAR(positions[9 * f], -1000.0 * f, 1e-3) << "face " << f;
    for (const zalRecordedCall& call : calls("addMesh"))
        EXPECT_FALSE(call["name"].startsWith(id(shell)) && call["name"] != id(shell) + "_" + id(global))
            << call["name"].toStdString();
}

TEST_F(zalUnrealRenderViewSequence, LightsGoOutWithTheirTypeIntensityColourAndRange)
{
    drawing->addFace({{0, 0, 0}, {10, 0, 0}, {0, 10, 0}});
    const OdDbObjectId point = drawing->addLight(OdGiDrawable::kPointLight, {1, 2, 3}, {1, 2, 3}, 2.0);
    const OdDbObjectId spot = drawing->addLight(OdGiDrawable::kSpotLight, {0, 0, 5}, {0, 0, 0}, 1.0);
    const OdDbObjectId web = drawing->addLight(OdGiDrawable::kWebLight, {0, 0, 4}, {0, 0, 0}, 1.0);
    const OdDbObjectId distant = drawing->addLight(OdGiDrawable::kDistantLight, {0, 0, 9}, {0, 0, 0}, 1.0);
    {
        OdDbLightPtr light = web.safeOpenObject(OdDb::kForWrite);
        light->setPhysicalIntensity(1500.0);
        light->setIlluminanceDistance(2.0);
        light->setWebFile(L"/library/lights/IES/lamp.ies");
        OdCmColor colour;
        colour.setRGB(255, 128, 0);
        light->setLightColor(colour);
        OdGiShadowParameters shadow;
        shadow.setExtendedLightShape(OdGiShadowParameters::kRectangle);
        shadow.setExtendedLightWidth(3.0);
        shadow.setExtendedLightLength(4.0);
        light->setShadowParameters(shadow);
    }
    zalDbUnrealRenderSession* session = openAndSync();
    ASSERT_NE(session, nullptr);

    auto lightCall = [&](const OdDbObjectId& light) {
        const QList<zalRecordedCall> c = named("addLight", id(light));
        EXPECT_FALSE(c.isEmpty());
        return c.isEmpty() ? zalRecordedCall() : c.last();
    };
    const zalRecordedCall p = lightCall(point);
    EXPECT_EQ(p["type"], "0");
    EXPECT_EQ(p["parent"], id(db->getModelSpaceId()));
    EXPECT_NEAR(p["intensity"].toDouble(), 2.0 * 0.1 * 100 * 100000, 1.0);
    EXPECT_NEAR(p["attenuationRadius"].toDouble(), 1.0, 1e-6) << "a light at its target: factor 1, not 0";
    const zalRecordedCall s = lightCall(spot);
    EXPECT_EQ(s["type"], "1");
    EXPECT_NEAR(s["intensity"].toDouble(), 0.1 * 1000 * 100000, 1.0);
    EXPECT_NEAR(s["attenuationRadius"].toDouble(), 5.0, 1e-5);
    const zalRecordedCall w = lightCall(web);
    EXPECT_EQ(w["type"], "2") << "rectangular extended shape";
    EXPECT_NEAR(w["intensity"].toDouble(), 1500 * 0.0001 * 100 * 100000, 1.0);
    EXPECT_NEAR(w["attenuationRadius"].toDouble(), 2.0 * 4.0, 1e-5);
    EXPECT_EQ(w["colour"], QString::number(255 | 128 << 8));
    EXPECT_EQ(w["iesFile"], "/IES/lamp");
    EXPECT_NEAR(w["size1"].toDouble(), 3.0, 1e-6);
    EXPECT_NEAR(w["size2"].toDouble(), 4.0, 1e-6);
    const zalRecordedCall d = lightCall(distant);
    EXPECT_EQ(d["type"], "3");
    EXPECT_NEAR(d["intensity"].toDouble(), 0.1 * 0.1 * 100000, 1e-3);
    // Position in the viewer frame: translation of the light's frame.
    const QVector<double> t = s.numbers("transform");
    ASSERT_EQ(t.size(), 16);
    EXPECT_NEAR(t[3], 0.0, 1e-4);
    EXPECT_NEAR(t[11], 500.0, 1e-3);

    // Lights are not registered: a refresh sends them again.
    recorder->clear();
    session->refresh(QString(), QString());
    EXPECT_EQ(named("addLight", id(spot)).size(), 1);
}

TEST_F(zalUnrealRenderViewSequence, SpawnerSendsItsXBlocksThenOneBatchPerXBlock)
{
    drawing->addFace({{0, 0, 0}, {10, 0, 0}, {0, 10, 0}});
    const OdDbObjectId treeDef = drawing->addBlock(L"TreeDef");
    zalDbXBlockPtr xblock = zalDbXBlock::createObject();
    const OdDbObjectId xblockId = drawing->append(xblock, treeDef);
    xblock->setSubObjectPath(4, L"/Game/Trees/Oak");
    xblock->setLocalArchivePath(dir.path().toStdWString().c_str());
    OdDbBlockReferencePtr instance = OdDbBlockReference::createObject();
    instance->setBlockTableRecord(treeDef);
    instance->setPosition(OdGePoint3d(0, 0, 1));
    const OdDbObjectId instanceId = db->addOdDbObject(instance, xblockId);
    instance = nullptr;
    xblock->setInstanceForRepresentation(4, instanceId);
    xblock = nullptr;

    AssetSpawnInfo entry(xblockId, 1.0, 1.0, 0.0, 1.0);
    entry.instanceTransforms = {OdGeMatrix3d::translation(OdGeVector3d(1, 0, 0)),
                                OdGeMatrix3d::translation(OdGeVector3d(0, 2, 0))};
    AssetSpawnInfo empty(OdDbObjectId(), 1.0, 1.0, 0.0, 1.0);
    empty.instanceTransforms = {OdGeMatrix3d()};
    zalDbAssetsSpawnerPtr spawner = zalDbAssetsSpawner::createObject();
    spawner->setSpawnObjectsInfo({entry, empty});
    const OdDbObjectId spawnerId = drawing->append(spawner);
    spawner = nullptr;

    zalDbUnrealRenderSession* session = openAndSync();
    ASSERT_NE(session, nullptr);
    const QString spawnerName = id(spawnerId);
    const QString ms = id(db->getModelSpaceId());
    const QList<zalRecordedCall> spawnerInstance = named("addInstance", spawnerName);
    ASSERT_EQ(spawnerInstance.size(), 1);
    EXPECT_EQ(spawnerInstance[0]["parent"], ms);
    EXPECT_EQ(spawnerInstance[0]["asset"], spawnerName);
    EXPECT_EQ(named("addComponentDef", id(treeDef)).size(), 1) << "the XBlock's definition goes first";
    // The XBlock's viewer representation is an asset: placed as one instance.
    const QList<zalRecordedCall> placed = named("addInstance", id(xblockId));
    ASSERT_EQ(placed.size(), 1);
    EXPECT_EQ(placed[0]["parent"], id(treeDef));
    EXPECT_EQ(placed[0]["asset"], "/Game/Trees/Oak");
    EXPECT_NEAR(placed[0].numbers("transform").value(0), 0.01, 1e-6);
    // scale(0.01) x blockTransform: the insertion height of 1 shrinks with it, then turns to centimetres.
    EXPECT_NEAR(placed[0].numbers("transform").value(11), 1.0, 1e-4);

    const QList<zalRecordedCall> batches = calls("spawnInstances");
    ASSERT_EQ(batches.size(), 1) << "an entry without an XBlock gives no batch";
    EXPECT_EQ(batches[0]["name"], spawnerName + "[SE:" + id(treeDef) + "]");
    EXPECT_EQ(batches[0]["parent"], spawnerName);
    EXPECT_EQ(batches[0]["component"], id(treeDef));
    EXPECT_EQ(batches[0]["count"], "2");
    const QVector<double> transforms = batches[0].numbers("transforms");
    ASSERT_EQ(transforms.size(), 32);
    EXPECT_NEAR(transforms[3], -100.0, 1e-4);
    EXPECT_NEAR(transforms[16 + 7], 200.0, 1e-4);

    // Present already: only reconnected, sub-entities first.
    recorder->clear();
    session->refresh(QString(), QString());
    EXPECT_TRUE(calls("spawnInstances").isEmpty());
    QStringList connected;
    for (const zalRecordedCall& c : calls("assureEntityConnected"))
        connected << c["name"];
    const int batchAt = connected.indexOf(spawnerName + "[SE:" + id(treeDef) + "]");
    const int spawnerAt = connected.indexOf(spawnerName);
    ASSERT_GE(batchAt, 0);
    ASSERT_GE(spawnerAt, 0);
    EXPECT_LT(batchAt, spawnerAt);
}

TEST_F(zalUnrealRenderViewSequence, PlaceholderIsPlacedAndItsCommandRunsOnIt)
{
    OdSmartPtr<PlaceholderEntity> lamp = PlaceholderEntity::createObject();
    const OdDbObjectId lampId = drawing->append(lamp);
    lamp = nullptr;
    ASSERT_NE(openAndSync(), nullptr);
    const QList<zalRecordedCall> placed = named("addInstance", id(lampId));
    ASSERT_EQ(placed.size(), 1);
    EXPECT_EQ(placed[0]["component"], "");
    EXPECT_EQ(placed[0]["asset"], "/Game/Lamp");
    EXPECT_EQ(placed[0]["material"], id(db->globalMaterialId()));
    expectNear(placed[0].numbers("transform"),
               viewerMatrix(OdGeMatrix3d::translation(OdGeVector3d(1, 2, 3))));
    EXPECT_TRUE(recorder->consoleCommands().contains(
        QStringLiteral("CallOnActor %1 SetColour 1 0 0").arg(id(lampId))));
    EXPECT_TRUE(named("addMesh", id(lampId)).isEmpty());
}

TEST_F(zalUnrealRenderViewSequence, BoxMappingFollowsTheDominantAxisAndItsSignOnEverySideOfACube)
{
    // A cube of side 2 around (3, 4, 5), its six quads facing out, without normals or mapping.
    const OdDbObjectId cube = drawing->addShell(
        {{2, 3, 4}, {4, 3, 4}, {4, 5, 4}, {2, 5, 4}, {2, 3, 6}, {4, 3, 6}, {4, 5, 6}, {2, 5, 6}},
        {4, 0, 3, 2, 1, 4, 4, 5, 6, 7, 4, 0, 1, 5, 4, 4, 2, 3, 7, 6, 4, 1, 2, 6, 5, 4, 0, 4, 7, 3});
    ASSERT_NE(openAndSync(), nullptr);
    const QList<zalRecordedCall> meshes = named("addMesh", id(cube) + "_" + id(db->globalMaterialId()));
    ASSERT_EQ(meshes.size(), 1);
    const QVector<double> positions = meshes[0].numbers("positions");
    const QVector<double> normals = meshes[0].numbers("normals");
    const QVector<double> uvs = meshes[0].numbers("uv0");
    ASSERT_EQ(positions.size(), 12 * 3 * 3);
    // The rule, in the viewer frame: X dominant u = y (negated when n.x < 0); Y dominant u = -x
    // (x when n.y < 0); otherwise u = x; v = -z on the sides, -y from +Z and y from -Z; the stream
    // writes (u, -v).
    int sides[6] = {};
    for (int i = 0; i < positions.size() / 3; ++i) {
        const double x = positions[3 * i], y = positions[3 * i + 1], z = positions[3 * i + 2];
        const double nx = normals[3 * i], ny = normals[3 * i + 1], nz = normals[3 * i + 2];
        double u = 0, v = 0;
        if (std::fabs(nx) > 0.5) {
            u = nx < 0 ? -y : y;
            v = -z;
            ++sides[nx < 0 ? 0 : 1];
        } else if (std::fabs(ny) > 0.5) {
            u = ny < 0 ? x : -x;
            v = -z;
            ++sides[ny < 0 ? 2 : 3];
        } else {
            u = x;
            v = nz < 0 ? y : -y;
            ++sides[nz < 0 ? 4 : 5];
        }
        EXPECT_NEAR(uvs[2 * i], u, 1e-3) << "vertex " << i << " normal " << nx << "," << ny << "," << nz;
        EXPECT_NEAR(uvs[2 * i + 1], -v, 1e-3) << "vertex " << i << " normal " << nx << "," << ny << "," << nz;
    }
    for (int side : sides)
        EXPECT_EQ(side, 6) << "each side two triangles";
}

TEST_F(zalUnrealRenderViewSequence, AnExternalReferencesLightsHangUnderItsReferenceAndItsRootUnderItsBlock)
{
    drawing->addFace({{0, 0, 0}, {10, 0, 0}, {0, 10, 0}});
    // The referenced drawing, with a light in its model space, loaded for the block "Site".
    OdDbDatabasePtr site = OdDbDatabase::createObject();
    zalTranslateTestDrawing siteDrawing(site.get());
    const OdDbObjectId light = siteDrawing.addLight(OdGiDrawable::kPointLight, {1, 1, 3}, {1, 1, 0}, 1.0);
    const OdDbObjectId block = drawing->addBlock(L"Site");
    {
        OdDbBlockTableRecordPtr record = block.safeOpenObject(OdDb::kForWrite);
        record->setXrefDatabase(site.get());
    }
    site->setXrefBlockId(block);
    // Placed once, inside a block of the host drawing.
    const OdDbObjectId holder = drawing->addBlock(L"Holder");
    OdDbBlockReferencePtr reference = OdDbBlockReference::createObject();
    reference->setBlockTableRecord(block);
    drawing->append(reference, holder);
    reference = nullptr;

    zalDbUnrealRenderSession* session = openAndSync();
    ASSERT_NE(session, nullptr);
    zalUnrealRenderView* view = session->view();
    ASSERT_NE(view, nullptr);
    OdDbObjectPtr lightObject = light.safeOpenObject();
    EXPECT_EQ(view->viewerOwnerId(lightObject.get()), holder);
    // An ordinary light keeps its own owner.
    const OdDbObjectId own = drawing->addLight(OdGiDrawable::kPointLight, {0, 0, 3}, {0, 0, 0}, 1.0);
    EXPECT_EQ(view->viewerOwnerId(own.safeOpenObject().get()), db->getModelSpaceId());

    // The referenced drawing's model space goes out under the host's block for it.
    OdDbBlockTableRecordPtr siteSpace = site->getModelSpaceId().safeOpenObject();
    ASSERT_TRUE(view->ensureBlockDefinition(siteSpace.get(), false));
    const QList<zalRecordedCall> roots = named("addInstance", id(site->getModelSpaceId()) + "_Root");
    ASSERT_EQ(roots.size(), 1);
    EXPECT_EQ(roots[0]["parent"], id(block));
    EXPECT_EQ(roots[0]["component"], id(site->getModelSpaceId()));
}

TEST_F(zalUnrealRenderViewSequence, ASliverWithAShortFirstEdgeIsKeptButACollinearOneIsNot)
{
    // First edges of 5e-7: the first triangle's third corner lies 1 away from their line, the
    // second's 5e-7.
    const OdDbObjectId sliver = drawing->addShell({{0, 0, 0}, {5e-7, 0, 0}, {0, 1, 0}}, {3, 0, 1, 2});
    const OdDbObjectId flat = drawing->addShell({{0, 0, 1}, {5e-7, 0, 1}, {1, 5e-7, 1}}, {3, 0, 1, 2});
    ASSERT_NE(openAndSync(), nullptr);
    const QList<zalRecordedCall> kept = named("addMesh", id(sliver) + "_" + id(db->globalMaterialId()));
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0]["faceSizes"], "[3]");
    EXPECT_TRUE(named("addInstance", id(flat)).isEmpty());
    EXPECT_TRUE(named("addMesh", id(flat) + "_" + id(db->globalMaterialId())).isEmpty());
}

TEST_F(zalUnrealRenderViewSequence, AnEntityThatFailsToDrawSendsNothingAndTheBurstStillEnds)
{
    OdSmartPtr<FailingEntity> failing = FailingEntity::createObject();
    const OdDbObjectId failingId = drawing->append(failing);
    failing = nullptr;
    const OdDbObjectId after = drawing->addShell({{0, 0, 2}, {1, 0, 2}, {0, 1, 2}}, {3, 0, 1, 2});
    zalDbUnrealRenderSession* session = openAndSync();
    ASSERT_NE(session, nullptr);
    EXPECT_TRUE(named("addInstance", id(failingId)).isEmpty());
    for (const zalRecordedCall& mesh : calls("addMesh"))
        EXPECT_FALSE(mesh["name"].startsWith(id(failingId))) << mesh["name"].toStdString();
    EXPECT_EQ(named("addInstance", id(after)).size(), 1);
    EXPECT_EQ(session->registry().batchDepth(), 0u);
    EXPECT_FALSE(session->registry().isBatchOpen());
    EXPECT_EQ(calls("beginTransaction").size(), calls("endTransaction").size());
}

TEST(zalUnrealAssetSpawning, BatchNamesReplaceStarsAndBrackets)
{
    EXPECT_EQ(zalUnrealAssetSpawning::batchName("S", "*U2[x]"), "S[SE:_U2|x|]");
    EXPECT_EQ(zalUnrealAssetSpawning::batchName("S", ""), "S");
    EXPECT_EQ(zalUnrealAssetSpawning::batchName("", "K"), "");
}

TEST_F(zalUnrealRenderViewSequence, ShownAndSkippedClassesInAnyOrderKeepTheirOwnAnswer)
{
    // Runs of one class, then alternations: an answer kept for the last class must never stand for another.
    std::vector<OdDbObjectId> faces, lines;
    auto addLine = [&](double x) {
        OdDbLinePtr line = OdDbLine::createObject();
        line->setStartPoint(OdGePoint3d(x, 0, 0));
        line->setEndPoint(OdGePoint3d(x, 3, 0));
        lines.push_back(drawing->append(line));
    };
    auto addFace = [&](double x) {
        faces.push_back(drawing->addFace({{x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0}}));
    };
    addFace(0);
    addFace(2);
    addLine(4);
    addLine(6);
    addFace(8);
    addLine(10);
    addFace(12);

    zalDbUnrealRenderSession* session = openAndSync();
    ASSERT_NE(session, nullptr);
    for (const OdDbObjectId& face : faces) {
        EXPECT_EQ(named("addInstance", id(face)).size(), 1) << id(face).toStdString();
        int meshes = 0;
        for (const zalRecordedCall& c : calls("addMesh"))
            meshes += c["parent"] == id(face) ? 1 : 0;
        EXPECT_EQ(meshes, 1) << id(face).toStdString();
    }
    for (const OdDbObjectId& line : lines)
        EXPECT_TRUE(named("addInstance", id(line)).isEmpty()) << "a line is never shown";

    // And asked directly, in alternation, outside any drawing.
    OdDbObjectPtr face = faces.front().safeOpenObject();
    OdDbObjectPtr line = lines.front().safeOpenObject();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(zalUnrealRenderView::isSkipped(face.get()));
        EXPECT_TRUE(zalUnrealRenderView::isSkipped(line.get()));
    }
}

TEST_F(zalUnrealRenderViewSequence, AnEntityErasedAndDrawnAgainInOneRunIsSentAgain)
{
    // The view remembers, inside one drawing run, which owner was found in the viewer; an entity it
    // removes in that run must not be taken for sent.
    const OdDbObjectId a = drawing->addFace({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    zalDbUnrealRenderSession* session = openAndSync();
    ASSERT_NE(session, nullptr);
    zalUnrealRenderView* view = session->view();
    ASSERT_NE(view, nullptr);

    recorder->clear();
    view->beginViewVectorization();
    EXPECT_TRUE(view->isEntitySent(a, db->getModelSpaceId()));
    view->forgetEntity(id(a));
    EXPECT_FALSE(view->isEntitySent(a, db->getModelSpaceId())) << "a forgotten entity is no longer sent";
    view->endViewVectorization();
    EXPECT_EQ(named("removeEntity", id(a)).size(), 1);

    session->refresh(QString(), QString());
    EXPECT_EQ(named("addInstance", id(a)).size(), 1) << "the next refresh sends it again";
}
