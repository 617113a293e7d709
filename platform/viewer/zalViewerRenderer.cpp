#include "zalViewerRenderer.h"

#include <QSet>

#include "XoRemoteRenderMessage.h"
#include "zalViewerFinish.h"
#include "zalViewerFountainMarker.h"
#include "zalViewerLook.h"
#include "zalViewerMaterialModel.h"
#include "zalViewerScene.h"
#include "zalViewerSettings.h"
#include "zalViewerSunSkyModel.h"

#include <filament/Camera.h>
#include <filament/Engine.h>
#include <filament/Fence.h>
#include <filament/IndexBuffer.h>
#include <filament/IndirectLight.h>
#include <filament/LightManager.h>
#include <filament/Material.h>
#include <filament/MaterialInstance.h>
#include <filament/RenderTarget.h>
#include <filament/RenderableManager.h>
#include <filament/Renderer.h>
#include <filament/Scene.h>
#include <filament/Skybox.h>
#include <filament/SwapChain.h>
#include <filament/Texture.h>
#include <filament/TextureSampler.h>
#include <filament/TransformManager.h>
#include <filament/VertexBuffer.h>
#include <filament/View.h>
#include <filament/Viewport.h>
#include <math/half.h>
#include <math/mat3.h>
#include <math/mat4.h>
#include <math/quat.h>
#include <math/vec3.h>
#include <math/vec4.h>
#include <utils/EntityManager.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGenericMatrix>
#include <QHash>
#include <QJsonDocument>
#include <QMatrix4x4>
#include <QSet>
#include <QtDebug>
#include <QtMath>

#include <cmath>
#include <cstring>

#include <deque>
#include <dlfcn.h>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using namespace filament;
using filament::math::float2;
using filament::math::float3;
using filament::math::float4;
using filament::math::mat3f;
using filament::math::mat4f;
using filament::math::quatf;
using utils::Entity;

namespace {

// Compiled by matc at build time: the lit material, opaque and blended.
const std::uint8_t kLitOpaque[] = {
#include "zalViewerLitOpaque.inc"
};
const std::uint8_t kLitBlended[] = {
#include "zalViewerLitBlended.inc"
};

// The host mirrors X (and scales to centimetres); drawing undoes the mirror so the picture is
// the drawing's, not its mirror image.
const QMatrix4x4 kUnmirror(-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
// Scene frame (centimetres, Z up) to Filament's world (metres, Y up): lights and exposure are
// physical, so distances must be metres.
const QMatrix4x4 kToWorld(0.01f, 0, 0, 0, 0, 0, 0.01f, 0, 0, -0.01f, 0, 0, 0, 0, 0, 1);

constexpr int kMaxDepth = 24;
constexpr float kBoxHalf = 50.0f;
constexpr int kSkyFace = 32;
// Vertices of one merged batch of small meshes: putting one together again stays a few milliseconds.
constexpr std::uint32_t kBatchVertices = 16384;
// Larger meshes are drawn from a vertex buffer of their own, one renderable per placement, up to this
// many placements; beyond it Filament's fixed arena of buffers and draw calls would run out, so further
// placements are merged like small meshes, into batches of about kLargeBatchVertices.
constexpr int kOwnPlacements = 64;
constexpr std::uint32_t kLargeBatchVertices = 1u << 20;
// More changes than this (and than half the items drawn) are followed by building the drawing anew.
constexpr std::size_t kManyChanges = 2048;
// A build's work is counted in units: a child made is one, a merged batch put together one per this many
// vertices (about what a child costs) and one more.
constexpr std::uint32_t kVerticesPerUnit = 32;
// A step that a waiting message ends first makes a least share of units, so that edits that keep coming
// cannot keep a build from finishing: the work the edits since the last step undid (batches already put
// together that they took apart, which they would cost after the build too), and on top of it none after
// a step that ran its whole budget, then twice as many with each step in a row that a message ended, up
// to a few tenths of a millisecond of work. An edit made during a build waits about that long for it,
// and edits that never pause still let the build move on by that much each.
constexpr long long kMostLeastUnits = 32;
// Filament 1.9's OpenGL backend keeps its handles in a fixed arena, and a destroyed buffer's handle is
// freed only when the driver thread runs the command: the engine hands commands over at the end of a
// frame. Updates without a frame (build steps with edits between them) hand them over after this many.
constexpr int kHandlesBeforeFlush = 4096;

float3 toWorldPoint(const QVector3D& p)
{
    const QVector3D w = kToWorld.map(p);
    return float3(w.x(), w.y(), w.z());
}

float3 toWorldDirection(const QVector3D& d)
{
    const QVector3D w = kToWorld.mapVector(d).normalized();
    return float3(w.x(), w.y(), w.z());
}

QVector3D sceneDirection(float3 w)
{
    return QVector3D(w.x, -w.z, w.y);
}

mat4f toMat4f(const QMatrix4x4& q)
{
    mat4f m;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            m[c][r] = q(r, c);
    return m;
}

QVector3D rgb(quint32 colour)
{
    return QVector3D(zalViewerLinearFromSrgb(float(colour & 0xFF) / 255.0f),
                     zalViewerLinearFromSrgb(float((colour >> 8) & 0xFF) / 255.0f),
                     zalViewerLinearFromSrgb(float((colour >> 16) & 0xFF) / 255.0f));
}

struct Visit
{
    std::function<void(const zalViewerScene::Mesh&, const QMatrix4x4&)> mesh;
    std::function<void(const QMatrix4x4&, const QString& material)> box;
    // A fountain asset instance, by its name (the actor its SetFountainParams names).
    std::function<void(const QMatrix4x4&, const QString& name)> fountain;
    // When set, only what these instances hold (at any depth) is visited.
    const QSet<QString>* only = nullptr;
};

void walk(const zalViewerScene& scene, const QString& owner, const QMatrix4x4& frame, int depth,
          const Visit& visit, bool inside)
{
    if (depth > kMaxDepth) return;
    if (inside)
        for (const zalViewerScene::Mesh* mesh : scene.meshesOf(owner))
            visit.mesh(*mesh, frame);
    for (const auto& entry : scene.instancesUnder(owner)) {
        const QString& name = entry.first->name;
        const zalViewerScene::Instance& inst = *entry.second;
        const QMatrix4x4 placed = frame * inst.transform;
        const bool in = inside || visit.only->contains(name);
        walk(scene, name, placed, depth + 1, visit, in);
        if (!inst.component.isEmpty() && inst.component != name) {
            walk(scene, inst.component, placed, depth + 1, visit, in);
        } else if (!in) {
            continue;
        } else if (!inst.group && inst.component.isEmpty() &&
                   zalViewerFountainMarker::isFountain(inst.asset)) {
            visit.fountain(placed, name);
        } else if (!inst.group && inst.component.isEmpty() && !inst.asset.isEmpty() && inst.asset != name &&
                   scene.meshesOf(name).empty()) {
            // An asset the reference viewer cannot load: shown as a box where it stands.
            visit.box(placed, inst.material);
        }
    }
    for (const auto& entry : scene.spawnsUnder(owner)) {
        for (const QMatrix4x4& t : entry.second->transforms) {
            if (entry.second->component.isEmpty()) {
                if (inside) visit.box(frame * t, entry.second->material);
            } else {
                walk(scene, entry.second->component, frame * t, depth + 1, visit, inside);
            }
        }
    }
}

void walkAll(const zalViewerScene& scene, const Visit& visit)
{
    const bool everything = visit.only == nullptr;
    walk(scene, QStringLiteral("Model"), kUnmirror, 0, visit, everything);
    walk(scene, QString(), kUnmirror, 0, visit, everything);
    if (!everything) return;
    for (const auto& entry : scene.placedAssets()) {
        if (entry.second.visible &&
            (entry.second.parent.isEmpty() || entry.second.parent == QLatin1String("Model")))
            visit.box(kUnmirror * entry.second.transform, QString());
    }
}

const float kCube[] = {
    // 12 triangles of a cube of half size 1, positions only.
    -1, -1, -1, 1,  -1, -1, 1,  1,  -1, -1, -1, -1, 1, 1,  -1, -1, 1,  -1, -1, -1, 1,  1,  -1, 1,  1,  1,  1,
    -1, -1, 1,  1,  1,  1,  -1, 1,  1,  -1, -1, -1, 1, -1, -1, 1,  -1, 1,  -1, -1, -1, 1,  -1, 1,  -1, -1, 1,
    -1, 1,  -1, 1,  1,  -1, 1,  1,  1,  -1, 1,  -1, 1, 1,  1,  -1, 1,  1,  -1, -1, -1, -1, 1,  -1, -1, 1,  1,
    -1, -1, -1, -1, 1,  1,  -1, -1, 1,  1,  -1, -1, 1, 1,  -1, 1,  1,  1,  1,  -1, -1, 1,  1,  1,  1,  -1, 1};

// Tangent frames (as quaternions) from per-vertex normals, or from each triangle's own normal when
// the mesh has none: a triangle list, so a vertex belongs to one triangle.
// Arrays of a received message start wherever the frame put them, so they are read bytewise.
float3 loadFloat3(const void* array, std::size_t index)
{
    float xyz[3];
    std::memcpy(xyz, static_cast<const unsigned char*>(array) + index * sizeof xyz, sizeof xyz);
    return float3(xyz[0], xyz[1], xyz[2]);
}

// The layout of every lit vertex buffer: positions, tangent frames and one UV set, a buffer each.
VertexBuffer* litVertexBuffer(Engine& engine, std::uint32_t vertices)
{
    return VertexBuffer::Builder()
        .vertexCount(vertices)
        .bufferCount(3)
        .attribute(VertexAttribute::POSITION, 0, VertexBuffer::AttributeType::FLOAT3)
        .attribute(VertexAttribute::TANGENTS, 1, VertexBuffer::AttributeType::FLOAT4)
        .attribute(VertexAttribute::UV0, 2, VertexBuffer::AttributeType::FLOAT2)
        .build(engine);
}

float4* tangentFrames(const void* positions, const void* normals, std::size_t vertices)
{
    float4* out = new float4[vertices];
    for (std::size_t v = 0; v < vertices; ++v) {
        float3 n(0, 0, 0);
        if (normals) n = loadFloat3(normals, v);
        if (!(dot(n, n) > 1e-12f)) {
            const std::size_t t = v - v % 3;
            if (t + 2 < vertices) {
                const float3 a = loadFloat3(positions, t);
                const float3 b = loadFloat3(positions, t + 1);
                const float3 c = loadFloat3(positions, t + 2);
                n = cross(b - a, c - a);
            }
        }
        if (!(dot(n, n) > 1e-12f) || !std::isfinite(n.x + n.y + n.z)) n = float3(0, 0, 1);
        n = normalize(n);
        const float3 t =
            normalize(std::fabs(n.x) < 0.9f ? cross(n, float3(1, 0, 0)) : cross(n, float3(0, 1, 0)));
        const float3 b = cross(n, t);
        const quatf q = mat3f::packTangentFrame(mat3f(t, b, n));
        out[v] = float4(q.x, q.y, q.z, q.w);
    }
    return out;
}

void deleteFloats(void* buffer, std::size_t, void*)
{
    delete[] static_cast<float4*>(buffer);
}

void deleteBytes(void* buffer, std::size_t, void*)
{
    delete[] static_cast<std::uint8_t*>(buffer);
}

// Keeps the received frame alive while the GPU upload reads from it.
void releaseFrame(void*, std::size_t, void* user)
{
    delete static_cast<std::shared_ptr<const char>*>(user);
}

backend::BufferDescriptor wireBuffer(const zalViewerScene::Array& array)
{
    return backend::BufferDescriptor(array.data, array.count * 4, releaseFrame,
                                     new std::shared_ptr<const char>(array.owner));
}

// Standard OpenGL cube-map face directions, texel (u, v) in -1..1.
float3 cubeDirection(int face, float u, float v)
{
    switch (face) {
    case 0:
        return normalize(float3(1, -v, -u));
    case 1:
        return normalize(float3(-1, -v, u));
    case 2:
        return normalize(float3(u, 1, v));
    case 3:
        return normalize(float3(u, -1, -v));
    case 4:
        return normalize(float3(u, -v, 1));
    default:
        return normalize(float3(-u, -v, -1));
    }
}

} // namespace

struct zalViewerRenderer::Impl
{
    Engine* engine = nullptr;
    Renderer* renderer = nullptr;
    Scene* scene = nullptr;
    filament::View* view = nullptr;
    Entity cameraEntity;
    Camera* camera = nullptr;
    SwapChain* swapChain = nullptr;
    // The frame is drawn into textures of the requested size and read back from them.
    RenderTarget* target = nullptr;
    Texture* targetColour = nullptr;
    Texture* targetDepth = nullptr;
    QSize targetSize;
    void destroyTarget();
    Material* opaque = nullptr;
    Material* blended = nullptr;
    Texture* white = nullptr;
    Texture* flatNormal = nullptr;
    IndexBuffer* indices = nullptr;
    std::uint32_t indexCapacity = 0;
    // Shorter index lists that drawn meshes still refer to; they go with the renderer.
    std::vector<IndexBuffer*> retiredIndices;
    VertexBuffer* box = nullptr;
    QStringList textureFolders;

