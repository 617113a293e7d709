#include "zalViewerScene.h"

#include "XoRemoteRenderMessage.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

QString zalViewerText::str(const XoMessageField& field)
{
    return QString::fromUtf8(field.data, int(field.size));
}

QString zalViewerText::Recent::str(const XoMessageField& field)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(field.data);
    const std::size_t n = field.size;
    if (n == 0 || n > 1024) return zalViewerText::str(field);
    std::uint32_t hash = 2166136261u;
    unsigned char any = 0;
    for (std::size_t i = 0; i < n; ++i) {
        hash = (hash ^ bytes[i]) * 16777619u;
        any |= bytes[i];
    }
    // Only plain ASCII: its bytes are its characters, so a slot is checked without decoding.
    if (any & 0x80) return zalViewerText::str(field);
    QString& slot = m_slots[hash % m_slots.size()];
    if (std::size_t(slot.size()) == n) {
        const QChar* c = slot.constData();
        std::size_t i = 0;
        while (i < n && c[i].unicode() == bytes[i])
            ++i;
        if (i == n) return slot;
    }
    slot = QString::fromLatin1(field.data, int(n));
    return slot;
}

namespace {

using Type = XoMessageType;
using zalViewerText::str;

const QString kNotATransform = QStringLiteral("the transform is not 16 finite floats");

zalViewerScene::Array array(const std::shared_ptr<const XoRemoteRenderMessage>& message,
                            const XoMessageField& f)
{
    zalViewerScene::Array a;
    a.owner = message->storage();
    a.data = f.data;
    a.count = f.elementCount();
    return a;
}

// Row order, translation in 3, 7, 11: exactly QMatrix4x4's constructor from values.
bool matrix(const XoMessageField& f, QMatrix4x4& out)
{
    if (f.elementCount() != 16) return false;
    float v[16];
    std::memcpy(v, f.data, sizeof v);
    for (float x : v) {
        if (!std::isfinite(x)) return false;
    }
    out = QMatrix4x4(v);
    return true;
}

QJsonArray matrixJson(const QMatrix4x4& m)
{
    QJsonArray a;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            a.append(double(m(r, c)));
    return a;
}

QJsonArray vec(const QVector3D& v)
{
    return QJsonArray{double(v.x()), double(v.y()), double(v.z())};
}

} // namespace

float zalViewerScene::Array::floatAt(std::size_t i) const
{
    float v;
    std::memcpy(&v, data + 4 * i, 4);
    return v;
}

std::int32_t zalViewerScene::Array::intAt(std::size_t i) const
{
    std::int32_t v;
    std::memcpy(&v, data + 4 * i, 4);
    return v;
}

bool zalViewerScene::Mesh::bounds(QVector3D& low, QVector3D& high) const
{
    if (m_boundsState == 0) {
        const float inf = std::numeric_limits<float>::infinity();
        float lo[3] = {inf, inf, inf}, hi[3] = {-inf, -inf, -inf};
        const std::size_t n = positions.count / 3;
        // Vertices with a coordinate that is not finite do not count. They are rare, so one pass takes a
        // plain minimum and maximum of four vertices at a time into twelve lanes (x y z x y z ...) and
        // notes any value whose exponent bits are all set; only then are the vertices gone through again
        // one by one. One pass: the arrays are read from memory once. (The compiler leaves the twelve
        // lanes scalar on its own, three times slower.)
        float lo12[12], hi12[12];
        std::uint32_t nonFinite12[12] = {};
        std::fill(lo12, lo12 + 12, inf);
        std::fill(hi12, hi12 + 12, -inf);
        std::size_t whole = 0;
#if defined(__SSE2__)
        {
            __m128 lo4[3], hi4[3];
            __m128i bad = _mm_setzero_si128();
            const __m128i exponent = _mm_set1_epi32(0x7f800000);
            for (int k = 0; k < 3; ++k) {
                lo4[k] = _mm_set1_ps(inf);
                hi4[k] = _mm_set1_ps(-inf);
            }
            for (; whole + 4 <= n; whole += 4) {
                const float* at = reinterpret_cast<const float*>(positions.data + 12 * whole);
                for (int k = 0; k < 3; ++k) {
                    const __m128 v = _mm_loadu_ps(at + 4 * k);
                    lo4[k] = _mm_min_ps(v, lo4[k]);
                    hi4[k] = _mm_max_ps(v, hi4[k]);
                    const __m128i e = _mm_and_si128(_mm_castps_si128(v), exponent);
                    bad = _mm_or_si128(bad, _mm_cmpeq_epi32(e, exponent));
                }
            }
            for (int k = 0; k < 3; ++k) {
                _mm_storeu_ps(lo12 + 4 * k, lo4[k]);
                _mm_storeu_ps(hi12 + 4 * k, hi4[k]);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(nonFinite12), bad);
        }
#else
        for (; whole + 4 <= n; whole += 4) {
            float v[12];
            std::uint32_t bits[12];
            std::memcpy(v, positions.data + 12 * whole, sizeof v);
            std::memcpy(bits, positions.data + 12 * whole, sizeof bits);
            for (int k = 0; k < 12; ++k) {
                lo12[k] = v[k] < lo12[k] ? v[k] : lo12[k];
                hi12[k] = v[k] > hi12[k] ? v[k] : hi12[k];
                nonFinite12[k] |= std::uint32_t((bits[k] & 0x7f800000u) == 0x7f800000u);
            }
        }
#endif
        std::uint32_t nonFinite = 0;
        for (int k = 0; k < 12; ++k)
            nonFinite |= nonFinite12[k];
        std::size_t i = 0;
        if (!nonFinite) {
            for (int k = 0; k < 12; ++k) {
                lo[k % 3] = std::min(lo[k % 3], lo12[k]);
                hi[k % 3] = std::max(hi[k % 3], hi12[k]);
            }
            i = whole;
        }
        for (; i < n; ++i) {
            float p[3];
            std::memcpy(p, positions.data + 12 * i, sizeof p);
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
            for (int c = 0; c < 3; ++c) {
                lo[c] = p[c] < lo[c] ? p[c] : lo[c];
                hi[c] = p[c] > hi[c] ? p[c] : hi[c];
            }
        }
        m_boundsState = lo[0] <= hi[0] ? 1 : 2;
        m_low = QVector3D(lo[0], lo[1], lo[2]);
        m_high = QVector3D(hi[0], hi[1], hi[2]);
    }
    low = m_low;
    high = m_high;
    return m_boundsState == 1;
}

