#include "translate/zalPolymesh.h"

#include "DbDatabase.h"
#include "DbDwgMemoryFiler.h"
#include "OdError.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace zal::polymesh;

namespace {

IdArray ids(std::initializer_list<Id> values)
{
    IdArray array;
    for (Id v : values)
        array.append(v);
    return array;
}

std::vector<Id> toVector(const IdArray& array)
{
    return std::vector<Id>(array.getPtr(), array.getPtr() + array.size());
}

// Signed area of a loop seen from +Z, computed independently of the code under test (shoelace formula).
double signedAreaXY(const IdArray& loop, const OdArray<Vertex>& vertices)
{
    double area = 0.0;
    for (unsigned i = 0; i < loop.size(); ++i) {
        const OdGePoint3d& a = vertices[loop[i]].getPosition();
        const OdGePoint3d& b = vertices[loop[(i + 1) % loop.size()]].getPosition();
        area += a.x * b.y - b.x * a.y;
    }
    return area / 2.0;
}

// What the entity library does: a vertex class of its own that files the vertex's fields.
class FiledVertex : public Vertex
{
public:
    OdResult dwgInFields(OdDbDwgFiler* filer) override
    {
        position() = filer->rdPoint3d();
        edgeIds().clear();
        for (OdInt32 n = filer->rdInt32(); n > 0; --n)
            edgeIds().append(Id(filer->rdInt32()));
        return eOk;
    }
    void dwgOutFields(OdDbDwgFiler* filer) const override
    {
        filer->wrPoint3d(getPosition());
        filer->wrInt32(OdInt32(getEdgeIds().size()));
        for (unsigned i = 0; i < getEdgeIds().size(); ++i)
            filer->wrInt32(OdInt32(getEdgeIds()[i]));
    }
};

} // namespace

// Writes `out`, reads the record into `in` and checks that the reader took exactly what was written.
void roundTrip(const IDwgSerializable& out, IDwgSerializable& in, OdDbDatabase* db = nullptr)
{
    OdDbDwgMemoryFilerPtr filer = OdDbDwgMemoryFiler::createObject();
    filer->setDatabase(db);
    out.dwgOutFields(filer.get());
    EXPECT_GT(filer->numItems(), 1u);
    filer->rewind();
    EXPECT_EQ(in.dwgInFields(filer.get()), eOk);
    EXPECT_TRUE(filer->atEnd());
}

TEST(PolymeshFiling, VerticesEdgesAndSurfacesComeBackAsWritten)
{
    Vertex vertex(OdGePoint3d(1.5, -2, 3e7));
    vertex.appendEdgeId(4, true);
    vertex.appendEdgeId(0xFFFFFFFFu, true);
    Vertex vertexIn;
    vertexIn.appendEdgeId(99, true);
    roundTrip(vertex, vertexIn);
    EXPECT_EQ(vertexIn.getPosition(), OdGePoint3d(1.5, -2, 3e7));
    EXPECT_EQ(toVector(vertexIn.getEdgeIds()), (std::vector<Id>{4, 0xFFFFFFFFu}));

    Edge edge(7, 11);
    edge.appendFaceId(2, true);
    edge.appendFaceId(5, true);
    edge.setVisibility(kSilhouette);
    edge.setHasSmooth(true);
    Edge edgeIn;
    roundTrip(edge, edgeIn);
    EXPECT_EQ(edgeIn.getStartVertexId(), 7u);
    EXPECT_EQ(edgeIn.getEndVertexId(), 11u);
    EXPECT_EQ(toVector(edgeIn.getFaceIds()), (std::vector<Id>{2, 5}));
    EXPECT_EQ(edgeIn.visibility(), kSilhouette);
    EXPECT_TRUE(edgeIn.hasSmooth());

    Surface surface;
    surface.facesIds() = {9, 1, 4};
    Surface surfaceIn;
    surfaceIn.facesIds() = {100};
    roundTrip(surface, surfaceIn);
    EXPECT_EQ(surfaceIn.facesIds(), (Surface::FaceIdSet{1, 4, 9}));
}