    // The vertex buffer of one mesh revision, shared by every placement of that mesh.
    struct GpuMesh
    {
        VertexBuffer* buffer = nullptr;
        std::uint32_t vertexCount = 0;
        Box box;
        int users = 0;
    };
    std::unordered_map<std::uint64_t, GpuMesh> meshes; // by mesh revision
    struct GpuMaterial
    {
        MaterialInstance* instance = nullptr;
        QString signature;
    };
    std::map<QString, GpuMaterial> materials;
    // Replaced while drawn things still used them: destroyed once those have moved on.
    std::vector<MaterialInstance*> retiredMaterials;
    MaterialInstance* defaultMaterial = nullptr;
    MaterialInstance* fountainMaterial = nullptr;
    std::map<QString, Texture*> textures; // by resolved path; null when it cannot be read

    // The drawing follows the scene's changes: one Node per owner drawn at one placement, one Child per
    // instance or spawned batch under it, one Item per mesh, stand-in box or fountain marker drawn. A
    // change then costs the items it touches, not the size of the scene.
    struct Batch;
    struct Item
    {
        Entity entity;               // null when nothing can be drawn (too few vertices)
        std::uint64_t mesh = 0;      // key in `meshes`, 0 for boxes and fountains
        VertexBuffer* own = nullptr; // a fountain marker's own vertices
        QString material;            // the scene material asked for
        bool usesMaterial = false;
        bool bounded = false;
        QVector3D low, high; // in the scene frame
        long long triangles = 0;
        std::size_t slot = 0; // in `items`
        // Small meshes and boxes are drawn merged with others of their material (see Batch).
        Batch* batch = nullptr;
        std::size_t batchSlot = 0;
        bool ownPlacement = false;                    // counted in ownPlacements
        const zalViewerScene::Mesh* source = nullptr; // null for a box
        QMatrix4x4 world;                             // placement in Filament's world
        std::uint32_t vertices = 0;
    };
    // Filament's OpenGL backend holds its buffers and draw calls in a fixed arena that runs out after a
    // few thousand of them (and then crashes), so small meshes of one material share one renderable,
    // their vertices placed in the world. A change to one member puts the batch together again, which
    // costs the batch, not the scene.
    struct Batch
    {
        QString material;
        bool large = false; // of meshes above kBatchVertices
        std::vector<Item*> members;
        std::uint32_t vertices = 0;
        VertexBuffer* buffer = nullptr;
        Entity entity;
        long long triangles = 0;
    };
    std::map<QString, std::vector<std::unique_ptr<Batch>>> batches; // by material
    std::set<Batch*> changedBatches;
    void changed(Batch& batch)
    {
        if (changedBatches.insert(&batch).second && building.active)
            building.undone += 1 + batch.vertices / kVerticesPerUnit;
    }
    int ownPlacements = 0;
    void join(Item& item, const QString& material, std::uint32_t vertices);
    void leave(Item& item);
    void assemble(Batch& batch);
    struct Child;
    struct Node
    {
        QString owner;
        QMatrix4x4 frame;
        int depth = 0;
        std::uint64_t made = 0; // the update that made it
        // While its children are made in steps: the owner's instances and spawned batches as they were
        // listed, and the next of them. Changes after the listing are followed as they come, so the list
        // is only walked on, never again from the start (a restart per edit starved a large build).
        std::vector<std::pair<zalViewerScene::Key, bool>> toBuild;
        std::size_t buildNext = 0;
        std::uint64_t buildRevision = 0;
        bool listed = false;
        std::vector<std::unique_ptr<Item>> meshItems;
        // By (name, parent of its key, spawned batch): every child under one name is one range.
        std::map<std::tuple<QString, QString, bool>, std::unique_ptr<Child>> children;
    };
    struct Child
    {
        Node* parent = nullptr;
        zalViewerScene::Key key;
        bool spawn = false;
        std::uint64_t made = 0;
        std::vector<std::unique_ptr<Node>> nodes;
        std::vector<std::unique_ptr<Item>> leaves;
    };
    std::unique_ptr<Node> roots[2];
    std::vector<std::unique_ptr<Item>> assetItems;
    QHash<QString, QSet<Node*>> nodesOf;
    QHash<QString, QSet<Child*>> childrenNamed;
    QHash<QString, QSet<Item*>> materialUsers;
    std::vector<Item*> items;
    bool boundsStale = false, boundsAny = false;
    QVector3D boundsLow, boundsHigh;
    const zalViewerScene* source = nullptr; // while updating
    std::uint64_t changeCursor = 0;
    // Changes read from the scene's log and not yet followed: what they touched, each once, so that they
    // stay as many as the things changed however often each changes while nothing is drawn.
    struct TakenIn
    {
        std::set<QString> meshOwners, materials;
        std::set<std::pair<QString, QString>> children; // (owner, name)
        bool lights = false, assets = false, everything = false;
        std::size_t size() const
        {
            return meshOwners.size() + materials.size() + children.size() + lights + assets + everything;
        }
    } takenIn;
    // Reads the scene's changes since the cursor into takenIn.
    void takeIn(const zalViewerScene& scene);
    std::uint64_t updates = 0;
    bool built = false;
    // A drawing built from scratch (the first one, or after many changes at once) is built over several
    // calls when they come with a time budget, so that the GUI thread can answer in between: nodes are
    // made without their children and queued, and each queued node gets its children one by one (a
    // block of 100k entities is one node); then the merged batches go together. Changes arriving
    // meanwhile are followed as usual, on what is built so far; the rest is built from the scene as it
    // is by then.
    struct Building
    {
        bool active = false;
        std::deque<Node*> queue;          // nodes whose children are still to be made
        std::unordered_set<Node*> queued; // the live ones among them (a change may drop a queued node)
        int slices = 0;
        double longestMs = 0;
        long long units = 0;        // of work since the build began
        long long stepUnits = 0;    // in the current step
        long long undone = 0;       // by changes since the last step
        int earlyEnds = 0;          // steps in a row that a waiting message ended
        long long mostAnswered = 0; // units a step made for its least share before a message ended it
        QElapsedTimer clock;        // since the build began
    } building;
    // Counts the work of a build (see kVerticesPerUnit).
    void didUnits(long long n)
    {
        building.units += n;
        building.stepUnits += n;
    }
    QMap<QString, QJsonObject> fountains;
    // As startFrame writes "no fountains", so that a drawing built before the first frame is kept.
    QByteArray builtFountains = QByteArrayLiteral("{}");

    std::vector<Entity> lights;
    Statistics stats;

    Entity sun;
    Skybox* skybox = nullptr;
    IndirectLight* indirect = nullptr;
    Texture* sky = nullptr;
    QString skySignature;

    // A frame drawn and waiting for its read-back.
    struct Pending
    {
        bool active = false;
        std::uint8_t* pixels = nullptr;
        std::size_t bytes = 0;
        QSize drawn;
        int factor = 1;
        zalViewerLook look;
        Fence* fence = nullptr;
        bool done = false;
        QElapsedTimer clock;
    } pending;
    bool finishPending(bool wait);

    // Handles made or destroyed since the driver last ran its commands (a vertex buffer holds four).
    int unflushedHandles = 0;
    void queued(int handles);

    void destroyAll();
    void ensureIndices(std::uint32_t count);
    GpuMesh* gpuMesh(const zalViewerScene::Mesh& mesh);
    Texture* texture(const QString& name, bool colour);
    MaterialInstance* material(const QString& name);

    // Brings the drawing up to date; with budgetMs >= 0, stops once that time is spent (at least one
    // step is made) and returns false while a build goes on.
    bool update(const zalViewerScene& scene, int budgetMs = -1);
    void beginBuild();
    bool continueBuild(const std::function<bool()>& outOfTime);
    bool finishBuildStep(const QElapsedTimer& spent, int budgetMs);
    // During prepare: whether something waits that a build step should end early for.
    std::function<bool()> waiting;
    // Removes the drawn tree and the placed assets (lights and buffers are handled by the callers).
    void dropDrawing();
    void updateLights();
    void updateAssets();
    // False when `outOfTime` stopped it before every changed batch was put together again.
    bool collectGarbage(const std::function<bool()>& outOfTime = {});
    std::unique_ptr<Node> makeNode(const QString& owner, const QMatrix4x4& frame, int depth);
    void makeChildAt(Node& node, const zalViewerScene::Key& key, bool spawn);
    // Whether a child listed for a node's build still belongs under it (it may have gone or moved since).
    bool stillUnder(const Node& node, const zalViewerScene::Key& key, bool spawn) const;
    void fillMeshes(Node& node);
    void addChildren(Node& node, const QString& name);
    void dropChildren(Node& node, const QString& name);
    std::unique_ptr<Child> makeChild(Node& node, const zalViewerScene::Key& key, bool spawn);
    void fillLeaves(Child& child);
    void dropNode(std::unique_ptr<Node>& node);
    void dropChild(std::unique_ptr<Child>& child);
    void dropItem(std::unique_ptr<Item>& item);
    std::unique_ptr<Item> meshItem(const zalViewerScene::Mesh& mesh, const QMatrix4x4& placed);
    std::unique_ptr<Item> boxItem(const QMatrix4x4& placed, const QString& material);
    std::unique_ptr<Item> fountainItem(const QMatrix4x4& placed, const QString& name);
    std::unique_ptr<Item> newItem(const QVector3D& low, const QVector3D& high, const QMatrix4x4& placed);
    void draw(Item& item, VertexBuffer* vb, std::uint32_t count, const Box& box, MaterialInstance* mi,
              const QMatrix4x4& placed);
    void useMaterial(Item& item, const QString& name);
    bool sceneBounds(QVector3D& low, QVector3D& high);