zalViewerScene::PreparedMesh
zalViewerScene::prepareMesh(const std::shared_ptr<const XoRemoteRenderMessage>& message)
{
    const XoRemoteRenderMessage& m = *message;
    PreparedMesh prepared;
    prepared.key = Key{str(m.field("name")), m_recent.str(m.field("parent"))};
    Mesh mesh;
    const int vertices = m.field("vertexCount").toInt();
    const int faces = m.field("faceSizeCount").toInt();
    mesh.component = m_recent.str(m.field("component"));
    mesh.positions = array(message, m.field("positions"));
    mesh.normals = array(message, m.field("normals"));
    mesh.uv0 = array(message, m.field("uv0"));
    mesh.uv1 = array(message, m.field("uv1"));
    mesh.flags = array(message, m.field("flags"));
    mesh.faceSizes = array(message, m.field("faceSizes"));
    mesh.vertexCount = vertices;
    mesh.material = m_recent.str(m.field("material"));
    mesh.secondMaterial = m_recent.str(m.field("secondMaterial"));
    const std::size_t n = vertices > 0 ? std::size_t(vertices) : 0;
    QString fault;
    if (vertices < 0 || faces < 0)
        fault = QStringLiteral("negative counts");
    else if (mesh.positions.count != 3 * n)
        fault = QStringLiteral("%1 position floats for %2 vertices").arg(mesh.positions.count).arg(n);
    else if (mesh.normals.count != 0 && mesh.normals.count != 3 * n)
        fault = QStringLiteral("%1 normal floats for %2 vertices").arg(mesh.normals.count).arg(n);
    else if (mesh.uv0.count != 0 && mesh.uv0.count != 2 * n)
        fault = QStringLiteral("%1 texture floats for %2 vertices").arg(mesh.uv0.count).arg(n);
    else if (mesh.uv1.count != 0 && mesh.uv1.count != 2 * n)
        fault = QStringLiteral("%1 second texture floats for %2 vertices").arg(mesh.uv1.count).arg(n);
    else if (mesh.flags.count != 0 && mesh.flags.count != n)
        fault = QStringLiteral("%1 flags for %2 vertices").arg(mesh.flags.count).arg(n);
    else if (mesh.faceSizes.count != std::size_t(faces))
        fault = QStringLiteral("%1 face sizes where %2 were announced").arg(mesh.faceSizes.count).arg(faces);
    if (fault.isEmpty()) {
        std::int64_t sum = 0;
        for (std::size_t i = 0; i < mesh.faceSizes.count; ++i) {
            const std::int32_t size = mesh.faceSizes.intAt(i);
            if (size == 0 || size == std::numeric_limits<std::int32_t>::min() || std::abs(size) < 3) {
                fault = QStringLiteral("face %1 has size %2").arg(i).arg(size);
                break;
            }
            sum += std::abs(size);
        }
        if (fault.isEmpty() && sum != std::int64_t(n))
            fault = QStringLiteral("face sizes add up to %1, not %2 vertices").arg(sum).arg(n);
    }
    prepared.fault = fault;
    if (fault.isEmpty()) {
        QVector3D low, high;
        mesh.bounds(low, high); // worked out now, while the arrays are fresh in the cache
        std::map<Key, Mesh> one;
        one.emplace(prepared.key, std::move(mesh));
        prepared.node = one.extract(one.begin());
    }
    return prepared;
}