TEST(PolymeshFiling, FacesKeepLoopsMaterialAndTheirOrientationState)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdArray<Vertex> vertices;
    for (const OdGePoint3d& p :
         {OdGePoint3d(0, 0, 0), OdGePoint3d(0, 4, 0), OdGePoint3d(4, 4, 0), OdGePoint3d(4, 0, 0),
          OdGePoint3d(1, 1, 0), OdGePoint3d(2, 1, 0), OdGePoint3d(2, 2, 0)})
        vertices.append(Vertex(p));
    Face face;
    face.outerLoop() = ids({0, 1, 2, 3}); // clockwise seen from +Z
    face.outerLoopEdges() = ids({10, 11, 12, 13});
    face.innerLoops().append(ids({4, 5, 6}));
    face.innerLoopsEdges().append(ids({20, 21, 22}));
    face.normal() = OdGeVector3d(0, 0, 1);
    face.uvqs().append(OdGePoint3d(0.25, 0.5, 1));
    face.setMaterialId(db->globalMaterialId());
    face.getOuterLoopCCW(vertices); // turns the outer loop and remembers it did

    Face in;
    roundTrip(face, in, db.get());
    EXPECT_EQ(toVector(in.getOuterLoop()), toVector(face.getOuterLoop()));
    EXPECT_EQ(toVector(in.getOuterLoopEdges()), (std::vector<Id>{10, 11, 12, 13}));
    ASSERT_EQ(in.getInnerLoops().size(), 1u);
    EXPECT_EQ(toVector(in.getInnerLoops()[0]), (std::vector<Id>{4, 5, 6}));
    ASSERT_EQ(in.getInnerLoopsEdges().size(), 1u);
    EXPECT_EQ(toVector(in.getInnerLoopsEdges()[0]), (std::vector<Id>{20, 21, 22}));
    EXPECT_EQ(in.getNormal(), OdGeVector3d(0, 0, 1));
    ASSERT_EQ(in.getUvqs().size(), 1u);
    EXPECT_EQ(in.getUvqs()[0], OdGePoint3d(0.25, 0.5, 1));
    EXPECT_EQ(in.materialObjectId(), db->globalMaterialId());

    // The outer loop was already made counter-clockwise: the loaded face trusts that, the inner loops
    // are still to be oriented.
    const double before = signedAreaXY(in.getOuterLoop(), vertices);
    EXPECT_GT(before, 0.0);
    std::swap(vertices[1], vertices[3]);
    EXPECT_EQ(toVector(in.getOuterLoopCCW(vertices)), toVector(face.getOuterLoop()));
    EXPECT_LT(signedAreaXY(in.getInnerLoopsCW(vertices)[0], vertices), 0.0);
}

TEST(PolymeshFiling, DisplayDataComesBackAsWrittenAlsoInsideVisualizationData)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    VisualizationData data;
    data.vertexData().appendData(OdGeVector3d(0, 0, 1), OdGePoint3d(1, 2, 3));
    data.vertexData().appendData(OdGeVector3d(0, 1, 0), OdGePoint3d(-4, 5, 6));
    data.edgeData().appendData(0);
    data.edgeData().appendData(255);
    data.faceData().resize(2);
    data.faceData().setData(0, db->globalMaterialId(), -(OdInt64(1) << 40));
    data.faceData().setData(1, nullptr, 7);

    VisualizationData in;
    in.edgeData().appendData(9);
    roundTrip(data, in, db.get());
    ASSERT_EQ(in.getVertexData().count(), 2u);
    EXPECT_EQ(in.getVertexData().getPoints()[1], OdGePoint3d(-4, 5, 6));
    EXPECT_EQ(in.getVertexData().getNormals()[1], OdGeVector3d(0, 1, 0));
    ASSERT_EQ(in.getEdgeData().getData().size(), 2u);
    EXPECT_EQ(in.getEdgeData().getData()[1], 255);
    ASSERT_EQ(in.getFaceData().getValues().size(), 2u);
    EXPECT_EQ(in.getFaceData().getValues()[0], -(OdInt64(1) << 40));
    EXPECT_EQ(in.getFaceData().getValues()[1], 7);
    EXPECT_EQ(OdDbObjectId(in.getFaceData().getMaterials()[0]), db->globalMaterialId());
    EXPECT_EQ(in.getFaceData().getMaterials()[1], nullptr);

    // Each part on its own too.
    VertexData vertexIn;
    roundTrip(data.getVertexData(), vertexIn);
    EXPECT_EQ(vertexIn.count(), 2u);
    EdgeData edgeIn;
    roundTrip(data.getEdgeData(), edgeIn);
    EXPECT_EQ(edgeIn.getData().size(), 2u);
    FaceData faceIn;
    roundTrip(data.getFaceData(), faceIn, db.get());
    EXPECT_EQ(faceIn.getValues().size(), 2u);
}

