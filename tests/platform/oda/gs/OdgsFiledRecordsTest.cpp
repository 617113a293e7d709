// The records the mesh and polyline entities file, item by item after the entity's own fields.
// Drawings already saved hold these layouts: a field filed in another order, of another kind or with
// another count fails here even where reading and writing would still agree with each other.
#include "odkit.h"

#include "Db3dPolyline.h"
#include "DbPolyFaceMesh.h"
#include "DbPolygonMesh.h"
#include "DbPolyline.h"
#include "DbSubDMesh.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Kind = OdDbDwgMemoryFiler::ItemType;

struct Item
{
    Kind kind;
    double value = 0; // integers, booleans and doubles
    OdDbObjectId id;  // ids
};

Item i32(OdInt32 v)
{
    return {OdDbDwgMemoryFiler::kInt32, double(v), {}};
}
Item i16(OdInt16 v)
{
    return {OdDbDwgMemoryFiler::kInt16, double(v), {}};
}
Item real(double v)
{
    return {OdDbDwgMemoryFiler::kDouble, v, {}};
}
Item flag(bool v)
{
    return {OdDbDwgMemoryFiler::kBool, v ? 1.0 : 0.0, {}};
}
Item hardPointer(const OdDbObjectId& id)
{
    return {OdDbDwgMemoryFiler::kHardPointerId, 0, id};
}

void addPoints(std::vector<Item>& items, std::initializer_list<double> coordinates)
{
    for (double c : coordinates)
        items.push_back(real(c));
}

class FiledRecords : public ::testing::Test
{
protected:
    // The items object files after those of OdDbEntity, compared with expected one by one.
    void expectRecord(const OdDbEntity* entity, const std::vector<Item>& expected)
    {
        OdDbDwgMemoryFilerPtr head = OdDbDwgMemoryFiler::createObject();
        head->setDatabase(db);
        entity->OdDbEntity::dwgOutFields(head);
        OdDbDwgMemoryFilerPtr f = OdDbDwgMemoryFiler::createObject();
        f->setDatabase(db);
        entity->dwgOutFields(f);
        ASSERT_EQ(f->numItems(), head->numItems() + OdUInt32(expected.size()));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const OdUInt32 at = head->numItems() + OdUInt32(i);
            const Item& item = expected[i];
            ASSERT_EQ(f->itemTypeAt(at), item.kind) << "item " << i;
            f->seek(at);
            switch (item.kind) {
            case OdDbDwgMemoryFiler::kInt32:
                EXPECT_EQ(f->rdInt32(), OdInt32(item.value)) << "item " << i;
                break;
            case OdDbDwgMemoryFiler::kInt16:
                EXPECT_EQ(f->rdInt16(), OdInt16(item.value)) << "item " << i;
                break;
            case OdDbDwgMemoryFiler::kDouble:
                EXPECT_EQ(f->rdDouble(), item.value) << "item " << i;
                break;
            case OdDbDwgMemoryFiler::kBool:
                EXPECT_EQ(f->rdBool(), item.value != 0) << "item " << i;
                break;
            case OdDbDwgMemoryFiler::kHardPointerId:
                EXPECT_EQ(f->rdHardPointerId(), item.id) << "item " << i;
                break;
            default:
                FAIL() << "no such item in these records: " << i;
            }
        }
    }

    OdDbDatabasePtr db = OdDbDatabase::createObject();
};