namespace {

// Erases the entries named `name`, under `parent` only when one is given; `forget` sees each first.
template <class Value, class ParentIndex, class Forget>
void eraseNamed(std::map<zalViewerScene::Key, Value>& map, ParentIndex& byParent, const QString& name,
                const QString& parent, Forget&& forget)
{
    if (!parent.isEmpty()) {
        auto it = map.find(zalViewerScene::Key{name, parent});
        if (it == map.end()) return;
        forget(it);
        byParent.erase({parent, name});
        map.erase(it);
        return;
    }
    auto it = map.lower_bound(zalViewerScene::Key{name, QString()});
    while (it != map.end() && it->first.name == name) {
        forget(it);
        byParent.erase({it->first.parent, name});
        it = map.erase(it);
    }
}

// Takes `value` out of the list of `owner`, which is dropped when empty. Order within a list does not
// matter for drawing, so the last entry fills the gap.
template <class Index, class Value> void unlist(Index& index, const QString& owner, const Value& value)
{
    auto list = index.find(owner);
    if (list == index.end()) return;
    auto& v = list->second;
    auto it = std::find(v.begin(), v.end(), value);
    if (it == v.end()) return;
    *it = v.back();
    v.pop_back();
    if (v.empty()) index.erase(list);
}

template <class ParentIndex>
std::vector<zalViewerScene::Key> keysUnder(const ParentIndex& byParent, const QString& parent)
{
    std::vector<zalViewerScene::Key> keys;
    for (auto it = byParent.lower_bound({parent, QString()}); it != byParent.end() && it->first == parent;
         ++it)
        keys.push_back(zalViewerScene::Key{it->second, it->first});
    return keys;
}

template <class Value, class ParentIndex, class Forget>
void eraseUnder(std::map<zalViewerScene::Key, Value>& map, ParentIndex& byParent, const QString& parent,
                Forget&& forget)
{
    auto it = byParent.lower_bound({parent, QString()});
    while (it != byParent.end() && it->first == parent) {
        auto entry = map.find(zalViewerScene::Key{it->second, it->first});
        if (entry != map.end()) {
            forget(entry);
            map.erase(entry);
        }
        it = byParent.erase(it);
    }
}

} // namespace

void zalViewerScene::applyMesh(PreparedMesh&& prepared, std::vector<Key>& lost, QStringList& errors)
{
    if (!prepared.fault.isEmpty()) {
        refuse("addMesh", prepared.key, prepared.fault, lost, errors);
        return;
    }
    prepared.node.mapped().revision = ++m_meshRevision;
    auto placed = m_meshes.insert(std::move(prepared.node));
    if (!placed.inserted) {
        placed.position->second = std::move(placed.node.mapped());
        note(Change::Meshes, placed.position->first.parent);
    } else {
        m_meshesByParent.emplace(placed.position->first.parent, placed.position->first.name);
        hold(placed.position->first, HeldMesh);
        indexed(placed.position);
    }
    changed();
}

zalViewerScene::PreparedInstance zalViewerScene::prepareInstance(const XoRemoteRenderMessage& m)
{
    PreparedInstance prepared;
    // Its name comes back as the parent of its meshes, which follow it.
    prepared.key = Key{m_recent.str(m.field("name")), m_recent.str(m.field("parent"))};
    prepared.operation = m.name();
    Instance inst;
    if (!matrix(m.field("transform"), inst.transform)) {
        prepared.fault = kNotATransform;
        return prepared;
    }
    if (m.type() == Type::AddGroup) {
        inst.group = true;
        inst.asset = str(m.field("label"));
    } else {
        inst.component = m_recent.str(m.field("component"));
        inst.asset = m_recent.str(m.field("asset"));
        inst.material = m_recent.str(m.field("material"));
    }
    std::map<Key, Instance> one;
    one.emplace(prepared.key, std::move(inst));
    prepared.node = one.extract(one.begin());
    return prepared;
}