TEST(PolymeshFiling, ANegativeCountOrANewerVersionIsRefusedAndChangesNothing)
{
    Vertex vertex(OdGePoint3d(1, 1, 1));
    vertex.appendEdgeId(3, true);

    OdDbDwgMemoryFilerPtr negative = OdDbDwgMemoryFiler::createObject();
    negative->wrInt16(1);
    negative->wrPoint3d(OdGePoint3d(5, 5, 5));
    negative->wrInt32(-2);
    negative->rewind();
    EXPECT_EQ(vertex.dwgInFields(negative.get()), eInvalidInput);

    OdDbDwgMemoryFilerPtr newer = OdDbDwgMemoryFiler::createObject();
    newer->wrInt16(2);
    newer->wrPoint3d(OdGePoint3d(5, 5, 5));
    newer->wrInt32(0);
    newer->rewind();
    EXPECT_EQ(vertex.dwgInFields(newer.get()), eInvalidInput);

    EXPECT_EQ(vertex.getPosition(), OdGePoint3d(1, 1, 1));
    EXPECT_EQ(toVector(vertex.getEdgeIds()), (std::vector<Id>{3}));

    // A record cut short: the filer raises, the object is left as it was.
    Face face;
    face.outerLoop() = ids({1, 2, 3});
    OdDbDwgMemoryFilerPtr cut = OdDbDwgMemoryFiler::createObject();
    cut->wrInt16(1);
    cut->wrInt32(2);
    cut->wrInt32(8);
    cut->rewind();
    EXPECT_THROW(face.dwgInFields(cut.get()), OdError);
    EXPECT_EQ(toVector(face.getOuterLoop()), (std::vector<Id>{1, 2, 3}));
}

TEST(PolymeshFiling, OverriddenFilingIsReachedThroughTheInterface)
{
    FiledVertex out;
    out.position() = OdGePoint3d(1.5, -2, 3);
    out.appendEdgeId(4, true);
    out.appendEdgeId(9, true);
    OdDbDwgMemoryFilerPtr filer = OdDbDwgMemoryFiler::createObject();
    const IDwgSerializable& writer = out;
    writer.dwgOutFields(filer.get());
    filer->rewind();

    FiledVertex in;
    IDwgSerializable& reader = in;
    EXPECT_EQ(reader.dwgInFields(filer.get()), eOk);
    EXPECT_TRUE(filer->atEnd());
    EXPECT_EQ(in.getPosition(), OdGePoint3d(1.5, -2, 3));
    EXPECT_EQ(toVector(in.getEdgeIds()), (std::vector<Id>{4, 9}));
}

TEST(PolymeshIds, UniqueAppendKeepsOneEntryPlainAppendKeepsBoth)
{
    Vertex vertex;
    vertex.appendEdgeId(7, true);
    vertex.appendEdgeId(7, true);
    EXPECT_EQ(toVector(vertex.getEdgeIds()), (std::vector<Id>{7}));
    vertex.appendEdgeId(7, false);
    EXPECT_EQ(toVector(vertex.getEdgeIds()), (std::vector<Id>{7, 7}));
    vertex.appendEdgeId(3, true);
    EXPECT_EQ(toVector(vertex.getEdgeIds()), (std::vector<Id>{7, 7, 3}));

    Edge edge(1, 2);
    edge.appendFaceId(4, true);
    edge.appendFaceId(4, true);
    EXPECT_EQ(toVector(edge.getFaceIds()), (std::vector<Id>{4}));
    edge.appendFaceId(4, false);
    EXPECT_EQ(toVector(edge.getFaceIds()), (std::vector<Id>{4, 4}));
    EXPECT_EQ(edge.getStartVertexId(), 1u);
    EXPECT_EQ(edge.getEndVertexId(), 2u);
}

