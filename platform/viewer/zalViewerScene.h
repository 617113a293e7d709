#pragma once

#include <QHash>
#include <QJsonObject>
#include <QMatrix4x4>
#include <QString>
#include <QStringList>
#include <QVector3D>

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

class XoRemoteRenderMessage;
struct XoMessageField;

namespace zalViewerText {
// A string field of a received message as text (the channel carries UTF-8).
QString str(const XoMessageField& field);

// The same, sharing one QString among recent fields of equal text: a drawing repeats its owners', components'
// and materials' names in every instance and mesh, and each repeat would otherwise cost an allocation and a
// copy of the text for as long as the scene holds it.
class Recent
{
public:
    QString str(const XoMessageField& field);

private:
    std::array<QString, 64> m_slots;
};
} // namespace zalViewerText

// Everything the host has sent: components, instances, meshes, materials, lights, spawned
// batches, groups, mounted paks, placed assets and files. Objects are keyed by (name, parent):
// one that arrives again under the same pair replaces the old one.
//
// apply() takes one scene-content message; a message whose values do not fit together (array
// sizes, counts) is rejected: nothing changes and the entity is reported in `lost`.
class zalViewerScene
{
public:
    struct Key
    {
        QString name;
        QString parent;
        bool operator<(const Key& other) const
        {
            const int byName = name.compare(other.name);
            return byName != 0 ? byName < 0 : parent < other.parent;
        }
        bool operator==(const Key& other) const { return name == other.name && parent == other.parent; }
        friend uint qHash(const Key& key, uint seed = 0) noexcept
        {
            return ::qHash(key.parent, ::qHash(key.name, seed));
        }
    };

    // A float or int array as it came off the wire: the receive buffer is kept, not copied (and not the
    // decoded message around it).
    struct Array
    {
        std::shared_ptr<const char> owner;
        const char* data = nullptr;
        std::size_t count = 0; // elements of 4 bytes
        float floatAt(std::size_t i) const;
        std::int32_t intAt(std::size_t i) const;
    };

    struct Component
    {
        QString label;
        bool external = false;
        QString source;
    };
    struct Instance
    {
        QString component;
        QString asset;
        QMatrix4x4 transform;
        QString material;
        std::set<QString> connections; // further owners from assureEntityConnected
        bool group = false;            // came as addGroup (asset holds its label)
    };
    struct Mesh
    {
        QString component;
        Array positions, normals, uv0, uv1, flags, faceSizes;
        int vertexCount = 0;
        QString material;
        QString secondMaterial;
        std::uint64_t revision = 0; // changes with every replacement (GPU buffers follow it)
        // Bounds of the finite positions, worked out on first use: streaming meshes in must not
        // wait for a pass over every vertex. False when no position is finite.
        bool bounds(QVector3D& low, QVector3D& high) const;

    private:
        mutable int m_boundsState = 0; // 0 unknown, 1 known, 2 none
        mutable QVector3D m_low, m_high;
    };
    struct Material
    {
        QString baseMaterial;
        QString texture;
        quint32 colour = 0;
        float opacity = 1.0f;
        QString secondTexture;
        QString parameters;
    };
    struct Light
    {
        float intensity = 0;
        quint32 colour = 0;
        int type = 0;
        float hotspotAngle = 0, falloffAngle = 0, size1 = 0, size2 = 0;
        bool castShadows = false;
        float attenuationRadius = 0;
        QString iesFile;
        QMatrix4x4 transform;
        bool on = true;
    };
    struct Spawn
    {
        QString component;
        QString asset;
        std::vector<QMatrix4x4> transforms;
        QString material;
    };
    struct PlacedAsset
    {
        QString parent;
        QString asset;
        QMatrix4x4 transform;
        bool visible = true;
    };
    struct File
    {
        QString parent;
        QString path;
        QMatrix4x4 transform;
        bool visible = true;
        bool loaded = false;
    };