void zalViewerScene::applyInstance(PreparedInstance&& prepared, std::vector<Key>& lost, QStringList& errors)
{
    if (!prepared.fault.isEmpty()) {
        refuse(prepared.operation, prepared.key, prepared.fault, lost, errors);
        return;
    }
    auto placed = m_instances.insert(std::move(prepared.node));
    if (placed.inserted) {
        m_instancesByParent.emplace(placed.position->first.parent, placed.position->first.name);
        hold(placed.position->first, HeldInstance);
        indexed(placed.position);
    } else {
        // Replaced under the same pair: the owners it was connected to stay.
        Instance& fresh = placed.node.mapped();
        fresh.connections = std::move(placed.position->second.connections);
        placed.position->second = std::move(fresh);
        noteInstance(placed.position->first, placed.position->second);
    }
    changed();
}

bool zalViewerScene::isContent(const XoRemoteRenderMessage& message)
{
    return XoRemoteRenderMessage::isSceneContent(message.type());
}

void zalViewerScene::refuse(const char* operation, const Key& key, const QString& why, std::vector<Key>& lost,
                            QStringList& errors)
{
    errors << QStringLiteral("%1 %2: %3").arg(QString::fromLatin1(operation), key.name, why);
    lost.push_back(key);
}

void zalViewerScene::Applying::reject(const Key& key, const QString& why) const
{
    refuse(m.name(), key, why, lost, errors);
}

void zalViewerScene::apply(const std::shared_ptr<const XoRemoteRenderMessage>& message,
                           std::vector<Key>& lost, QStringList& errors)
{
    static const std::map<Type, Applier> appliers = {
        {Type::ClearSession, &zalViewerScene::applyClear},
        {Type::AddComponentDef, &zalViewerScene::applyComponent},
        {Type::AddMaterial, &zalViewerScene::applyMaterial},
        {Type::AddInstance, &zalViewerScene::applyInstanceMessage},
        {Type::AddGroup, &zalViewerScene::applyInstanceMessage},
        {Type::AddMesh, &zalViewerScene::applyMeshMessage},
        {Type::AddLight, &zalViewerScene::applyLight},
        {Type::SpawnInstances, &zalViewerScene::applySpawn},
        {Type::RemoveEntity, &zalViewerScene::applyRemove},
        {Type::RemoveEntityMeshes, &zalViewerScene::applyRemoveMeshes},
        {Type::AssureEntityConnected, &zalViewerScene::applyConnect},
        {Type::SetAssetTransform, &zalViewerScene::applyAssetTransform},
        {Type::PlaceAsset, &zalViewerScene::applyPlaceAsset},
        {Type::SetAssetVisible, &zalViewerScene::applyAssetVisible},
        {Type::AddFile, &zalViewerScene::applyFile},
        {Type::SetFileTransform, &zalViewerScene::applyFileTransform},
        {Type::SetFileVisible, &zalViewerScene::applyFileVisible},
    };
    const auto applier = appliers.find(message->type());
    if (applier == appliers.end()) {
        errors << QStringLiteral("%1 is not scene content").arg(QString::fromLatin1(message->name()));
        return;
    }
    (this->*applier->second)(Applying{message, *message, lost, errors});
}

void zalViewerScene::applyClear(const Applying&)
{
    clear();
}

void zalViewerScene::applyComponent(const Applying& a)
{
    Component c;
    c.label = str(a.m.field("label"));
    c.external = a.m.field("external").toBool();
    c.source = str(a.m.field("source"));
    m_components[str(a.m.field("name"))] = c;
    changed();
}

void zalViewerScene::applyMaterial(const Applying& a)
{
    const XoRemoteRenderMessage& m = a.m;
    Material mat;
    mat.baseMaterial = str(m.field("baseMaterial"));
    mat.texture = str(m.field("texture"));
    mat.colour = m.field("colour").toUInt();
    mat.opacity = m.field("opacity").toFloat();
    mat.secondTexture = str(m.field("secondTexture"));
    mat.parameters = str(m.field("parameters"));
    const QString name = str(m.field("name"));
    m_materials[name] = mat;
    note(Change::Material, QString(), name);
    changed();
}

void zalViewerScene::applyInstanceMessage(const Applying& a)
{
    applyInstance(prepareInstance(a.m), a.lost, a.errors);
}

void zalViewerScene::applyMeshMessage(const Applying& a)
{
    applyMesh(prepareMesh(a.message), a.lost, a.errors);
}