TEST(PolymeshEdge, VisibilityMapsToGiVisibility)
{
    Edge edge;
    EXPECT_EQ(edge.visibility(), kVisible);
    edge.setVisibility(Visibility(0));
    EXPECT_EQ(edge.visibilityAsGiVisibility(), kOdGiInvisible);
    EXPECT_EQ(int(edge.visibilityAsGiVisibility()), 0);
    edge.setVisibility(Visibility(1));
    EXPECT_EQ(edge.visibilityAsGiVisibility(), kOdGiVisible);
    EXPECT_EQ(int(edge.visibilityAsGiVisibility()), 1);
    edge.setVisibility(Visibility(2));
    EXPECT_EQ(edge.visibilityAsGiVisibility(), kOdGiSilhouette);
    EXPECT_EQ(int(edge.visibilityAsGiVisibility()), 2);
}

TEST(PolymeshEdge, CopiesAreIndependent)
{
    Edge edge(0, 1);
    edge.appendFaceId(5, false);
    edge.setHasSmooth(true);
    Edge copy(edge);
    copy.appendFaceId(6, false);
    copy.setEndVertexId(9);
    EXPECT_EQ(toVector(edge.getFaceIds()), (std::vector<Id>{5}));
    EXPECT_EQ(toVector(copy.getFaceIds()), (std::vector<Id>{5, 6}));
    EXPECT_EQ(edge.getEndVertexId(), 1u);
    EXPECT_TRUE(copy.hasSmooth());

    Edge moved(std::move(copy));
    EXPECT_EQ(moved.getEndVertexId(), 9u);
    Edge assigned;
    assigned = moved;
    EXPECT_EQ(toVector(assigned.getFaceIds()), (std::vector<Id>{5, 6}));
}

class PolymeshFace : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Unit square in the XY plane: 0 (0,0) 1 (1,0) 2 (1,1) 3 (0,1).
        const double corners[][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (const auto& c : corners)
            vertices.append(Vertex(OdGePoint3d(c[0], c[1], 0.0)));
        face.normal() = OdGeVector3d(0, 0, 1);
    }

    void mirrorVerticesInX()
    {
        for (unsigned i = 0; i < vertices.size(); ++i)
            vertices[i].position().x = -vertices[i].position().x;
    }

    OdArray<Vertex> vertices;
    Face face;
};

TEST_F(PolymeshFace, ClockwiseOuterLoopIsReversedOnceAndNeverAgain)
{
    face.outerLoop() = ids({0, 3, 2, 1});
    face.outerLoopEdges() = ids({10, 11, 12, 13});
    ASSERT_LT(signedAreaXY(face.getOuterLoop(), vertices), 0.0);

    const IdArray& first = face.getOuterLoopCCW(vertices);
    EXPECT_EQ(toVector(first), (std::vector<Id>{1, 2, 3, 0}));
    EXPECT_GT(signedAreaXY(first, vertices), 0.0);

    // Now the stored order runs clockwise again; the cached answer must not flip it back.
    mirrorVerticesInX();
    ASSERT_LT(signedAreaXY(face.getOuterLoop(), vertices), 0.0);
    EXPECT_EQ(toVector(face.getOuterLoopCCW(vertices)), (std::vector<Id>{1, 2, 3, 0}));
    EXPECT_EQ(toVector(face.getOuterLoopEdgesCCW(vertices)), (std::vector<Id>{10, 11, 12, 13}));
}

TEST_F(PolymeshFace, CounterClockwiseOuterLoopIsKeptEvenAfterVerticesMove)
{
    face.outerLoop() = ids({0, 1, 2, 3});
    EXPECT_EQ(toVector(face.getOuterLoopCCW(vertices)), (std::vector<Id>{0, 1, 2, 3}));
    mirrorVerticesInX();
    EXPECT_EQ(toVector(face.getOuterLoopCCW(vertices)), (std::vector<Id>{0, 1, 2, 3}));
}

TEST_F(PolymeshFace, OrientationFollowsTheNormal)
{
    // Seen from -Z, the loop that is counter-clockwise from +Z runs clockwise.
    face.normal() = OdGeVector3d(0, 0, -1);
    face.outerLoop() = ids({0, 1, 2, 3});
    EXPECT_EQ(toVector(face.getOuterLoopCCW(vertices)), (std::vector<Id>{3, 2, 1, 0}));
}