    // True when the message type is scene content (held back while a transaction is open).
    static bool isContent(const XoRemoteRenderMessage& message);
    // Applies one content message. Entities it rejects or cannot find are appended to `lost`.
    void apply(const std::shared_ptr<const XoRemoteRenderMessage>& message, std::vector<Key>& lost,
               QStringList& errors);
    // Meshes and instances worked out ahead of applying them: names, checks, bounds, and the map node
    // they will live in. Preparing them as they arrive leaves only linking the nodes in to the end of a
    // long transaction.
    struct PreparedMesh
    {
        Key key;
        std::map<Key, Mesh>::node_type node; // empty when rejected
        QString fault;                       // why the mesh is rejected, empty when it fits together
    };
    PreparedMesh prepareMesh(const std::shared_ptr<const XoRemoteRenderMessage>& message);
    void applyMesh(PreparedMesh&& prepared, std::vector<Key>& lost, QStringList& errors);
    struct PreparedInstance
    {
        Key key;
        std::map<Key, Instance>::node_type node; // empty when rejected
        QString fault;
        const char* operation = ""; // addInstance or addGroup, for the fault
    };
    // For addInstance and addGroup.
    PreparedInstance prepareInstance(const XoRemoteRenderMessage& message);
    void applyInstance(PreparedInstance&& prepared, std::vector<Key>& lost, QStringList& errors);
    // For assureEntityConnected: the pair it names, and applying it.
    Key connectKey(const XoRemoteRenderMessage& message);
    void connect(const Key& key, std::vector<Key>& lost, QStringList& errors);
    // Removes an entity under every owner, with its meshes and children (used by zal.DropEntity).
    bool drop(const QString& name);
    void clear();
    bool isEmpty() const;

    const std::map<QString, Component>& components() const { return m_components; }
    const std::map<Key, Instance>& instances() const { return m_instances; }
    const std::map<Key, Mesh>& meshes() const { return m_meshes; }
    const std::map<QString, Material>& materials() const { return m_materials; }
    const std::map<Key, Light>& lights() const { return m_lights; }
    const std::map<Key, Spawn>& spawns() const { return m_spawns; }
    const std::map<QString, bool>& paks() const { return m_paks; }
    const std::map<QString, PlacedAsset>& placedAssets() const { return m_assets; }
    const std::map<QString, File>& files() const { return m_files; }

    void setPakMounted(const QString& path, bool mounted) { m_paks[path] = mounted; }
    void setFileLoaded(const QString& name, bool loaded);
    // Names of placed assets and instances whose asset starts with `prefix`.
    QStringList assetsWithPrefix(const QString& prefix) const;

    // Meshes by owner, for drawing; kept up to date with every change.
    const std::vector<const Mesh*>& meshesOf(const QString& owner) const;
    const std::vector<std::pair<const Key*, const Instance*>>& instancesUnder(const QString& owner) const;
    const std::vector<std::pair<const Key*, const Spawn*>>& spawnsUnder(const QString& owner) const;
    std::uint64_t revision() const { return m_revision; }

    // What changed, so that a drawing of the scene can follow it at the cost of the change. Meshes: the
    // meshes of `owner`; Child: the instances and spawned batches named `name` listed under `owner`.
    struct Change
    {
        enum Kind : std::uint8_t
        {
            Meshes,
            Child,
            Material,
            Lights,
            Assets,
            Everything
        };
        Kind kind = Everything;
        QString owner, name;
    };
    // Hands each change after `cursor` to `visit` and moves the cursor past them. False (and nothing
    // visited) when some of them are no longer kept: the consumer must then start over from the scene.
    bool changesSince(std::uint64_t& cursor, const std::function<void(const Change&)>& visit) const;
    std::uint64_t changeCount() const { return m_changeStart + m_changes.size(); }
    // Changes up to `cursor` are no longer needed.
    void forgetChanges(std::uint64_t cursor);
    std::size_t changesKept() const { return m_changes.size(); }