void zalViewerScene::applyLight(const Applying& a)
{
    const XoRemoteRenderMessage& m = a.m;
    const Key key{str(m.field("name")), str(m.field("parent"))};
    Light light;
    if (!matrix(m.field("transform"), light.transform)) {
        a.reject(key, kNotATransform);
        return;
    }
    light.intensity = m.field("intensity").toFloat();
    light.colour = m.field("colour").toUInt();
    light.type = m.field("type").toInt();
    light.hotspotAngle = m.field("hotspotAngle").toFloat();
    light.falloffAngle = m.field("falloffAngle").toFloat();
    light.size1 = m.field("size1").toFloat();
    light.size2 = m.field("size2").toFloat();
    light.castShadows = m.field("castShadows").toBool();
    light.attenuationRadius = m.field("attenuationRadius").toFloat();
    light.iesFile = str(m.field("iesFile"));
    light.on = m.field("on").toBool();
    m_lights[key] = light;
    m_lightsByParent.emplace(key.parent, key.name);
    hold(key, HeldLight);
    note(Change::Lights);
    changed();
}

void zalViewerScene::applySpawn(const Applying& a)
{
    const XoRemoteRenderMessage& m = a.m;
    const Key key{str(m.field("name")), str(m.field("parent"))};
    const int count = m.field("count").toInt();
    const XoMessageField& t = m.field("transforms");
    if (count < 0 || t.elementCount() != std::size_t(count) * 16) {
        a.reject(key,
                 QStringLiteral("%1 transform floats for %2 instances").arg(t.elementCount()).arg(count));
        return;
    }
    Spawn spawn;
    spawn.component = str(m.field("component"));
    spawn.asset = str(m.field("asset"));
    spawn.material = str(m.field("material"));
    spawn.transforms.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        float v[16];
        std::memcpy(v, t.data + std::size_t(i) * 64, sizeof v);
        spawn.transforms.emplace_back(v);
    }
    auto placed = m_spawns.insert_or_assign(key, std::move(spawn));
    if (placed.second) {
        m_spawnsByParent.emplace(key.parent, key.name);
        hold(key, HeldSpawn);
        indexed(placed.first);
    } else {
        note(Change::Child, key.parent, key.name);
    }
    changed();
}

void zalViewerScene::applyRemove(const Applying& a)
{
    removeEntity(str(a.m.field("name")), str(a.m.field("parent")), a.m.field("removeChildren").toBool(),
                 a.m.field("removeMeshes").toBool(), 0);
    changed();
}

void zalViewerScene::applyRemoveMeshes(const Applying& a)
{
    eraseUnder(m_meshes, m_meshesByParent, str(a.m.field("name")), [this](auto it) { unindexed(it); });
    changed();
}

zalViewerScene::Key zalViewerScene::connectKey(const XoRemoteRenderMessage& message)
{
    return Key{m_recent.str(message.field("name")), m_recent.str(message.field("parent"))};
}

void zalViewerScene::applyConnect(const Applying& a)
{
    connect(connectKey(a.m), a.lost, a.errors);
}

void zalViewerScene::connect(const Key& key, std::vector<Key>& lost, QStringList& errors)
{
    if (m_held.contains(key)) return;
    Instance* existing = nullptr;
    auto named = m_instances.lower_bound(Key{key.name, QString()});
    if (named != m_instances.end() && named->first.name == key.name) existing = &named->second;
    const bool other = m_components.count(key.name) || m_materials.count(key.name);
    if (existing) {
        if (existing->connections.insert(key.parent).second && key.parent != named->first.parent) {
            m_instanceIndex[key.parent].push_back({&named->first, existing});
            note(Change::Child, key.parent, key.name);
        }
        changed();
    } else if (!other) {
        // Nothing to connect: the host believes we hold it, so it has to send it again.
        refuse("assureEntityConnected", key, QStringLiteral("no such entity"), lost, errors);
    }
}

void zalViewerScene::applyAssetTransform(const Applying& a)
{
    const QString name = str(a.m.field("name"));
    QMatrix4x4 t;
    if (!matrix(a.m.field("transform"), t)) {
        a.reject(Key{name, QString()}, kNotATransform);
        return;
    }
    bool found = false;
    for (auto it = m_instances.lower_bound(Key{name, QString()});
         it != m_instances.end() && it->first.name == name; ++it) {
        it->second.transform = t;
        noteInstance(it->first, it->second);
        found = true;
    }
    auto asset = m_assets.find(name);
    if (asset != m_assets.end()) {
        asset->second.transform = t;
        note(Change::Assets);
        found = true;
    }
    if (!found) a.errors << QStringLiteral("setAssetTransform: no entity %1").arg(name);
    changed();
}

void zalViewerScene::applyPlaceAsset(const Applying& a)
{
    PlacedAsset placed;
    const QString name = str(a.m.field("name"));
    placed.parent = str(a.m.field("parent"));
    placed.asset = str(a.m.field("asset"));
    if (!matrix(a.m.field("transform"), placed.transform)) {
        a.reject(Key{name, placed.parent}, kNotATransform);
        return;
    }
    m_assets[name] = placed;
    note(Change::Assets);
    changed();
}