TEST_F(PolymeshFace, EdgeQueryOrientsTheVertexLoopFirst)
{
    face.outerLoop() = ids({0, 3, 2, 1});
    face.outerLoopEdges() = ids({20, 21, 22, 23});
    EXPECT_EQ(toVector(face.getOuterLoopEdgesCCW(vertices)), (std::vector<Id>{20, 21, 22, 23}));
    EXPECT_EQ(toVector(face.getOuterLoop()), (std::vector<Id>{1, 2, 3, 0}));
}

TEST_F(PolymeshFace, NonConvexClockwiseLoopIsReversed)
{
    // An L shape whose first corner is reflex, so a test of the first corner alone would answer wrongly.
    vertices.clear();
    const double corners[][2] = {{1, 1}, {1, 2}, {0, 2}, {0, 0}, {2, 0}, {2, 1}};
    for (const auto& c : corners)
        vertices.append(Vertex(OdGePoint3d(c[0], c[1], 0.0)));
    face.outerLoop() = ids({0, 5, 4, 3, 2, 1});
    ASSERT_LT(signedAreaXY(face.getOuterLoop(), vertices), 0.0);
    const IdArray& loop = face.getOuterLoopCCW(vertices);
    EXPECT_EQ(toVector(loop), (std::vector<Id>{1, 2, 3, 4, 5, 0}));
    EXPECT_GT(signedAreaXY(loop, vertices), 0.0);
}

TEST_F(PolymeshFace, LoopNamingAMissingVertexRaisesInvalidIndexAndChangesNothing)
{
    face.outerLoop() = ids({0, 3, 2, 4});
    EXPECT_THROW(face.getOuterLoopCCW(vertices), OdError_InvalidIndex);
    EXPECT_EQ(toVector(face.getOuterLoop()), (std::vector<Id>{0, 3, 2, 4}));

    // The failure is not cached: with the vertex present the loop is oriented.
    vertices.append(Vertex(OdGePoint3d(1, 0, 0)));
    EXPECT_EQ(toVector(face.getOuterLoopCCW(vertices)), (std::vector<Id>{4, 2, 3, 0}));

    face.innerLoops().append(ids({0, 1, 2}));
    face.innerLoops().append(ids({0, 1, 99}));
    EXPECT_THROW(face.getInnerLoopsCW(vertices), OdError_InvalidIndex);
    EXPECT_EQ(toVector(face.getInnerLoops()[0]), (std::vector<Id>{0, 1, 2}));
}

TEST_F(PolymeshFace, DegenerateLoopIsLeftAsItIs)
{
    face.outerLoop() = ids({0, 1, 2, 3});
    face.normal() = OdGeVector3d(0, 0, 0);
    EXPECT_EQ(toVector(face.getOuterLoopCCW(vertices)), (std::vector<Id>{0, 1, 2, 3}));
}

TEST_F(PolymeshFace, EveryInnerLoopIsMadeClockwiseOnce)
{
    // Enough loops to take the parallel path; even loops start counter-clockwise, odd ones clockwise.
    const unsigned loopCount = 301;
    for (unsigned i = 0; i < loopCount; ++i) {
        face.innerLoops().append(i % 2 ? ids({0, 3, 2, 1}) : ids({0, 1, 2, 3}));
        face.innerLoopsEdges().append(ids({i, i + 1}));
    }
    const Face untouched(face);

    const OdArray<IdArray>& loops = face.getInnerLoopsCW(vertices);
    ASSERT_EQ(loops.size(), loopCount);
    for (unsigned i = 0; i < loopCount; ++i) {
        EXPECT_LT(signedAreaXY(loops[i], vertices), 0.0) << "loop " << i;
        const std::vector<Id> expected = i % 2 ? std::vector<Id>{0, 3, 2, 1} : std::vector<Id>{3, 2, 1, 0};
        EXPECT_EQ(toVector(loops[i]), expected) << "loop " << i;
    }
    // The copy taken before shared the arrays; it must keep its own order.
    EXPECT_EQ(toVector(untouched.getInnerLoops()[0]), (std::vector<Id>{0, 1, 2, 3}));

    mirrorVerticesInX();
    const OdArray<IdArray>& again = face.getInnerLoopsCW(vertices);
    EXPECT_EQ(toVector(again[0]), (std::vector<Id>{3, 2, 1, 0}));
    EXPECT_EQ(toVector(again[1]), (std::vector<Id>{0, 3, 2, 1}));
    EXPECT_EQ(toVector(face.getInnerLoopsEdgesCW(vertices)[7]), (std::vector<Id>{7, 8}));
}