    void updateSky(const zalViewerSunState& sun);
    zalViewerLook applyLook(const zalViewerSettings& settings, const zalViewerSunState& sun);
};

void zalViewerRenderer::Impl::queued(int handles)
{
    unflushedHandles += handles;
    if (unflushedHandles < kHandlesBeforeFlush) return;
    engine->flushAndWait();
    unflushedHandles = 0;
}

void zalViewerRenderer::Impl::destroyTarget()
{
    view->setRenderTarget(nullptr);
    if (target) engine->destroy(target);
    if (targetColour) engine->destroy(targetColour);
    if (targetDepth) engine->destroy(targetDepth);
    target = nullptr;
    targetColour = targetDepth = nullptr;
    targetSize = QSize();
}

void zalViewerRenderer::Impl::dropDrawing()
{
    for (auto& root : roots)
        dropNode(root);
    for (auto& item : assetItems)
        dropItem(item);
    assetItems.clear();
}

void zalViewerRenderer::Impl::destroyAll()
{
    dropDrawing();
    for (Entity e : lights) {
        scene->remove(e);
        engine->destroy(e);
        utils::EntityManager::get().destroy(e);
    }
    lights.clear();
    collectGarbage();
    built = false;
    building.active = false;
    building.queue.clear();
    building.queued.clear();
}

void zalViewerRenderer::Impl::ensureIndices(std::uint32_t count)
{
    // One index list 0, 1, 2, ... shared by every mesh: the host sends plain triangle lists.
    if (count <= indexCapacity) return;
    // Meshes drawn with the shorter list keep it.
    if (indices) retiredIndices.push_back(indices);
    const std::uint32_t capacity = std::max(count, indexCapacity * 2);
    auto* data = new std::uint8_t[std::size_t(capacity) * 4];
    auto* values = reinterpret_cast<std::uint32_t*>(data);
    for (std::uint32_t i = 0; i < capacity; ++i)
        values[i] = i;
    indices =
        IndexBuffer::Builder().indexCount(capacity).bufferType(IndexBuffer::IndexType::UINT).build(*engine);
    indices->setBuffer(*engine, IndexBuffer::BufferDescriptor(data, std::size_t(capacity) * 4, deleteBytes));
    indexCapacity = capacity;
}

zalViewerRenderer::Impl::GpuMesh* zalViewerRenderer::Impl::gpuMesh(const zalViewerScene::Mesh& mesh)
{
    if (mesh.vertexCount < 3) return nullptr;
    QVector3D low, high;
    if (!mesh.bounds(low, high)) return nullptr;
    GpuMesh& gpu = meshes[mesh.revision];
    if (gpu.buffer) return &gpu;
    const std::uint32_t n = std::uint32_t(mesh.vertexCount - mesh.vertexCount % 3);
    const void* positions = mesh.positions.data;
    const void* normals = mesh.normals.count == mesh.positions.count ? mesh.normals.data : nullptr;
    VertexBuffer* vb = litVertexBuffer(*engine, n);
    // Positions and texture coordinates go up straight from the received message.
    vb->setBufferAt(*engine, 0, wireBuffer(mesh.positions));
    float4* frames = tangentFrames(positions, normals, n);
    vb->setBufferAt(*engine, 1,
                    VertexBuffer::BufferDescriptor(frames, std::size_t(n) * sizeof(float4), deleteFloats));
    if (mesh.uv0.count == std::size_t(mesh.vertexCount) * 2) {
        vb->setBufferAt(*engine, 2, wireBuffer(mesh.uv0));
    } else {
        auto* zeros = new std::uint8_t[std::size_t(n) * 8]();
        vb->setBufferAt(*engine, 2, VertexBuffer::BufferDescriptor(zeros, std::size_t(n) * 8, deleteBytes));
    }
    gpu.buffer = vb;
    gpu.vertexCount = n;
    queued(4);
    gpu.box.set(float3(low.x(), low.y(), low.z()), float3(high.x(), high.y(), high.z()));
    ensureIndices(n);
    return &gpu;
}

Texture* zalViewerRenderer::Impl::texture(const QString& name, bool colour)
{
    if (name.isEmpty()) return nullptr;
    QString path;
    const QFileInfo direct(name);
    if (direct.isAbsolute() && direct.isFile()) {
        path = direct.absoluteFilePath();
    } else {
        for (const QString& folder : textureFolders) {
            const QDir dir(folder);
            for (const QString& candidate : {dir.filePath(name), dir.filePath(direct.fileName())}) {
                if (QFileInfo(candidate).isFile()) {
                    path = QFileInfo(candidate).absoluteFilePath();
                    break;
                }
            }
            if (!path.isEmpty()) break;
        }
    }
    if (path.isEmpty()) {
        qWarning().noquote() << "zalViewer: texture not found:" << name;
        return nullptr;
    }
    const QString key = path + (colour ? QStringLiteral("|srgb") : QStringLiteral("|linear"));
    const auto found = textures.find(key);
    if (found != textures.end()) return found->second;
    QImage image(path);
    Texture* tex = nullptr;
    if (image.isNull()) {
        qWarning().noquote() << "zalViewer: cannot read the texture" << path;
    } else {
        // Filament stops the process on a texture beyond the GPU's limit; 4096 is plenty here.
        if (image.width() > 4096 || image.height() > 4096)
            image = image.scaled(4096, 4096, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        image = image.convertToFormat(QImage::Format_RGBA8888);
        const int w = image.width(), h = image.height();
        const auto levels = std::uint8_t(std::floor(std::log2(double(std::max(w, h)))) + 1);
        tex = Texture::Builder()
                  .width(std::uint32_t(w))
                  .height(std::uint32_t(h))
                  .levels(levels)
                  .sampler(Texture::Sampler::SAMPLER_2D)
                  .format(colour ? Texture::InternalFormat::SRGB8_A8 : Texture::InternalFormat::RGBA8)
                  .build(*engine);
        const std::size_t size = std::size_t(w) * std::size_t(h) * 4;
        auto* data = new std::uint8_t[size];
        for (int y = 0; y < h; ++y)
            std::memcpy(data + std::size_t(y) * std::size_t(w) * 4, image.constScanLine(y),
                        std::size_t(w) * 4);
        tex->setImage(*engine, 0,
                      Texture::PixelBufferDescriptor(data, size, Texture::Format::RGBA, Texture::Type::UBYTE,
                                                     deleteBytes));
        tex->generateMipmaps(*engine);
    }
    textures[key] = tex;
    return tex;
}

MaterialInstance* zalViewerRenderer::Impl::material(const QString& name)
{
    const auto it = source->materials().find(name);
    if (it == source->materials().end()) return defaultMaterial;
    const zalViewerScene::Material& source = it->second;
    const QString signature = QStringLiteral("%1|%2|%3|%4|%5")
                                  .arg(source.texture)
                                  .arg(source.colour)
                                  .arg(double(source.opacity))
                                  .arg(source.secondTexture, source.parameters);
    GpuMaterial& gpu = materials[name];
    if (gpu.instance && gpu.signature == signature) return gpu.instance;
    if (gpu.instance) retiredMaterials.push_back(gpu.instance);
    const zalViewerMaterialModel m = zalViewerInterpretMaterial(source.texture, source.colour, source.opacity,
                                                                source.secondTexture, source.parameters);
    MaterialInstance* mi = (m.isBlended() ? blended : opaque)->createInstance();
    const TextureSampler sampler(TextureSampler::MinFilter::LINEAR_MIPMAP_LINEAR,
                                 TextureSampler::MagFilter::LINEAR, TextureSampler::WrapMode::REPEAT);
    auto uv = [](const zalViewerMaterialModel::Map& map) {
        return float4(map.offset.x(), map.offset.y(), map.scale.x(), map.scale.y());
    };
    Texture* base = texture(m.baseColourMap.file, true);
    // A texture replaces the colour; the module sends its own colour only when there is none.
    const QVector3D colour = base ? QVector3D(1, 1, 1) : m.baseColour;
    mi->setParameter("baseColorFactor", float4(colour.x(), colour.y(), colour.z(), m.opacity));
    mi->setParameter("baseColorMap", base ? base : white, sampler);
    mi->setParameter("baseColorUv", uv(m.baseColourMap));
    Texture* opacity = texture(m.opacityMap.file, false);
    mi->setParameter("opacityMap", opacity ? opacity : white, sampler);
    mi->setParameter("opacityUv", uv(m.opacityMap));
    Texture* rough = texture(m.roughnessMap.file, false);
    mi->setParameter("roughnessFactor", rough ? m.roughnessMap.strength : m.roughness);
    mi->setParameter("roughnessMap", rough ? rough : white, sampler);
    mi->setParameter("roughnessUv", uv(m.roughnessMap));
    mi->setParameter("metallicFactor", m.metalness);
    Texture* normal = texture(m.normalMap.file, false);
    mi->setParameter("normalMap", normal ? normal : flatNormal, sampler);
    mi->setParameter("normalUv", uv(m.normalMap));
    mi->setParameter("normalStrength", normal ? m.normalMap.strength : 1.0f);
    mi->setParameter("emissiveNits", float3(m.emission.x(), m.emission.y(), m.emission.z()));
    mi->setParameter("clearCoat", m.clearCoat);
    mi->setParameter("clearCoatRoughness", m.clearCoatRoughness);
    gpu.instance = mi;
    gpu.signature = signature;
    queued(1);
    return mi;
}

void zalViewerRenderer::Impl::draw(Item& item, VertexBuffer* vb, std::uint32_t count, const Box& box,
                                   MaterialInstance* mi, const QMatrix4x4& placed)
{
    Entity e = utils::EntityManager::get().create();
    ensureIndices(count);
    RenderableManager::Builder(1)
        .boundingBox(box)
        .geometry(0, RenderableManager::PrimitiveType::TRIANGLES, vb, indices, 0, count)
        .material(0, mi)
        // See-through materials let the sun through: glass roofs light the floor under them.
        .castShadows(mi->getMaterial() != blended)
        .receiveShadows(true)
        .build(*engine, e);
    TransformManager& tm = engine->getTransformManager();
    tm.create(e, {}, toMat4f(kToWorld * placed));
    scene->addEntity(e);
    item.entity = e;
    item.triangles = count / 3;
    stats.triangles += item.triangles;
    ++stats.renderables;
    queued(1);
}

void zalViewerRenderer::Impl::useMaterial(Item& item, const QString& name)
{
    item.material = name;
    item.usesMaterial = true;
    materialUsers[name].insert(&item);
}

std::unique_ptr<zalViewerRenderer::Impl::Item>
zalViewerRenderer::Impl::newItem(const QVector3D& a, const QVector3D& b, const QMatrix4x4& m)
{
    auto item = std::make_unique<Item>();
    const float inf = std::numeric_limits<float>::infinity();
    QVector3D low(inf, inf, inf), high = -low;
    for (int i = 0; i < 8; ++i) {
        const QVector3D corner(i & 1 ? b.x() : a.x(), i & 2 ? b.y() : a.y(), i & 4 ? b.z() : a.z());
        const QVector3D p = m.map(corner);
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || !std::isfinite(p.z())) continue;
        low = QVector3D(std::min(low.x(), p.x()), std::min(low.y(), p.y()), std::min(low.z(), p.z()));
        high = QVector3D(std::max(high.x(), p.x()), std::max(high.y(), p.y()), std::max(high.z(), p.z()));
        item->bounded = true;
    }
    item->low = low;
    item->high = high;
    if (item->bounded && !boundsStale) {
        if (!boundsAny) {
            boundsLow = low;
            boundsHigh = high;
            boundsAny = true;
        } else {
            boundsLow = QVector3D(std::min(boundsLow.x(), low.x()), std::min(boundsLow.y(), low.y()),
                                  std::min(boundsLow.z(), low.z()));
            boundsHigh = QVector3D(std::max(boundsHigh.x(), high.x()), std::max(boundsHigh.y(), high.y()),
                                   std::max(boundsHigh.z(), high.z()));
        }
    }
    item->slot = items.size();
    items.push_back(item.get());
    return item;
}

std::unique_ptr<zalViewerRenderer::Impl::Item>
zalViewerRenderer::Impl::meshItem(const zalViewerScene::Mesh& mesh, const QMatrix4x4& placed)
{
    QVector3D low, high;
    if (!mesh.bounds(low, high)) return nullptr;
    std::unique_ptr<Item> item = newItem(low, high, placed);
    if (mesh.vertexCount < 3) return item;
    const auto n = std::uint32_t(mesh.vertexCount - mesh.vertexCount % 3);
    if (n <= kBatchVertices || ownPlacements >= kOwnPlacements) {
        item->source = &mesh;
        item->world = kToWorld * placed;
        useMaterial(*item, mesh.material);
        join(*item, mesh.material, n);
        return item;
    }
    GpuMesh* gpu = gpuMesh(mesh);
    if (!gpu) return item;
    ++gpu->users;
    item->mesh = mesh.revision;
    item->ownPlacement = true;
    ++ownPlacements;
    useMaterial(*item, mesh.material);
    draw(*item, gpu->buffer, gpu->vertexCount, gpu->box, material(mesh.material), placed);
    return item;
}

std::unique_ptr<zalViewerRenderer::Impl::Item> zalViewerRenderer::Impl::boxItem(const QMatrix4x4& placed,
                                                                                const QString& name)
{
    std::unique_ptr<Item> item =
        newItem(QVector3D(-kBoxHalf, -kBoxHalf, -kBoxHalf), QVector3D(kBoxHalf, kBoxHalf, kBoxHalf), placed);
    QMatrix4x4 scaled = placed;
    scaled.scale(kBoxHalf);
    item->world = kToWorld * scaled;
    useMaterial(*item, name);
    join(*item, name, 36);
    return item;
}

std::unique_ptr<zalViewerRenderer::Impl::Item> zalViewerRenderer::Impl::fountainItem(const QMatrix4x4& placed,
                                                                                     const QString& name)
{
    std::unique_ptr<Item> item = newItem(QVector3D(-250, -150, 0), QVector3D(50, 150, 250), placed);
    const QJsonObject parameters = fountains.value(name);
    const std::vector<float> triangles = zalViewerFountainMarker::triangles(parameters);
    const std::uint32_t n = std::uint32_t(triangles.size() / 9 * 3);
    if (n == 0) return item;
    auto* positions = new float4[(n * 3 + 3) / 4];
    std::memcpy(positions, triangles.data(), std::size_t(n) * 12);
    float4* frames = tangentFrames(triangles.data(), nullptr, n);
    VertexBuffer* vb = litVertexBuffer(*engine, n);
    vb->setBufferAt(*engine, 0, VertexBuffer::BufferDescriptor(positions, std::size_t(n) * 12, deleteFloats));
    vb->setBufferAt(*engine, 1, VertexBuffer::BufferDescriptor(frames, std::size_t(n) * 16, deleteFloats));
    auto* zeros = new std::uint8_t[std::size_t(n) * 8]();
    vb->setBufferAt(*engine, 2, VertexBuffer::BufferDescriptor(zeros, std::size_t(n) * 8, deleteBytes));
    item->own = vb;
    queued(4);
    const QVector3D c = zalViewerFountainMarker::colour(parameters);
    fountainMaterial->setParameter("baseColorFactor", float4(c.x(), c.y(), c.z(), 0.85f));
    Box b;
    b.set(float3(-300, -300, -10), float3(300, 300, 400));
    draw(*item, vb, n, b, fountainMaterial, placed);
    return item;
}

void zalViewerRenderer::Impl::join(Item& item, const QString& name, std::uint32_t vertices)
{
    std::vector<std::unique_ptr<Batch>>& list = batches[name];
    const bool large = vertices > kBatchVertices;
    const std::uint32_t limit = large ? kLargeBatchVertices : kBatchVertices;
    Batch* batch = nullptr;
    for (auto& candidate : list)
        if (candidate->large == large &&
            (candidate->vertices + vertices <= limit || candidate->vertices == 0)) {
            batch = candidate.get();
            break;
        }
    if (!batch) {
        list.push_back(std::make_unique<Batch>());
        batch = list.back().get();
        batch->material = name;
        batch->large = large;
    }
    item.batch = batch;
    item.batchSlot = batch->members.size();
    item.vertices = vertices;
    item.triangles = vertices / 3;
    stats.triangles += item.triangles;
    batch->members.push_back(&item);
    batch->vertices += vertices;
    changed(*batch);
}

void zalViewerRenderer::Impl::leave(Item& item)
{
    Batch& batch = *item.batch;
    Item* last = batch.members.back();
    last->batchSlot = item.batchSlot;
    batch.members[item.batchSlot] = last;
    batch.members.pop_back();
    batch.vertices -= item.vertices;
    stats.triangles -= item.triangles;
    changed(batch);
    item.batch = nullptr;
}

void zalViewerRenderer::Impl::assemble(Batch& batch)
{
    if (!batch.entity.isNull()) {
        scene->remove(batch.entity);
        engine->destroy(batch.entity);
        utils::EntityManager::get().destroy(batch.entity);
        batch.entity = Entity();
        --stats.renderables;
        queued(1);
    }
    if (batch.buffer) {
        engine->destroy(batch.buffer);
        queued(4);
    }
    batch.buffer = nullptr;
    const std::uint32_t n = batch.vertices;
    if (n == 0) return;
    auto* positions = new float4[(std::size_t(n) * 3 + 3) / 4];
    float* p = reinterpret_cast<float*>(positions);
    std::vector<float> normals(std::size_t(n) * 3, 0.0f);
    auto* uv = new std::uint8_t[std::size_t(n) * 8]();
    float* u = reinterpret_cast<float*>(uv);
    float3 low(std::numeric_limits<float>::infinity()), high(-std::numeric_limits<float>::infinity());
    std::size_t at = 0;
    for (const Item* item : batch.members) {
        const zalViewerScene::Mesh* mesh = item->source;
        const QMatrix4x4& m = item->world;
        const QMatrix3x3 turn = m.normalMatrix();
        const bool hasNormals = mesh && mesh->normals.count == mesh->positions.count;
        const bool hasUv = mesh && mesh->uv0.count == std::size_t(mesh->vertexCount) * 2;
        for (std::uint32_t v = 0; v < item->vertices; ++v, ++at) {
            const float3 local = mesh ? loadFloat3(mesh->positions.data, v)
                                      : float3(kCube[v * 3], kCube[v * 3 + 1], kCube[v * 3 + 2]);
            const QVector3D w = m.map(QVector3D(local.x, local.y, local.z));
            p[at * 3] = w.x();
            p[at * 3 + 1] = w.y();
            p[at * 3 + 2] = w.z();
            if (std::isfinite(w.x()) && std::isfinite(w.y()) && std::isfinite(w.z())) {
                low = min(low, float3(w.x(), w.y(), w.z()));
                high = max(high, float3(w.x(), w.y(), w.z()));
            }
            if (hasNormals) {
                const float3 nl = loadFloat3(mesh->normals.data, v);
                const float* t = turn.constData(); // column-major 3x3
                normals[at * 3] = t[0] * nl.x + t[3] * nl.y + t[6] * nl.z;
                normals[at * 3 + 1] = t[1] * nl.x + t[4] * nl.y + t[7] * nl.z;
                normals[at * 3 + 2] = t[2] * nl.x + t[5] * nl.y + t[8] * nl.z;
            }
            if (hasUv) std::memcpy(u + at * 2, mesh->uv0.data + std::size_t(v) * 8, 8);
        }
    }
    float4* frames = tangentFrames(positions, normals.data(), n);
    VertexBuffer* vb = litVertexBuffer(*engine, n);
    vb->setBufferAt(*engine, 0, VertexBuffer::BufferDescriptor(positions, std::size_t(n) * 12, deleteFloats));
    vb->setBufferAt(*engine, 1, VertexBuffer::BufferDescriptor(frames, std::size_t(n) * 16, deleteFloats));
    vb->setBufferAt(*engine, 2, VertexBuffer::BufferDescriptor(uv, std::size_t(n) * 8, deleteBytes));
    batch.buffer = vb;
    MaterialInstance* mi = material(batch.material);
    Entity e = utils::EntityManager::get().create();
    ensureIndices(n);
    Box box;
    if (low.x <= high.x)
        box.set(low, high);
    else
        box.set(float3(0), float3(0));
    RenderableManager::Builder(1)
        .boundingBox(box)
        .geometry(0, RenderableManager::PrimitiveType::TRIANGLES, vb, indices, 0, n)
        .material(0, mi)
        .castShadows(mi->getMaterial() != blended)
        .receiveShadows(true)
        .build(*engine, e);
    engine->getTransformManager().create(e, {}, mat4f());
    scene->addEntity(e);
    batch.entity = e;
    ++stats.renderables;
    queued(5);
}

void zalViewerRenderer::Impl::dropItem(std::unique_ptr<Item>& item)
{
    if (!item) return;
    Item& it = *item;
    if (!it.entity.isNull()) {
        scene->remove(it.entity);
        engine->destroy(it.entity);
        utils::EntityManager::get().destroy(it.entity);
        stats.triangles -= it.triangles;
        --stats.renderables;
        queued(1);
    }
    if (it.usesMaterial) {
        auto users = materialUsers.find(it.material);
        if (users != materialUsers.end()) {
            users->remove(&it);
            if (users->isEmpty()) materialUsers.erase(users);
        }
    }
    if (it.mesh) {
        auto gpu = meshes.find(it.mesh);
        if (gpu != meshes.end()) --gpu->second.users;
    }
    if (it.ownPlacement) --ownPlacements;
    if (it.own) {
        engine->destroy(it.own);
        queued(4);
    }
    if (it.batch) leave(it);
    // An item on the edge of the bounds may have been what held it there.
    if (it.bounded && boundsAny &&
        (it.low.x() <= boundsLow.x() || it.low.y() <= boundsLow.y() || it.low.z() <= boundsLow.z() ||
         it.high.x() >= boundsHigh.x() || it.high.y() >= boundsHigh.y() || it.high.z() >= boundsHigh.z()))
        boundsStale = true;
    Item* last = items.back();
    last->slot = it.slot;
    items[it.slot] = last;
    items.pop_back();
    item.reset();
}

std::unique_ptr<zalViewerRenderer::Impl::Node>
zalViewerRenderer::Impl::makeNode(const QString& owner, const QMatrix4x4& frame, int depth)
{
    if (depth > kMaxDepth) return nullptr;
    auto node = std::make_unique<Node>();
    node->owner = owner;
    node->frame = frame;
    node->depth = depth;
    node->made = updates;
    nodesOf[owner].insert(node.get());
    fillMeshes(*node);
    if (building.active) {
        building.queue.push_back(node.get());
        building.queued.insert(node.get());
        return node;
    }
    for (const auto& entry : source->instancesUnder(owner))
        node->children[std::make_tuple(entry.first->name, entry.first->parent, false)] =
            makeChild(*node, *entry.first, false);
    for (const auto& entry : source->spawnsUnder(owner))
        node->children[std::make_tuple(entry.first->name, entry.first->parent, true)] =
            makeChild(*node, *entry.first, true);
    return node;
}

bool zalViewerRenderer::Impl::stillUnder(const Node& node, const zalViewerScene::Key& key, bool spawn) const
{
    if (spawn) return key.parent == node.owner && source->spawns().count(key);
    const auto found = source->instances().find(key);
    if (found == source->instances().end()) return false;
    return key.parent == node.owner || found->second.connections.count(node.owner) > 0;
}

void zalViewerRenderer::Impl::makeChildAt(Node& node, const zalViewerScene::Key& key, bool spawn)
{
    std::unique_ptr<Child>& slot = node.children[std::make_tuple(key.name, key.parent, spawn)];
    // Already there when a change during the build added it.
    if (!slot) slot = makeChild(node, key, spawn);
}

void zalViewerRenderer::Impl::fillMeshes(Node& node)
{
    for (auto& item : node.meshItems)
        dropItem(item);
    node.meshItems.clear();
    for (const zalViewerScene::Mesh* mesh : source->meshesOf(node.owner)) {
        std::unique_ptr<Item> item = meshItem(*mesh, node.frame);
        if (item) node.meshItems.push_back(std::move(item));
    }
}

std::unique_ptr<zalViewerRenderer::Impl::Child>
zalViewerRenderer::Impl::makeChild(Node& node, const zalViewerScene::Key& key, bool spawn)
{
    auto child = std::make_unique<Child>();
    child->parent = &node;
    child->key = key;
    child->spawn = spawn;
    child->made = updates;
    childrenNamed[key.name].insert(child.get());
    const int depth = node.depth + 1;
    if (spawn) {
        const auto found = source->spawns().find(key);
        if (found == source->spawns().end()) return child;
        const zalViewerScene::Spawn& batch = found->second;
        for (const QMatrix4x4& t : batch.transforms) {
            if (batch.component.isEmpty()) {
                child->leaves.push_back(boxItem(node.frame * t, batch.material));
            } else if (auto n = makeNode(batch.component, node.frame * t, depth)) {
                child->nodes.push_back(std::move(n));
            }
        }
        return child;
    }
    const auto found = source->instances().find(key);
    if (found == source->instances().end()) return child;
    const zalViewerScene::Instance& inst = found->second;
    const QMatrix4x4 placed = node.frame * inst.transform;
    if (auto n = makeNode(key.name, placed, depth)) child->nodes.push_back(std::move(n));
    if (!inst.component.isEmpty() && inst.component != key.name) {
        if (auto n = makeNode(inst.component, placed, depth)) child->nodes.push_back(std::move(n));
    } else {
        fillLeaves(*child);
    }
    return child;
}

void zalViewerRenderer::Impl::fillLeaves(Child& child)
{
    // Whether an instance stands in as a box or a fountain marker depends on the meshes under its name.
    for (auto& item : child.leaves)
        dropItem(item);
    child.leaves.clear();
    if (child.spawn) return;
    const auto found = source->instances().find(child.key);
    if (found == source->instances().end()) return;
    const zalViewerScene::Instance& inst = found->second;
    const QString& name = child.key.name;
    if (!inst.component.isEmpty() && inst.component != name) return;
    const QMatrix4x4 placed = child.parent->frame * inst.transform;
    if (!inst.group && inst.component.isEmpty() && zalViewerFountainMarker::isFountain(inst.asset)) {
        child.leaves.push_back(fountainItem(placed, name));
    } else if (!inst.group && inst.component.isEmpty() && !inst.asset.isEmpty() && inst.asset != name &&
               source->meshesOf(name).empty()) {
        // An asset the reference viewer cannot load: shown as a box where it stands.
        child.leaves.push_back(boxItem(placed, inst.material));
    }
}

void zalViewerRenderer::Impl::dropNode(std::unique_ptr<Node>& node)
{
    if (!node) return;
    for (auto& item : node->meshItems)
        dropItem(item);
    for (auto& entry : node->children)
        dropChild(entry.second);
    auto registered = nodesOf.find(node->owner);
    if (registered != nodesOf.end()) {
        registered->remove(node.get());
        if (registered->isEmpty()) nodesOf.erase(registered);
    }
    building.queued.erase(node.get());
    node.reset();
}

void zalViewerRenderer::Impl::dropChild(std::unique_ptr<Child>& child)
{
    if (!child) return;
    for (auto& item : child->leaves)
        dropItem(item);
    for (auto& node : child->nodes)
        dropNode(node);
    auto registered = childrenNamed.find(child->key.name);
    if (registered != childrenNamed.end()) {
        registered->remove(child.get());
        if (registered->isEmpty()) childrenNamed.erase(registered);
    }
    child.reset();
}

void zalViewerRenderer::Impl::dropChildren(Node& node, const QString& name)
{
    auto it = node.children.lower_bound(std::make_tuple(name, QString(), false));
    while (it != node.children.end() && std::get<0>(it->first) == name) {
        dropChild(it->second);
        it = node.children.erase(it);
    }
}

void zalViewerRenderer::Impl::addChildren(Node& node, const QString& name)
{
    // What the scene lists under the node's owner by that name: instances kept under it or connected
    // to it, and a spawned batch.
    const auto& instances = source->instances();
    for (auto it = instances.lower_bound(zalViewerScene::Key{name, QString()});
         it != instances.end() && it->first.name == name; ++it) {
        if (it->first.parent != node.owner && !it->second.connections.count(node.owner)) continue;
        node.children[std::make_tuple(name, it->first.parent, false)] = makeChild(node, it->first, false);
    }
    const zalViewerScene::Key key{name, node.owner};
    if (source->spawns().count(key))
        node.children[std::make_tuple(name, node.owner, true)] = makeChild(node, key, true);
}

void zalViewerRenderer::Impl::updateLights()
{
    for (Entity e : lights) {
        scene->remove(e);
        engine->destroy(e);
        utils::EntityManager::get().destroy(e);
    }
    lights.clear();
    for (const auto& entry : source->lights()) {
        const zalViewerScene::Light& l = entry.second;
        if (!l.on) continue;
        const QMatrix4x4 frame = kUnmirror * l.transform;
        const QVector3D position = frame.column(3).toVector3D();
        QVector3D shine = frame.column(0).toVector3D();
        if (shine.lengthSquared() < 1e-12f) shine = QVector3D(0, 0, -1);
        const QVector3D c = rgb(l.colour == 0 ? 0xFFFFFF : l.colour);
        const LinearColor colour(c.x(), c.y(), c.z());
        // The host's intensities are in its engine's units: a hundredth is a candela for point
        // and spot lights, a distant light's value is lux.
        const float candela = std::max(l.intensity, 0.0f) / 100.0f;
        const float radius = (l.attenuationRadius > 0 ? l.attenuationRadius : 1000.0f) / 100.0f;
        Entity e = utils::EntityManager::get().create();
        if (l.type == 3) {
            LightManager::Builder(LightManager::Type::DIRECTIONAL)
                .direction(toWorldDirection(shine))
                .color(colour)
                .intensity(std::max(l.intensity, 0.0f))
                .castShadows(l.castShadows)
                .build(*engine, e);
        } else if (l.type == 1 || l.type == 2) {
            // A rectangular (area) spot is drawn as a spot of the same cone.
            const float outer =
                qDegreesToRadians(std::clamp(l.falloffAngle > 0 ? l.falloffAngle : 45.0f, 1.0f, 179.0f)) *
                0.5f;
            const float inner = std::min(qDegreesToRadians(std::max(l.hotspotAngle, 0.5f)) * 0.5f, outer);
            LightManager::Builder(LightManager::Type::SPOT)
                .position(toWorldPoint(position))
                .direction(toWorldDirection(shine))
                .color(colour)
                .intensityCandela(candela)
                .spotLightCone(inner, outer)
                .falloff(radius)
                .castShadows(l.castShadows)
                .build(*engine, e);
        } else {
            LightManager::Builder(LightManager::Type::POINT)
                .position(toWorldPoint(position))
                .color(colour)
                .intensityCandela(candela)
                .falloff(radius)
                .build(*engine, e);
        }
        scene->addEntity(e);
        lights.push_back(e);
    }
}

void zalViewerRenderer::Impl::updateAssets()
{
    for (auto& item : assetItems)
        dropItem(item);
    assetItems.clear();
    for (const auto& entry : source->placedAssets()) {
        if (entry.second.visible &&
            (entry.second.parent.isEmpty() || entry.second.parent == QLatin1String("Model")))
            assetItems.push_back(boxItem(kUnmirror * entry.second.transform, QString()));
    }
}

bool zalViewerRenderer::Impl::collectGarbage(const std::function<bool()>& outOfTime)
{
    // Batches whose members changed are put together again, and empty ones go.
    for (bool first = true; !changedBatches.empty(); first = false) {
        if (outOfTime && !first && outOfTime()) return false;
        Batch& batch = **changedBatches.begin();
        didUnits(1 + batch.vertices / kVerticesPerUnit);
        assemble(batch);
        changedBatches.erase(changedBatches.begin());
    }
    for (auto list = batches.begin(); list != batches.end();) {
        auto& v = list->second;
        v.erase(std::remove_if(v.begin(), v.end(),
                               [](const std::unique_ptr<Batch>& b) { return b->vertices == 0; }),
                v.end());
        list = v.empty() ? batches.erase(list) : std::next(list);
    }
    for (auto it = meshes.begin(); it != meshes.end();) {
        if (it->second.users > 0) {
            ++it;
            continue;
        }
        if (it->second.buffer) {
            engine->destroy(it->second.buffer);
            queued(4);
        }
        it = meshes.erase(it);
    }
    // Materials nothing draws with any more, and instances replaced by newer ones.
    for (auto it = materials.begin(); it != materials.end();) {
        if (materialUsers.contains(it->first)) {
            ++it;
            continue;
        }
        if (it->second.instance) {
            engine->destroy(it->second.instance);
            queued(1);
        }
        it = materials.erase(it);
    }
    for (MaterialInstance* mi : retiredMaterials)
        engine->destroy(mi);
    queued(int(retiredMaterials.size()));
    retiredMaterials.clear();
    stats.meshBuffers = int(meshes.size());
    stats.materials = int(materials.size());
    return true;
}

void zalViewerRenderer::Impl::beginBuild()
{
    dropDrawing();
    boundsStale = false;
    boundsAny = false;
    building.active = true;
    building.queue.clear();
    building.queued.clear();
    roots[0] = makeNode(QStringLiteral("Model"), kUnmirror, 0);
    roots[1] = makeNode(QString(), kUnmirror, 0);
    updateAssets();
    updateLights();
    built = true;
    building.slices = 0;
    building.longestMs = 0;
    building.units = 0;
    building.undone = 0;
    building.earlyEnds = 0;
    building.mostAnswered = 0;
    ++stats.buildsStarted;
    building.clock.start();
}

bool zalViewerRenderer::Impl::continueBuild(const std::function<bool()>& outOfTime)
{
    bool made = false;
    while (!building.queue.empty()) {
        Node* node = building.queue.front();
        if (!building.queued.count(node)) {
            building.queue.pop_front();
            continue;
        }
        if (!node->listed) {
            const auto& instances = source->instancesUnder(node->owner);
            const auto& spawns = source->spawnsUnder(node->owner);
            node->toBuild.reserve(instances.size() + spawns.size());
            for (const auto& instance : instances)
                node->toBuild.emplace_back(*instance.first, false);
            for (const auto& spawn : spawns)
                node->toBuild.emplace_back(*spawn.first, true);
            node->listed = true;
            node->buildNext = 0;
            node->buildRevision = source->revision();
        }
        while (node->buildNext < node->toBuild.size()) {
            if (made && outOfTime()) return false;
            const auto& next = node->toBuild[node->buildNext++];
            if (node->buildRevision == source->revision() || stillUnder(*node, next.first, next.second))
                makeChildAt(*node, next.first, next.second);
            didUnits(1);
            made = true;
        }
        node->toBuild = {};
        building.queued.erase(node);
        building.queue.pop_front();
    }
    // Every batch goes together once its members are all in.
    if (made && outOfTime()) return false;
    return collectGarbage(outOfTime);
}

void zalViewerRenderer::Impl::takeIn(const zalViewerScene& scene)
{
    TakenIn& t = takenIn;
    // Many changes at once (a scene streamed in, a drawing opened) are built from scratch, in steps:
    // following them one by one costs more (even listing them) and cannot be split.
    const std::size_t many = std::max<std::size_t>(kManyChanges, items.size() / 2);
    bool everything = t.everything || !built || scene.changeCount() - changeCursor > many;
    if (!everything) {
        const bool kept = scene.changesSince(changeCursor, [&](const zalViewerScene::Change& c) {
            switch (c.kind) {
            case zalViewerScene::Change::Meshes:
                t.meshOwners.insert(c.owner);
                break;
            case zalViewerScene::Change::Child:
                t.children.emplace(c.owner, c.name);
                break;
            case zalViewerScene::Change::Material:
                t.materials.insert(c.name);
                break;
            case zalViewerScene::Change::Lights:
                t.lights = true;
                break;
            case zalViewerScene::Change::Assets:
                t.assets = true;
                break;
            case zalViewerScene::Change::Everything:
                everything = true;
                break;
            }
        });
        everything = everything || !kept || t.size() > many;
    }
    if (everything) {
        t = TakenIn();
        t.everything = true;
        changeCursor = scene.changeCount();
    }
}

bool zalViewerRenderer::Impl::update(const zalViewerScene& scene, int budgetMs)
{
    QElapsedTimer spent;
    spent.start();
    source = &scene;
    ++updates;
    takeIn(scene);
    const TakenIn t = std::move(takenIn);
    takenIn = TakenIn();
    if (t.everything) {
        beginBuild();
        return finishBuildStep(spent, budgetMs);
    }
    // Materials first, so that what is drawn next already gets the new ones.
    for (const QString& name : t.materials) {
        auto users = materialUsers.find(name);
        if (users == materialUsers.end()) continue;
        MaterialInstance* mi = material(name);
        RenderableManager& rm = engine->getRenderableManager();
        for (Item* item : *users) {
            if (item->entity.isNull() || item->own) continue;
            const auto instance = rm.getInstance(item->entity);
            rm.setMaterialInstanceAt(instance, 0, mi);
            rm.setCastShadows(instance, mi->getMaterial() != blended);
        }
        auto merged = batches.find(name);
        if (merged == batches.end()) continue;
        for (auto& batch : merged->second) {
            if (batch->entity.isNull()) continue;
            const auto instance = rm.getInstance(batch->entity);
            rm.setMaterialInstanceAt(instance, 0, mi);
            rm.setCastShadows(instance, mi->getMaterial() != blended);
        }
    }
    for (const auto& change : t.children) {
        auto owners = nodesOf.find(change.first);
        if (owners == nodesOf.end()) continue;
        const std::vector<Node*> nodes(owners->begin(), owners->end());
        for (Node* node : nodes) {
            // A node dropped along with an earlier child is gone from the registry.
            auto still = nodesOf.find(change.first);
            if (still == nodesOf.end() || !still->contains(node) || node->made == updates) continue;
            dropChildren(*node, change.second);
            addChildren(*node, change.second);
        }
    }
    for (const QString& owner : t.meshOwners) {
        auto owners = nodesOf.find(owner);
        if (owners != nodesOf.end()) {
            for (Node* node : *owners)
                if (node->made != updates) fillMeshes(*node);
        }
        auto named = childrenNamed.find(owner);
        if (named != childrenNamed.end()) {
            for (Child* child : *named)
                if (child->made != updates) fillLeaves(*child);
        }
    }
    if (t.assets) updateAssets();
    if (t.lights) updateLights();
    if (building.active) return finishBuildStep(spent, budgetMs);
    collectGarbage();
    source = nullptr;
    return true;
}

bool zalViewerRenderer::Impl::finishBuildStep(const QElapsedTimer& spent, int budgetMs)
{
    // A waiting message ends a step once its least share is made (see kMostLeastUnits).
    const long long undone = building.undone;
    const long long least =
        undone +
        (building.earlyEnds == 0 ? 0 : std::min(kMostLeastUnits, 1LL << std::min(building.earlyEnds, 40)));
    building.stepUnits = 0;
    bool endedEarly = false;
    const bool done = continueBuild([&] {
        if (budgetMs < 0) return false;
        if (spent.elapsed() >= budgetMs) return true;
        endedEarly = building.stepUnits >= least && waiting && waiting();
        return endedEarly;
    });
    building.earlyEnds = endedEarly && !done ? building.earlyEnds + 1 : 0;
    if (endedEarly) building.mostAnswered = std::max(building.mostAnswered, building.stepUnits - undone);
    building.undone = 0; // what the step itself took apart is still to do, not undone by an edit
    source = nullptr;
    ++building.slices;
    building.longestMs = std::max(building.longestMs, double(spent.nsecsElapsed()) / 1e6);
    if (!done) return false;
    building.active = false;
    stats.buildSlices = building.slices;
    stats.buildUnits = building.units;
    stats.mostUnitsBeforeAnswer = building.mostAnswered;
    stats.buildMs = double(building.clock.nsecsElapsed()) / 1e6;
    stats.longestBuildSliceMs = building.longestMs;
    // Something that needs the whole drawing (a picture, the camera that fits it) came in the middle.
    if (budgetMs < 0 && building.slices > 1) ++stats.buildsFinishedAtOnce;
    return true;
}

bool zalViewerRenderer::Impl::sceneBounds(QVector3D& low, QVector3D& high)
{
    if (boundsStale) {
        boundsAny = false;
        for (const Item* item : items) {
            if (!item->bounded) continue;
            if (!boundsAny) {
                boundsLow = item->low;
                boundsHigh = item->high;
                boundsAny = true;
                continue;
            }
            boundsLow =
                QVector3D(std::min(boundsLow.x(), item->low.x()), std::min(boundsLow.y(), item->low.y()),
                          std::min(boundsLow.z(), item->low.z()));
            boundsHigh =
                QVector3D(std::max(boundsHigh.x(), item->high.x()), std::max(boundsHigh.y(), item->high.y()),
                          std::max(boundsHigh.z(), item->high.z()));
        }
        boundsStale = false;
    }
    low = boundsLow;
    high = boundsHigh;
    return boundsAny;
}

void zalViewerRenderer::Impl::updateSky(const zalViewerSunState& s)
{
    // The sky is rebuilt only when the sun has moved or changed brightness noticeably.
    const QString signature = QStringLiteral("%1 %2 %3 %4")
                                  .arg(double(s.toSun.x()), 0, 'f', 3)
                                  .arg(double(s.toSun.y()), 0, 'f', 3)
                                  .arg(double(s.toSun.z()), 0, 'f', 3)
                                  .arg(double(s.skyScale), 0, 'g', 3);
    if (sky && signature == skySignature) return;
    skySignature = signature;

    const std::size_t faceTexels = std::size_t(kSkyFace) * kSkyFace;
    const std::size_t bytes = faceTexels * 6 * sizeof(float3);
    auto* data = new std::uint8_t[bytes];
    auto* texels = reinterpret_cast<float3*>(data);
    // Radiance as spherical harmonics (three bands), for the diffuse light from the sky.
    float3 sh[9] = {};
    double weightSum = 0;
    for (int face = 0; face < 6; ++face)
        for (int y = 0; y < kSkyFace; ++y)
            for (int x = 0; x < kSkyFace; ++x) {
                const float u = (2.0f * (float(x) + 0.5f) / kSkyFace) - 1.0f;
                const float v = (2.0f * (float(y) + 0.5f) / kSkyFace) - 1.0f;
                const float3 d = cubeDirection(face, u, v);
                const QVector3D r = zalViewerSkyRadiance(s, sceneDirection(d));
                const float3 radiance(r.x(), r.y(), r.z());
                texels[std::size_t(face) * faceTexels + std::size_t(y) * kSkyFace + std::size_t(x)] =
                    radiance;
                // Solid angle of a texel, up to a constant.
                const float w = 1.0f / std::pow(1.0f + u * u + v * v, 1.5f);
                weightSum += w;
                const float basis[9] = {0.282095f,
                                        -0.488603f * d.y,
                                        0.488603f * d.z,
                                        -0.488603f * d.x,
                                        1.092548f * d.x * d.y,
                                        -1.092548f * d.y * d.z,
                                        0.315392f * (3 * d.z * d.z - 1),
                                        -1.092548f * d.x * d.z,
                                        0.546274f * (d.x * d.x - d.y * d.y)};
                for (int i = 0; i < 9; ++i)
                    sh[i] += radiance * (basis[i] * w);
            }
    const float norm = float(4.0 * M_PI / weightSum);
    for (float3& c : sh)
        c *= norm;

    Texture* tex = Texture::Builder()
                       .width(kSkyFace)
                       .height(kSkyFace)
                       .levels(std::uint8_t(std::log2(kSkyFace) + 1))
                       .sampler(Texture::Sampler::SAMPLER_CUBEMAP)
                       .format(Texture::InternalFormat::R11F_G11F_B10F)
                       .build(*engine);
    Texture::FaceOffsets offsets(faceTexels * sizeof(float3));
    tex->generatePrefilterMipmap(
        *engine,
        Texture::PixelBufferDescriptor(data, bytes, Texture::Format::RGB, Texture::Type::FLOAT, deleteBytes),
        offsets);
    IndirectLight* ibl =
        IndirectLight::Builder().reflections(tex).radiance(3, sh).intensity(1.0f).build(*engine);
    Skybox* box = Skybox::Builder().environment(tex).intensity(1.0f).showSun(true).build(*engine);
    scene->setIndirectLight(ibl);
    scene->setSkybox(box);
    if (indirect) engine->destroy(indirect);
    if (skybox) engine->destroy(skybox);
    if (sky) engine->destroy(sky);
    indirect = ibl;
    skybox = box;
    sky = tex;
}

zalViewerLook zalViewerRenderer::Impl::applyLook(const zalViewerSettings& settings,
                                                 const zalViewerSunState& s)
{
    const zalViewerLook look = zalViewerLookFromSettings(settings, zalViewerGroundIlluminance(s));
    // Aperture f/16 and ISO 100; the shutter sets the exposure value.
    camera->setExposure(16.0f, 256.0f / std::exp2(look.ev100), 100.0f);

    LightManager& lm = engine->getLightManager();
    const auto light = lm.getInstance(sun);
    lm.setDirection(light, toWorldDirection(-s.toSun));
    lm.setIntensity(light, s.illuminanceLux);
    lm.setColor(light, LinearColor(s.colour.x(), s.colour.y(), s.colour.z()));
    lm.setSunAngularRadius(light, s.angularRadiusDeg);
    LightManager::ShadowOptions shadows;
    shadows.mapSize = std::uint32_t(look.shadowMapSize);
    shadows.shadowCascades = std::uint8_t(look.shadowCascades);
    shadows.stable = false;
    // Metres: the scene is drawn in metres, and CAD faces need a little more bias than the default.
    shadows.constantBias = 0.01f;
    shadows.normalBias = 1.5f;
    lm.setShadowOptions(light, shadows);
    lm.setShadowCaster(light, s.aboveHorizon);

    return look;
}

zalViewerRenderer::zalViewerRenderer() = default;

zalViewerRenderer::~zalViewerRenderer()
{
    release();
}

bool zalViewerRenderer::initialize(QString& error)
{
    auto impl = std::make_unique<Impl>();
    Impl& r = *impl;
    r.engine = Engine::create(Engine::Backend::OPENGL);
    if (!r.engine) {
        error = QStringLiteral("Filament could not start its OpenGL backend");
        return false;
    }
    // Mesa unloads its driver when the GL context goes away at exit; a leak checker can then no longer
    // name what the driver kept (its frames have no module). Keeping it loaded costs nothing at exit.
    r.engine->flushAndWait();
    dlopen("libgallium_dri.so", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    d = std::move(impl);
    r.renderer = r.engine->createRenderer();
    r.scene = r.engine->createScene();
    r.view = r.engine->createView();
    r.cameraEntity = utils::EntityManager::get().create();
    r.camera = r.engine->createCamera(r.cameraEntity);
    r.view->setScene(r.scene);
    r.view->setCamera(r.camera);
    r.view->setShadowingEnabled(true);
    // Filament's post-processing passes draw garbage tiles on Mesa's llvmpipe here; the frame is
    // read back in HDR and finished on the CPU (zalViewerFinishFrame) instead.
    r.view->setPostProcessingEnabled(false);
    Renderer::ClearOptions clear;
    clear.clearColor = float4(0, 0, 0, 1);
    clear.clear = true;
    r.renderer->setClearOptions(clear);

    r.opaque = Material::Builder().package(kLitOpaque, sizeof kLitOpaque).build(*r.engine);
    r.blended = Material::Builder().package(kLitBlended, sizeof kLitBlended).build(*r.engine);
    if (!r.opaque || !r.blended) {
        error = QStringLiteral("the viewer's materials do not load");
        release();
        return false;
    }
    auto solid = [&](std::uint32_t rgba, Texture::InternalFormat format) {
        Texture* t = Texture::Builder()
                         .width(1)
                         .height(1)
                         .levels(1)
                         .sampler(Texture::Sampler::SAMPLER_2D)
                         .format(format)
                         .build(*r.engine);
        auto* data = new std::uint8_t[4];
        std::memcpy(data, &rgba, 4);
        t->setImage(*r.engine, 0,
                    Texture::PixelBufferDescriptor(data, 4, Texture::Format::RGBA, Texture::Type::UBYTE,
                                                   deleteBytes));
        return t;
    };
    r.white = solid(0xFFFFFFFFu, Texture::InternalFormat::RGBA8);
    r.flatNormal = solid(0xFFFF8080u, Texture::InternalFormat::RGBA8); // (0.5, 0.5, 1) little-endian
    const TextureSampler sampler(TextureSampler::MagFilter::LINEAR, TextureSampler::WrapMode::REPEAT);
    auto plain = [&](Material* material, float3 colour, float alpha) {
        MaterialInstance* mi = material->createInstance();
        mi->setParameter("baseColorFactor", float4(colour, alpha));
        mi->setParameter("baseColorMap", r.white, sampler);
        mi->setParameter("baseColorUv", float4(0, 0, 1, 1));
        mi->setParameter("opacityMap", r.white, sampler);
        mi->setParameter("opacityUv", float4(0, 0, 1, 1));
        mi->setParameter("roughnessFactor", 0.8f);
        mi->setParameter("metallicFactor", 0.0f);
        mi->setParameter("roughnessMap", r.white, sampler);
        mi->setParameter("roughnessUv", float4(0, 0, 1, 1));
        mi->setParameter("normalMap", r.flatNormal, sampler);
        mi->setParameter("normalUv", float4(0, 0, 1, 1));
        mi->setParameter("normalStrength", 1.0f);
        mi->setParameter("emissiveNits", float3(0));
        mi->setParameter("clearCoat", 0.0f);
        mi->setParameter("clearCoatRoughness", 0.1f);
        return mi;
    };
    r.defaultMaterial = plain(r.opaque, float3(0.48f), 1.0f);
    r.fountainMaterial = plain(r.blended, float3(0.3f, 0.5f, 0.9f), 0.85f);

    VertexBuffer* box = litVertexBuffer(*r.engine, 36);
    box->setBufferAt(*r.engine, 0, VertexBuffer::BufferDescriptor(kCube, sizeof kCube));
    box->setBufferAt(
        *r.engine, 1,
        VertexBuffer::BufferDescriptor(tangentFrames(kCube, nullptr, 36), 36 * 16, deleteFloats));
    auto* zeros = new std::uint8_t[36 * 8]();
    box->setBufferAt(*r.engine, 2, VertexBuffer::BufferDescriptor(zeros, 36 * 8, deleteBytes));
    r.box = box;

    r.sun = utils::EntityManager::get().create();
    LightManager::Builder(LightManager::Type::SUN)
        .direction(float3(0, -1, 0))
        .intensity(0)
        .castShadows(true)
        .sunHaloSize(6.0f)
        .build(*r.engine, r.sun);
    r.scene->addEntity(r.sun);
    return true;
}

void zalViewerRenderer::release()
{
    if (!d) return;
    Impl& r = *d;
    Engine* e = r.engine;
    r.finishPending(true);
    delete[] r.pending.pixels;
    r.pending = Impl::Pending();
    r.destroyAll();
    for (auto& m : r.meshes)
        if (m.second.buffer) e->destroy(m.second.buffer);
    for (IndexBuffer* ib : r.retiredIndices)
        e->destroy(ib);
    for (auto& m : r.materials)
        if (m.second.instance) e->destroy(m.second.instance);
    for (auto& t : r.textures)
        if (t.second) e->destroy(t.second);
    if (r.defaultMaterial) e->destroy(r.defaultMaterial);
    if (r.fountainMaterial) e->destroy(r.fountainMaterial);
    if (r.opaque) e->destroy(r.opaque);
    if (r.blended) e->destroy(r.blended);
    for (Texture* t : {r.white, r.flatNormal, r.sky})
        if (t) e->destroy(t);
    if (r.indirect) e->destroy(r.indirect);
    if (r.skybox) e->destroy(r.skybox);
    if (r.indices) e->destroy(r.indices);
    if (r.box) e->destroy(r.box);
    if (!r.sun.isNull()) e->destroy(r.sun);
    if (r.view) r.destroyTarget();
    if (r.swapChain) e->destroy(r.swapChain);
    if (r.view) e->destroy(r.view);
    if (r.scene) e->destroy(r.scene);
    if (r.renderer) e->destroy(r.renderer);
    if (r.camera) e->destroyCameraComponent(r.cameraEntity);
    Engine::destroy(&e);
    d.reset();
}

void zalViewerRenderer::setTextureFolders(const QStringList& folders)
{
    if (d) d->textureFolders = folders;
}

zalViewerRenderer::Statistics zalViewerRenderer::statistics() const
{
    Statistics s = d ? d->stats : Statistics();
    if (d) {
        s.textures = int(d->textures.size());
        s.changesTakenIn = d->takenIn.size();
        s.buildingSteps = d->building.active ? d->building.slices : 0;
        s.buildingUnits = d->building.active ? d->building.units : 0;
    }
    return s;
}

bool zalViewerRenderer::bounds(const zalViewerScene& scene, QVector3D& low, QVector3D& high) const
{
    if (d && d->engine) {
        // What is drawn, brought up to date with the scene first.
        d->update(scene);
        return d->sceneBounds(low, high);
    }
    return bounds(scene, nullptr, low, high);
}

bool zalViewerRenderer::bounds(const zalViewerScene& scene, const QSet<QString>* only, QVector3D& low,
                               QVector3D& high) const
{
    const float inf = std::numeric_limits<float>::infinity();
    low = QVector3D(inf, inf, inf);
    high = -low;
    bool any = false;
    auto add = [&](const QVector3D& a, const QVector3D& b, const QMatrix4x4& m) {
        for (int i = 0; i < 8; ++i) {
            const QVector3D corner(i & 1 ? b.x() : a.x(), i & 2 ? b.y() : a.y(), i & 4 ? b.z() : a.z());
            const QVector3D p = m.map(corner);
            if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || !std::isfinite(p.z())) continue;
            low = QVector3D(std::min(low.x(), p.x()), std::min(low.y(), p.y()), std::min(low.z(), p.z()));
            high = QVector3D(std::max(high.x(), p.x()), std::max(high.y(), p.y()), std::max(high.z(), p.z()));
            any = true;
        }
    };
    Visit visit;
    visit.mesh = [&](const zalViewerScene::Mesh& mesh, const QMatrix4x4& m) {
        QVector3D a, b;
        if (mesh.bounds(a, b)) add(a, b, m);
    };
    visit.box = [&](const QMatrix4x4& m, const QString&) {
        add(QVector3D(-kBoxHalf, -kBoxHalf, -kBoxHalf), QVector3D(kBoxHalf, kBoxHalf, kBoxHalf), m);
    };
    visit.fountain = [&](const QMatrix4x4& m, const QString&) {
        add(QVector3D(-250, -150, 0), QVector3D(50, 150, 250), m);
    };
    visit.only = only;
    walkAll(scene, visit);
    return any;
}

zalViewerRenderer::View zalViewerRenderer::view(const zalViewerScene& scene,
                                                const zalViewerSettings& settings) const
{
    View v;
    if (settings.cameraSet && (settings.cameraPosition - settings.cameraAim).length() > 1e-6f) {
        // The host sends its camera in the drawing's own frame (centimetres, not mirrored), and
        // as field of view the angle from the view's axis to the edge of its width.
        v.eye = settings.cameraPosition;
        v.target = settings.cameraAim;
        v.up = settings.cameraUp.isNull() ? QVector3D(0, 0, 1) : settings.cameraUp;
        const float full = 2.0f * settings.fieldOfView;
        v.fieldOfView = full > 1 && full < 170 ? full : 60;
        v.horizontal = true;
        v.orthographic = settings.cameraOrthographic;
        return v;
    }
    QVector3D low, high;
    if (!bounds(scene, low, high)) {
        low = QVector3D(-100, -100, -100);
        high = QVector3D(100, 100, 100);
    }
    const QVector3D centre = (low + high) * 0.5f;
    const float radius = std::max((high - low).length() * 0.5f, 1.0f);
    const float distance = radius / std::sin(qDegreesToRadians(v.fieldOfView * 0.5f)) * 1.05f;
    v.target = centre;
    v.eye = centre + QVector3D(0.55f, -0.75f, 0.45f).normalized() * distance;
    return v;
}

void zalViewerRenderer::clipPlanes(const View& view, const QVector3D& low, const QVector3D& high, bool any,
                                   float& near, float& far)
{
    // Distances along the view direction to the nearest and farthest corner of the bounds.
    const QVector3D forward = (view.target - view.eye).normalized();
    float nearest = std::numeric_limits<float>::infinity(), farthest = 0;
    if (any) {
        for (int i = 0; i < 8; ++i) {
            const QVector3D corner(i & 1 ? high.x() : low.x(), i & 2 ? high.y() : low.y(),
                                   i & 4 ? high.z() : low.z());
            const float depth = QVector3D::dotProduct(corner - view.eye, forward);
            nearest = std::min(nearest, depth);
            farthest = std::max(farthest, depth);
        }
    }
    const float size = any ? std::max((high - low).length(), 1.0f) : 1000.0f;
    far = std::max(farthest, 1.0f) * 1.05f + size * 0.01f;
    // Inside the bounds the near plane comes close; depth precision holds down to far / 1e5.
    near = std::max(std::min(nearest * 0.95f, far * 0.9f), far * 1e-5f);
}

QImage zalViewerRenderer::renderImage(const zalViewerScene& scene, const zalViewerSettings& settings,
                                      const View& v, QSize size, QString& error)
{
    if (!startFrame(scene, settings, v, size, error)) return QImage();
    d->finishPending(true);
    return takeFrame(error);
}

bool zalViewerRenderer::startFrame(const zalViewerScene& scene, const zalViewerSettings& settings,
                                   const View& v, QSize size, QString& error)
{
    if (!d) {
        error = QStringLiteral("the renderer is not running");
        return false;
    }
    constexpr int kMaxSize = 8192;
    if (size.width() <= 0 || size.height() <= 0 || size.width() > kMaxSize || size.height() > kMaxSize) {
        error = QStringLiteral("image size %1x%2 is outside 1..%3")
                    .arg(size.width())
                    .arg(size.height())
                    .arg(kMaxSize);
        return false;
    }
    Impl& r = *d;
    // One frame at a time: one still being read back is finished (and dropped) first.
    if (r.pending.active) {
        r.finishPending(true);
        delete[] r.pending.pixels;
        r.pending = Impl::Pending();
    }
    r.pending.clock.start();
    const zalViewerSunState sun = zalViewerSunFromSettings(settings);
    const zalViewerLook look = r.applyLook(settings, sun);
    // The epic preset supersamples: antialiasing without Filament's post-processing.
    const int factor =
        look.quality >= 3 && size.width() * 2 <= kMaxSize && size.height() * 2 <= kMaxSize ? 2 : 1;
    const QSize drawn = size * factor;
    if (!r.swapChain) r.swapChain = r.engine->createSwapChain(16, 16, SwapChain::CONFIG_READABLE);
    if (!r.target || r.targetSize != drawn) {
        r.destroyTarget();
        const auto w = std::uint32_t(drawn.width()), h = std::uint32_t(drawn.height());
        r.targetColour = Texture::Builder()
                             .width(w)
                             .height(h)
                             .levels(1)
                             .usage(Texture::Usage::COLOR_ATTACHMENT | Texture::Usage::SAMPLEABLE)
                             .format(Texture::InternalFormat::RGBA16F)
                             .build(*r.engine);
        r.targetDepth = Texture::Builder()
                            .width(w)
                            .height(h)
                            .levels(1)
                            .usage(Texture::Usage::DEPTH_ATTACHMENT)
                            .format(Texture::InternalFormat::DEPTH24)
                            .build(*r.engine);
        r.target = RenderTarget::Builder()
                       .texture(RenderTarget::AttachmentPoint::COLOR, r.targetColour)
                       .texture(RenderTarget::AttachmentPoint::DEPTH, r.targetDepth)
                       .build(*r.engine);
        r.view->setRenderTarget(r.target);
        r.targetSize = drawn;
    }
    const QByteArray fountains =
        QJsonDocument(QJsonObject::fromVariantMap([&] {
            QVariantMap m;
            for (auto it = settings.fountains.begin(); it != settings.fountains.end(); ++it)
                m.insert(it.key(), it.value().toVariantMap());
            return m;
        }()))
            .toJson(QJsonDocument::Compact);
    if (fountains != r.builtFountains) {
        // Fountain markers take their shape from the settings: they are rare, so all is drawn again.
        r.fountains = settings.fountains;
        r.builtFountains = fountains;
        r.built = false;
    }
    r.update(scene);
    r.updateSky(sun);

    QVector3D low, high;
    const bool any = r.sceneBounds(low, high);
    float nearCm = 1, farCm = 1000;
    clipPlanes(v, low, high, any, nearCm, farCm);
    const double aspect = double(size.width()) / double(size.height());
    const double nearM = nearCm / 100.0, farM = farCm / 100.0;
    if (v.orthographic) {
        const double half =
            (v.eye - v.target).length() / 100.0 * std::tan(qDegreesToRadians(v.fieldOfView * 0.5));
        const double w = v.horizontal ? half : half * aspect, h = v.horizontal ? half / aspect : half;
        r.camera->setProjection(Camera::Projection::ORTHO, -w, w, -h, h, 0.0,
                                farM + (v.eye - v.target).length() / 100.0);
    } else {
        r.camera->setProjection(double(v.fieldOfView), aspect, nearM, farM,
                                v.horizontal ? Camera::Fov::HORIZONTAL : Camera::Fov::VERTICAL);
    }
    const float3 eye = toWorldPoint(v.eye), target = toWorldPoint(v.target);
    QVector3D up = v.up;
    if (QVector3D::crossProduct(up, v.target - v.eye).lengthSquared() < 1e-12f) up = QVector3D(0, 1, 0);
    r.camera->lookAt(eye, target, toWorldDirection(up));
    r.view->setViewport(Viewport(0, 0, std::uint32_t(drawn.width()), std::uint32_t(drawn.height())));

    const std::size_t pixelCount = std::size_t(drawn.width()) * std::size_t(drawn.height());
    Impl::Pending& p = r.pending;
    p.bytes = pixelCount * 4 * sizeof(filament::math::half);
    p.pixels = new std::uint8_t[p.bytes];
    p.drawn = drawn;
    p.factor = factor;
    p.look = look;
    p.done = false;
    p.active = true;
    // A frame may be skipped by beginFrame; the next tries draw it.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (r.renderer->beginFrame(r.swapChain)) {
            r.renderer->render(r.view);
            r.renderer->readPixels(
                r.target, 0, 0, std::uint32_t(drawn.width()), std::uint32_t(drawn.height()),
                backend::PixelBufferDescriptor(
                    p.pixels, p.bytes, backend::PixelDataFormat::RGBA, backend::PixelDataType::HALF,
                    [](void*, std::size_t, void* user) { static_cast<Impl::Pending*>(user)->done = true; },
                    &p));
            r.renderer->endFrame();
            r.unflushedHandles = 0;
            // The driver thread draws from here on; the caller may do other work until the fence passes.
            p.fence = r.engine->createFence();
            return true;
        }
        r.engine->flushAndWait();
    }
    // Nothing was asked of the driver: the buffer is free.
    delete[] p.pixels;
    p = Impl::Pending();
    error = QStringLiteral("no frame could be started");
    return false;
}