void zalViewerScene::applyAssetVisible(const Applying& a)
{
    auto it = m_assets.find(str(a.m.field("name")));
    if (it != m_assets.end()) it->second.visible = a.m.field("visible").toBool();
    note(Change::Assets);
    changed();
}

void zalViewerScene::applyFile(const Applying& a)
{
    File f;
    const QString name = str(a.m.field("name"));
    f.parent = str(a.m.field("parent"));
    f.path = str(a.m.field("path"));
    if (!matrix(a.m.field("transform"), f.transform)) {
        a.reject(Key{name, f.parent}, kNotATransform);
        return;
    }
    m_files[name] = f;
    changed();
}

void zalViewerScene::applyFileTransform(const Applying& a)
{
    auto it = m_files.find(str(a.m.field("name")));
    QMatrix4x4 t;
    if (it != m_files.end() && matrix(a.m.field("transform"), t)) it->second.transform = t;
    changed();
}

void zalViewerScene::applyFileVisible(const Applying& a)
{
    auto it = m_files.find(str(a.m.field("name")));
    if (it != m_files.end()) it->second.visible = a.m.field("visible").toBool();
    changed();
}

void zalViewerScene::removeEntity(const QString& name, const QString& parent, bool children, bool meshes,
                                  int depth)
{
    // Owner chains are short; the bound only protects against cycles in what the host sent.
    if (depth > 64) return;
    auto forget = [this](auto it) { unindexed(it); };
    eraseNamed(m_instances, m_instancesByParent, name, parent, forget);
    for (auto it = m_instances.lower_bound(Key{name, QString()});
         it != m_instances.end() && it->first.name == name; ++it) {
        if (it->second.connections.erase(parent) && parent != it->first.parent) {
            unlist(m_instanceIndex, parent, std::pair<const Key*, const Instance*>(&it->first, &it->second));
            note(Change::Child, parent, name);
        }
    }
    eraseNamed(m_lights, m_lightsByParent, name, parent, forget);
    eraseNamed(m_spawns, m_spawnsByParent, name, parent, forget);
    eraseNamed(m_meshes, m_meshesByParent, name, parent, forget);
    if (parent.isEmpty()) {
        m_components.erase(name);
        if (m_materials.erase(name)) note(Change::Material, QString(), name);
        if (m_assets.erase(name)) note(Change::Assets);
        m_files.erase(name);
    }
    if (meshes || children) eraseUnder(m_meshes, m_meshesByParent, name, forget);
    if (children) {
        std::vector<Key> under = keysUnder(m_instancesByParent, name);
        for (const Key& k : keysUnder(m_lightsByParent, name))
            under.push_back(k);
        for (const Key& k : keysUnder(m_spawnsByParent, name))
            under.push_back(k);
        for (const Key& k : under)
            removeEntity(k.name, k.parent, true, true, depth + 1);
    }
}

bool zalViewerScene::drop(const QString& name)
{
    const std::uint64_t before = m_instances.size() + m_meshes.size() + m_lights.size() + m_spawns.size() +
                                 m_components.size() + m_materials.size() + m_assets.size() + m_files.size();
    removeEntity(name, QString(), true, true, 0);
    eraseNamed(m_meshes, m_meshesByParent, name, QString(), [this](auto it) { unindexed(it); });
    changed();
    const std::uint64_t after = m_instances.size() + m_meshes.size() + m_lights.size() + m_spawns.size() +
                                m_components.size() + m_materials.size() + m_assets.size() + m_files.size();
    return after != before;
}

void zalViewerScene::clear()
{
    m_components.clear();
    m_instances.clear();
    m_meshes.clear();
    m_materials.clear();
    m_lights.clear();
    m_spawns.clear();
    m_instancesByParent.clear();
    m_meshesByParent.clear();
    m_lightsByParent.clear();
    m_spawnsByParent.clear();
    m_held.clear();
    m_meshIndex.clear();
    m_instanceIndex.clear();
    m_spawnIndex.clear();
    m_assets.clear();
    m_files.clear();
    m_changeStart += m_changes.size();
    m_changes.clear();
    note(Change::Everything);
    changed();
}

bool zalViewerScene::isEmpty() const
{
    return m_meshes.empty() && m_spawns.empty() && m_assets.empty();
}

void zalViewerScene::setFileLoaded(const QString& name, bool loaded)
{
    auto it = m_files.find(name);
    if (it != m_files.end()) it->second.loaded = loaded;
}

QStringList zalViewerScene::assetsWithPrefix(const QString& prefix) const
{
    std::set<QString> names;
    for (const auto& entry : m_assets) {
        if (entry.second.asset.startsWith(prefix)) names.insert(entry.second.asset);
    }
    for (const auto& entry : m_instances) {
        if (entry.second.asset.startsWith(prefix)) names.insert(entry.second.asset);
    }
    return QStringList(names.begin(), names.end());
}