TEST_F(PolymeshFace, FewInnerLoopsAreOrientedToo)
{
    face.innerLoops().append(ids({0, 1, 2, 3}));
    face.innerLoopsEdges().append(ids({1, 2, 3, 4}));
    EXPECT_EQ(toVector(face.getInnerLoopsEdgesCW(vertices)[0]), (std::vector<Id>{1, 2, 3, 4}));
    EXPECT_EQ(toVector(face.getInnerLoops()[0]), (std::vector<Id>{3, 2, 1, 0}));
}

TEST_F(PolymeshFace, CopyKeepsLoopsAndCacheOfItsOwn)
{
    face.outerLoop() = ids({0, 3, 2, 1});
    face.uvqs().append(OdGePoint3d(0.5, 0.5, 0));
    Face copy(face);
    copy.getOuterLoopCCW(vertices);
    EXPECT_EQ(toVector(face.getOuterLoop()), (std::vector<Id>{0, 3, 2, 1}));
    EXPECT_EQ(toVector(copy.getOuterLoop()), (std::vector<Id>{1, 2, 3, 0}));
    EXPECT_EQ(copy.getUvqs().size(), 1u);

    // The copy was oriented before its vertices moved: assignment carries that knowledge along.
    Face assigned;
    assigned = copy;
    mirrorVerticesInX();
    EXPECT_EQ(toVector(assigned.getOuterLoopCCW(vertices)), (std::vector<Id>{1, 2, 3, 0}));
}

TEST_F(PolymeshFace, MaterialIsReadableAsStubAndAsObjectId)
{
    EXPECT_EQ(face.materialId(), nullptr);
    EXPECT_TRUE(face.materialObjectId().isNull());
    OdDbStub* stub = reinterpret_cast<OdDbStub*>(0x1234);
    face.setMaterialId(stub);
    EXPECT_EQ(face.materialId(), stub);
    EXPECT_EQ(static_cast<OdDbStub*>(face.materialObjectId()), stub);
}

TEST(PolymeshSurface, MembershipFollowsTheFaceSet)
{
    Surface surface;
    EXPECT_FALSE(surface.isIncluded(3));
    surface.facesIds().insert(3);
    surface.facesIds().insert(8);
    EXPECT_TRUE(surface.isIncluded(3));
    EXPECT_TRUE(surface.isIncluded(8));
    EXPECT_FALSE(surface.isIncluded(4));
    const Surface& constSurface = surface;
    EXPECT_EQ(constSurface.facesIds().size(), 2u);
    Surface copy(surface);
    copy.facesIds().erase(3);
    EXPECT_TRUE(surface.isIncluded(3));
    EXPECT_FALSE(copy.isIncluded(3));
}

TEST(PolymeshVertexData, ArraysGrowShrinkAndAreOverwrittenTogether)
{
    VertexData data;
    EXPECT_EQ(data.count(), 0u);
    data.reserve(10);
    EXPECT_EQ(data.count(), 0u);
    data.appendData(OdGeVector3d(0, 0, 1), OdGePoint3d(1, 2, 3));
    data.appendData(OdGeVector3d(1, 0, 0), OdGePoint3d(4, 5, 6));
    EXPECT_EQ(data.count(), 2u);
    EXPECT_EQ(data.getPoints().size(), 2u);
    data.setData(1, OdGeVector3d(0, 1, 0), OdGePoint3d(7, 8, 9));
    EXPECT_EQ(data.getNormals()[1], OdGeVector3d(0, 1, 0));
    EXPECT_EQ(data.getPoints()[1], OdGePoint3d(7, 8, 9));
    EXPECT_EQ(data.getPoints()[0], OdGePoint3d(1, 2, 3));
    data.resize(5);
    EXPECT_EQ(data.count(), 5u);
    EXPECT_EQ(data.getPoints().size(), 5u);
    data.clear();
    EXPECT_EQ(data.count(), 0u);
    EXPECT_EQ(data.getPoints().size(), 0u);
}