bool zalViewerRenderer::Impl::finishPending(bool wait)
{
    Pending& p = pending;
    if (!p.active) return true;
    if (p.fence) {
        const auto status = p.fence->wait(Fence::Mode::FLUSH, wait ? Fence::FENCE_WAIT_FOR_EVER : 0);
        if (status == backend::FenceStatus::TIMEOUT_EXPIRED && !wait) return false;
        engine->destroy(p.fence);
        p.fence = nullptr;
    }
    // The read-back completes on a later beginFrame, and beginFrame may skip a frame.
    for (int attempt = 0; attempt < 1000 && !p.done; ++attempt) {
        if (renderer->beginFrame(swapChain)) renderer->endFrame();
        if (!p.done) engine->flushAndWait();
    }
    return true;
}

bool zalViewerRenderer::prepare(const zalViewerScene& scene, int budgetMs)
{
    return prepare(scene, budgetMs, {});
}

bool zalViewerRenderer::prepare(const zalViewerScene& scene, int budgetMs,
                                const std::function<bool()>& waiting)
{
    if (!d || !d->engine) return true;
    d->waiting = waiting;
    const bool done = d->update(scene, std::max(budgetMs, 0));
    d->waiting = nullptr;
    return done;
}

bool zalViewerRenderer::isBuilding() const
{
    return d && d->building.active;
}