void zalViewerScene::note(Change::Kind kind, const QString& owner, const QString& name)
{
    // Kept for whoever draws the scene; one that falls this far behind starts over anyway.
    constexpr std::size_t kKept = 1 << 18;
    if (m_changes.size() >= kKept) {
        m_changeStart += m_changes.size();
        m_changes.clear();
    }
    Change c;
    c.kind = kind;
    c.owner = owner;
    c.name = name;
    m_changes.push_back(std::move(c));
}

void zalViewerScene::noteInstance(const Key& key, const Instance& instance)
{
    note(Change::Child, key.parent, key.name);
    for (const QString& owner : instance.connections)
        if (owner != key.parent) note(Change::Child, owner, key.name);
}

bool zalViewerScene::changesSince(std::uint64_t& cursor,
                                  const std::function<void(const Change&)>& visit) const
{
    const std::uint64_t end = changeCount();
    if (cursor < m_changeStart || cursor > end) {
        cursor = end;
        return false;
    }
    for (std::uint64_t i = cursor; i < end; ++i)
        visit(m_changes[std::size_t(i - m_changeStart)]);
    cursor = end;
    return true;
}

void zalViewerScene::forgetChanges(std::uint64_t cursor)
{
    while (m_changeStart < cursor && !m_changes.empty()) {
        m_changes.pop_front();
        ++m_changeStart;
    }
}

void zalViewerScene::indexed(std::map<Key, Mesh>::iterator it)
{
    m_meshIndex[it->first.parent].push_back(&it->second);
    note(Change::Meshes, it->first.parent);
}

void zalViewerScene::unindexed(std::map<Key, Mesh>::iterator it)
{
    release(it->first, HeldMesh);
    unlist(m_meshIndex, it->first.parent, static_cast<const Mesh*>(&it->second));
    note(Change::Meshes, it->first.parent);
}

void zalViewerScene::indexed(std::map<Key, Instance>::iterator it)
{
    noteInstance(it->first, it->second);
    m_instanceIndex[it->first.parent].push_back({&it->first, &it->second});
    for (const QString& owner : it->second.connections) {
        if (owner != it->first.parent) m_instanceIndex[owner].push_back({&it->first, &it->second});
    }
}

void zalViewerScene::unindexed(std::map<Key, Instance>::iterator it)
{
    release(it->first, HeldInstance);
    noteInstance(it->first, it->second);
    const std::pair<const Key*, const Instance*> entry(&it->first, &it->second);
    unlist(m_instanceIndex, it->first.parent, entry);
    for (const QString& owner : it->second.connections) {
        if (owner != it->first.parent) unlist(m_instanceIndex, owner, entry);
    }
}

void zalViewerScene::indexed(std::map<Key, Spawn>::iterator it)
{
    note(Change::Child, it->first.parent, it->first.name);
    m_spawnIndex[it->first.parent].push_back({&it->first, &it->second});
}

void zalViewerScene::unindexed(std::map<Key, Spawn>::iterator it)
{
    release(it->first, HeldSpawn);
    note(Change::Child, it->first.parent, it->first.name);
    unlist(m_spawnIndex, it->first.parent, std::pair<const Key*, const Spawn*>(&it->first, &it->second));
}

void zalViewerScene::release(const Key& key, Holder holder)
{
    auto it = m_held.find(key);
    if (it == m_held.end()) return;
    it.value() &= std::uint8_t(~holder);
    if (it.value() == 0) m_held.erase(it);
}

const std::vector<const zalViewerScene::Mesh*>& zalViewerScene::meshesOf(const QString& owner) const
{
    static const std::vector<const Mesh*> none;
    auto it = m_meshIndex.find(owner);
    return it == m_meshIndex.end() ? none : it->second;
}

const std::vector<std::pair<const zalViewerScene::Key*, const zalViewerScene::Instance*>>&
zalViewerScene::instancesUnder(const QString& owner) const
{
    static const std::vector<std::pair<const Key*, const Instance*>> none;
    auto it = m_instanceIndex.find(owner);
    return it == m_instanceIndex.end() ? none : it->second;
}

const std::vector<std::pair<const zalViewerScene::Key*, const zalViewerScene::Spawn*>>&
zalViewerScene::spawnsUnder(const QString& owner) const
{
    static const std::vector<std::pair<const Key*, const Spawn*>> none;
    auto it = m_spawnIndex.find(owner);
    return it == m_spawnIndex.end() ? none : it->second;
}