TEST(PolymeshEdgeData, BytesAppendOverwriteResizeAndClear)
{
    EdgeData data;
    data.appendData(1);
    data.appendData(2);
    data.setData(0, 9);
    ASSERT_EQ(data.getData().size(), 2u);
    EXPECT_EQ(data.getData()[0], 9);
    EXPECT_EQ(data.getData()[1], 2);
    data.resize(4);
    EXPECT_EQ(data.getData().size(), 4u);
    data.clear();
    EXPECT_EQ(data.getData().size(), 0u);
}

TEST(PolymeshFaceData, OutOfRangeIndexRaisesInvalidIndexBeforeWriting)
{
    FaceData data;
    data.resize(2);
    OdDbStub* stub = reinterpret_cast<OdDbStub*>(0x40);
    data.setData(1, stub, -5);
    EXPECT_EQ(data.getMaterials()[1], stub);
    EXPECT_EQ(data.getValues()[1], -5);
    EXPECT_EQ(data.getMaterials()[0], nullptr);
    EXPECT_EQ(data.getValues()[0], 0);

    EXPECT_THROW(data.setData(2, nullptr, 7), OdError_InvalidIndex);
    EXPECT_EQ(data.getMaterials().size(), 2u);
    EXPECT_EQ(data.getValues().size(), 2u);

    // The material array is long enough but the value array is not: still nothing may be written.
    data.materials().append(nullptr);
    EXPECT_THROW(data.setData(2, stub, 7), OdError_InvalidIndex);
    EXPECT_EQ(data.getMaterials()[2], nullptr);
    data.values().append(0);
    data.values().append(0);
    EXPECT_THROW(data.setData(3, stub, 7), OdError_InvalidIndex);
    EXPECT_EQ(data.getValues()[3], 0);

    try {
        data.setData(100, stub, 1);
        FAIL() << "no exception";
    } catch (const OdError& error) {
        EXPECT_EQ(error.code(), eInvalidIndex);
    }

    data.clear();
    EXPECT_EQ(data.getMaterials().size(), 0u);
    EXPECT_EQ(data.getValues().size(), 0u);
    EXPECT_THROW(data.setData(0, stub, 1), OdError_InvalidIndex);
}

TEST(PolymeshVisualizationData, HoldsAndClearsTheThreeArrays)
{
    VisualizationData data;
    data.vertexData().appendData(OdGeVector3d(0, 0, 1), OdGePoint3d(0, 0, 0));
    data.edgeData().appendData(1);
    data.faceData().resize(3);
    VisualizationData copy(data);
    data.clear();
    EXPECT_EQ(data.getVertexData().count(), 0u);
    EXPECT_EQ(data.getEdgeData().getData().size(), 0u);
    EXPECT_EQ(data.getFaceData().getValues().size(), 0u);
    EXPECT_EQ(copy.getVertexData().count(), 1u);
    EXPECT_EQ(copy.getFaceData().getMaterials().size(), 3u);
}

TEST(PolymeshExport, ClassesAreVisibleInTheModuleLibrary)
{
    // Another module reaches these through the dynamic linker, so they must be in the dynamic symbol table.
    void* module = dlopen("zalUnrealRenderModule.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr) << dlerror();
    const char* symbols[] = {
        "_ZTIN3zal8polymesh16IDwgSerializableE", // typeinfo, for casts across modules
        "_ZTVN3zal8polymesh4FaceE",              // vtable
        "_ZN3zal8polymesh4Face15getOuterLoopCCWERK7OdArrayINS0_6VertexEE",
        "_ZN3zal8polymesh8FaceData7setDataEjP8OdDbStubl",
        "_ZNK3zal8polymesh4Edge24visibilityAsGiVisibilityEv",
        "_ZN3zal8polymesh6VertexC1Ev",
    };
    for (const char* symbol : symbols)
        EXPECT_NE(dlsym(module, symbol), nullptr) << symbol;
    dlclose(module);
}