    QJsonObject toJson() const;

private:
    // One content message being applied, and where its faults go.
    struct Applying
    {
        const std::shared_ptr<const XoRemoteRenderMessage>& message;
        const XoRemoteRenderMessage& m;
        std::vector<Key>& lost;
        QStringList& errors;
        void reject(const Key& key, const QString& why) const;
    };
    using Applier = void (zalViewerScene::*)(const Applying&);
    // Every refused message: the fault is logged and the entity reported lost, so the host sends it again.
    static void refuse(const char* operation, const Key& key, const QString& why, std::vector<Key>& lost,
                       QStringList& errors);
    // One per content message type.
    void applyClear(const Applying& a);
    void applyComponent(const Applying& a);
    void applyMaterial(const Applying& a);
    void applyInstanceMessage(const Applying& a);
    void applyMeshMessage(const Applying& a);
    void applyLight(const Applying& a);
    void applySpawn(const Applying& a);
    void applyRemove(const Applying& a);
    void applyRemoveMeshes(const Applying& a);
    void applyConnect(const Applying& a);
    void applyAssetTransform(const Applying& a);
    void applyPlaceAsset(const Applying& a);
    void applyAssetVisible(const Applying& a);
    void applyFile(const Applying& a);
    void applyFileTransform(const Applying& a);
    void applyFileVisible(const Applying& a);

    void changed() { ++m_revision; }
    void note(Change::Kind kind, const QString& owner = QString(), const QString& name = QString());
    void noteInstance(const Key& key, const Instance& instance);
    void removeEntity(const QString& name, const QString& parent, bool children, bool meshes, int depth);
    // The drawing index follows every insertion and removal, so a change costs the entries it touches.
    void indexed(std::map<Key, Mesh>::iterator it);
    void unindexed(std::map<Key, Mesh>::iterator it);
    void indexed(std::map<Key, Instance>::iterator it);
    void unindexed(std::map<Key, Instance>::iterator it);
    void indexed(std::map<Key, Spawn>::iterator it);
    void unindexed(std::map<Key, Spawn>::iterator it);
    void unindexed(std::map<Key, Light>::iterator it)
    {
        release(it->first, HeldLight);
        note(Change::Lights);
    }
    // Which keyed containers hold each (name, parent): a confirmation of something held, the common case
    // (the host confirms everything it sent), is then one hash lookup and not a search of four trees.
    enum Holder : std::uint8_t
    {
        HeldInstance = 1,
        HeldMesh = 2,
        HeldLight = 4,
        HeldSpawn = 8
    };
    void hold(const Key& key, Holder holder) { m_held[key] |= holder; }
    void release(const Key& key, Holder holder);

    // (parent, name) of every key of one container. Keys sort by name first, so everything under a
    // name is one range of its map; this finds everything under a parent the same way, so a removal
    // costs the entries it removes and not the size of the scene.
    // Parents compared once per step (std::pair's order compares them twice); the order is the same.
    struct ParentOrder
    {
        bool operator()(const std::pair<QString, QString>& a, const std::pair<QString, QString>& b) const
        {
            const int byParent = a.first.compare(b.first);
            return byParent != 0 ? byParent < 0 : a.second < b.second;
        }
    };
    using ParentIndex = std::set<std::pair<QString, QString>, ParentOrder>;

    std::map<QString, Component> m_components;
    std::map<Key, Instance> m_instances;
    std::map<Key, Mesh> m_meshes;
    std::map<QString, Material> m_materials;
    std::map<Key, Light> m_lights;
    std::map<Key, Spawn> m_spawns;
    std::map<QString, bool> m_paks;
    std::map<QString, PlacedAsset> m_assets;
    std::map<QString, File> m_files;
    ParentIndex m_instancesByParent, m_meshesByParent, m_lightsByParent, m_spawnsByParent;
    QHash<Key, std::uint8_t>
        m_held; // follows the four maps keyed by Key; keeps each hash, unlike unordered_map
    std::uint64_t m_revision = 0;
    std::uint64_t m_meshRevision = 0;

    std::map<QString, std::vector<const Mesh*>> m_meshIndex;
    std::map<QString, std::vector<std::pair<const Key*, const Instance*>>> m_instanceIndex;
    std::map<QString, std::vector<std::pair<const Key*, const Spawn*>>> m_spawnIndex;
    zalViewerText::Recent m_recent; // names met lately, for preparing what arrives
    std::deque<Change> m_changes;
    std::uint64_t m_changeStart = 0; // number of the first change kept
};