QJsonObject zalViewerScene::toJson() const
{
    QJsonArray components;
    for (const auto& e : m_components) {
        components.append(QJsonObject{{"name", e.first},
                                      {"label", e.second.label},
                                      {"external", e.second.external},
                                      {"source", e.second.source}});
    }
    QJsonArray instances, groups;
    for (const auto& e : m_instances) {
        QJsonArray connections;
        for (const QString& c : e.second.connections)
            connections.append(c);
        QJsonObject o{{"name", e.first.name},
                      {"parent", e.first.parent},
                      {"transform", matrixJson(e.second.transform)},
                      {"connections", connections}};
        if (e.second.group) {
            o.insert("label", e.second.asset);
            groups.append(o);
        } else {
            o.insert("component", e.second.component);
            o.insert("asset", e.second.asset);
            o.insert("material", e.second.material);
            instances.append(o);
        }
    }
    QJsonArray meshes;
    for (const auto& e : m_meshes) {
        const Mesh& m = e.second;
        QVector3D low, high;
        const bool hasBounds = m.bounds(low, high);
        meshes.append(QJsonObject{{"name", e.first.name},
                                  {"parent", e.first.parent},
                                  {"component", m.component},
                                  {"vertexCount", m.vertexCount},
                                  {"faceCount", int(m.faceSizes.count)},
                                  {"positions", int(m.positions.count)},
                                  {"normals", int(m.normals.count)},
                                  {"uv0", int(m.uv0.count)},
                                  {"uv1", int(m.uv1.count)},
                                  {"flags", int(m.flags.count)},
                                  {"faceSizes", int(m.faceSizes.count)},
                                  {"material", m.material},
                                  {"secondMaterial", m.secondMaterial},
                                  {"boundsMin", hasBounds ? QJsonValue(vec(low)) : QJsonValue()},
                                  {"boundsMax", hasBounds ? QJsonValue(vec(high)) : QJsonValue()}});
    }
    QJsonArray materials;
    for (const auto& e : m_materials) {
        const Material& m = e.second;
        materials.append(QJsonObject{{"name", e.first},
                                     {"baseMaterial", m.baseMaterial},
                                     {"texture", m.texture},
                                     {"colour", double(m.colour)},
                                     {"opacity", double(m.opacity)},
                                     {"secondTexture", m.secondTexture},
                                     {"parameters", m.parameters}});
    }
    QJsonArray lights;
    for (const auto& e : m_lights) {
        const Light& l = e.second;
        lights.append(QJsonObject{{"name", e.first.name},
                                  {"parent", e.first.parent},
                                  {"intensity", double(l.intensity)},
                                  {"colour", double(l.colour)},
                                  {"type", l.type},
                                  {"hotspotAngle", double(l.hotspotAngle)},
                                  {"falloffAngle", double(l.falloffAngle)},
                                  {"size1", double(l.size1)},
                                  {"size2", double(l.size2)},
                                  {"castShadows", l.castShadows},
                                  {"attenuationRadius", double(l.attenuationRadius)},
                                  {"iesFile", l.iesFile},
                                  {"transform", matrixJson(l.transform)},
                                  {"on", l.on}});
    }
    QJsonArray spawns;
    for (const auto& e : m_spawns) {
        QJsonArray transforms;
        for (const QMatrix4x4& t : e.second.transforms)
            transforms.append(matrixJson(t));
        spawns.append(QJsonObject{{"name", e.first.name},
                                  {"parent", e.first.parent},
                                  {"component", e.second.component},
                                  {"asset", e.second.asset},
                                  {"count", int(e.second.transforms.size())},
                                  {"transforms", transforms},
                                  {"material", e.second.material}});
    }
    QJsonArray paks;
    for (const auto& e : m_paks)
        paks.append(QJsonObject{{"path", e.first}, {"mounted", e.second}});
    QJsonArray assets;
    for (const auto& e : m_assets) {
        assets.append(QJsonObject{{"name", e.first},
                                  {"parent", e.second.parent},
                                  {"asset", e.second.asset},
                                  {"transform", matrixJson(e.second.transform)},
                                  {"visible", e.second.visible}});
    }
    QJsonArray files;
    for (const auto& e : m_files) {
        files.append(QJsonObject{{"name", e.first},
                                 {"parent", e.second.parent},
                                 {"path", e.second.path},
                                 {"transform", matrixJson(e.second.transform)},
                                 {"visible", e.second.visible},
                                 {"loaded", e.second.loaded}});
    }
    return QJsonObject{
        {"components", components}, {"instances", instances}, {"groups", groups}, {"meshes", meshes},
        {"materials", materials},   {"lights", lights},       {"spawns", spawns}, {"paks", paks},
        {"assets", assets},         {"files", files}};
}