bool zalViewerRenderer::frameReady()
{
    return !d || d->finishPending(false);
}

QImage zalViewerRenderer::takeFrame(QString& error)
{
    if (!d || !d->pending.active) {
        error = QStringLiteral("no frame was started");
        return QImage();
    }
    Impl& r = *d;
    r.finishPending(true);
    Impl::Pending& p = r.pending;
    if (!p.done) {
        // The driver may still write into the buffer: keep it.
        p = Impl::Pending();
        error = QStringLiteral("the frame was not read back");
        return QImage();
    }
    const int w = p.drawn.width(), h = p.drawn.height();
    const std::size_t pixelCount = std::size_t(w) * std::size_t(h);
    std::vector<float> hdr(pixelCount * 4);
    const auto* halves = reinterpret_cast<const filament::math::half*>(p.pixels);
    for (int y = 0; y < h; ++y) {
        const filament::math::half* from = halves + std::size_t(y) * std::size_t(w) * 4;
        float* to = hdr.data() + std::size_t(y) * std::size_t(w) * 4;
        for (int i = 0; i < w * 4; ++i)
            to[i] = float(from[i]);
    }
    delete[] p.pixels;
    QImage finished = zalViewerFinishFrame(hdr, w, h, p.factor, p.look);
    r.stats.frameMs = double(p.clock.nsecsElapsed()) / 1e6;
    p = Impl::Pending();
    return finished;
}

std::uint64_t zalViewerRenderer::followedChanges() const
{
    return d ? d->changeCursor : 0;
}

void zalViewerRenderer::takeChanges(const zalViewerScene& scene)
{
    if (d) d->takeIn(scene);
}