TEST_F(FiledRecords, polyfaceMeshFilesVerticesFacesThenFaceMaterials)
{
    const OdDbObjectId brick = db->globalMaterialId();
    OdDbPolyFaceMeshPtr mesh = OdDbPolyFaceMesh::createObject();
    mesh->appendVertex(OdGePoint3d(1, 2, 3));
    mesh->appendVertex(OdGePoint3d(4, 5, 6));
    mesh->appendVertex(OdGePoint3d(7, 8, 9));
    ASSERT_EQ(mesh->appendFace(2, 0, 1, -1, brick), eOk);

    std::vector<Item> expected{i32(3)};
    addPoints(expected, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    for (OdInt32 v : {4, 3, 2, 0, 1})
        expected.push_back(i32(v));
    expected.push_back(i32(1));
    expected.push_back(hardPointer(brick));
    expectRecord(mesh.get(), expected);
}

TEST_F(FiledRecords, subDMeshFilesItsShellLevelFaceCountMaterialsNormalsAndCoordinates)
{
    const OdDbObjectId brick = db->globalMaterialId();
    OdDbSubDMeshPtr mesh = OdDbSubDMesh::createObject();
    OdArray<OdGePoint3d> vertices;
    vertices.append(OdGePoint3d(1, 2, 3));
    vertices.append(OdGePoint3d(4, 5, 6));
    vertices.append(OdGePoint3d(7, 8, 9));
    OdArray<OdInt32> faces;
    for (OdInt32 v : {3, 1, 2, 0})
        faces.append(v);
    ASSERT_EQ(mesh->setSubDMesh(vertices, faces, 2), eOk);
    OdArray<OdDbObjectId> materials;
    materials.append(brick);
    ASSERT_EQ(mesh->setFaceMaterials(materials), eOk);
    OdArray<OdGeVector3d> normals;
    for (int i = 0; i < 3; ++i)
        normals.append(OdGeVector3d(0, 0, i + 1));
    ASSERT_EQ(mesh->setVertexNormalArray(normals), eOk);
    OdArray<OdGePoint3d> uvs;
    for (int i = 0; i < 3; ++i)
        uvs.append(OdGePoint3d(0.5 * i, 0.25, 0));
    ASSERT_EQ(mesh->setVertexTextureArray(uvs), eOk);

    std::vector<Item> expected{i32(3)};
    addPoints(expected, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    expected.push_back(i32(4));
    for (OdInt32 v : {3, 1, 2, 0})
        expected.push_back(i32(v));
    expected.push_back(i32(2)); // level
    expected.push_back(i32(1)); // faces
    expected.push_back(i32(1));
    expected.push_back(hardPointer(brick));
    expected.push_back(i32(3));
    addPoints(expected, {0, 0, 1, 0, 0, 2, 0, 0, 3});
    expected.push_back(i32(3));
    addPoints(expected, {0, 0.25, 0, 0.5, 0.25, 0, 1, 0.25, 0});
    expectRecord(mesh.get(), expected);
}

TEST_F(FiledRecords, polylinesFilePointsThenElevationAndClosedFlag)
{
    OdDb3dPolylinePtr line3d = OdDb3dPolyline::createObject();
    line3d->appendVertex(OdGePoint3d(1, 2, 3));
    line3d->appendVertex(OdGePoint3d(4, 5, 6));
    line3d->setClosed(true);
    std::vector<Item> expected{i32(2)};
    addPoints(expected, {1, 2, 3, 4, 5, 6});
    expected.push_back(flag(true));
    expectRecord(line3d.get(), expected);

    OdDbPolylinePtr line = OdDbPolyline::createObject();
    line->addVertexAt(0, OdGePoint2d(1, 2));
    line->addVertexAt(1, OdGePoint2d(3, 4));
    line->setElevation(2.5);
    expected = {i32(2)};
    addPoints(expected, {1, 2, 3, 4, 2.5});
    expected.push_back(flag(false));
    expectRecord(line.get(), expected);
}

TEST_F(FiledRecords, polygonMeshFilesSizesClosureThenVertices)
{
    OdDbPolygonMeshPtr grid = OdDbPolygonMesh::createObject();
    OdArray<OdGePoint3d> points;
    for (int i = 0; i < 4; ++i)
        points.append(OdGePoint3d(i, 10 + i, 20 + i));
    ASSERT_EQ(grid->setMesh(2, 2, points), eOk);
    grid->makeNClosed();
    std::vector<Item> expected{i16(2), i16(2), flag(false), flag(true), i32(4)};
    addPoints(expected, {0, 10, 20, 1, 11, 21, 2, 12, 22, 3, 13, 23});
    expectRecord(grid.get(), expected);
}

// A negative count is refused, and the array it would have replaced keeps its items.
TEST_F(FiledRecords, aNegativeCountIsRefusedAndLeavesTheArray)
{
    OdDb3dPolylinePtr source = OdDb3dPolyline::createObject();
    OdDbDwgMemoryFilerPtr f = OdDbDwgMemoryFiler::createObject();
    f->setDatabase(db);
    source->OdDbEntity::dwgOutFields(f);
    f->wrInt32(-1);
    f->wrBool(false);
    f->rewind();

    OdDb3dPolylinePtr target = OdDb3dPolyline::createObject();
    target->appendVertex(OdGePoint3d(1, 1, 1));
    EXPECT_EQ(target->dwgInFields(f), eInvalidInput);
    ASSERT_EQ(target->vertices().size(), 1u);
    EXPECT_EQ(target->vertices()[0], OdGePoint3d(1, 1, 1));
}

} // namespace
