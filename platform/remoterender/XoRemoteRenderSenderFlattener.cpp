#include "XoRemoteRenderSenderFlattener.h"

#include "XoRemoteRenderMessage.h"

#include <QtDebug>

#include <algorithm>

namespace {

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

const float* orIdentity(const float* transform)
{
    return transform ? transform : kIdentity;
}

const char* orEmpty(const char* text)
{
    return text ? text : "";
}

std::size_t count(int n, int per)
{
    return n > 0 ? std::size_t(n) * std::size_t(per) : 0;
}

// `text` as UTF-8 in `out`, reusing its storage. Names are nearly always ASCII.
void utf8Into(const QString& text, std::string& out)
{
    const QChar* in = text.constData();
    const int size = text.size();
    out.resize(std::size_t(size));
    for (int i = 0; i < size; ++i) {
        const char16_t c = in[i].unicode();
        if (c >= 0x80) {
            const QByteArray bytes = text.toUtf8();
            out.assign(bytes.constData(), std::size_t(bytes.size()));
            return;
        }
        out[std::size_t(i)] = char(c);
    }
}

} // namespace

XoRemoteRenderSenderFlattener::XoRemoteRenderSenderFlattener(const std::wstring& workingFolder,
                                                             XoMaterialMapCallback materialMaps,
                                                             long sessionKey,
                                                             XoEntityRefreshCallback entityRefresh)
    : m_workingFolder(workingFolder), m_materialMaps(std::move(materialMaps)), m_sessionKey(sessionKey),
      m_entityRefresh(std::move(entityRefresh))
{
    setProcessContext(m_workingFolder, m_sessionKey);
}

XoRemoteRenderSenderFlattener::XoRemoteRenderSenderFlattener(
    const std::wstring& workingFolder, XoMaterialMapCallback materialMaps, long sessionKey,
    XoEntityRefreshCallback entityRefresh, std::unique_ptr<XoInterProcessMessagesManager> transport)
    : XoRemoteRenderSender(std::move(transport)), m_workingFolder(workingFolder),
      m_materialMaps(std::move(materialMaps)), m_sessionKey(sessionKey),
      m_entityRefresh(std::move(entityRefresh))
{
    setProcessContext(m_workingFolder, m_sessionKey);
}

XoRemoteRenderSenderFlattener::~XoRemoteRenderSenderFlattener()
{
    // No notification may reach the bookkeeping while it is being destroyed.
    closeChannel();
}

bool XoRemoteRenderSenderFlattener::beginTransaction(const char* name)
{
    if (m_transactionOpen) {
        qWarning() << "XoRemoteRender: transaction" << orEmpty(name) << "refused, one is already open";
        return false;
    }
    m_transactionOpen = true;
    post(XoRemoteRenderMessage(XoMessageType::BeginTransaction).addString(orEmpty(name)));
    return true;
}

bool XoRemoteRenderSenderFlattener::endTransaction(bool fullUpdate)
{
    if (!m_transactionOpen) {
        qWarning() << "XoRemoteRender: endTransaction without an open transaction";
        return false;
    }
    m_transactionOpen = false;
    if (post(XoRemoteRenderMessage(XoMessageType::EndTransaction).addBool(fullUpdate))) ++m_transactionsEnded;
    return true;
}

void XoRemoteRenderSenderFlattener::clearSession()
{
    m_held.clear();
    post(XoRemoteRenderMessage(XoMessageType::ClearSession));
}

void XoRemoteRenderSenderFlattener::addMesh(const char* name, const char* parent, const char* component,
                                            const float* positions, const float* normals, const float* uv0,
                                            const float* uv1, const std::int32_t* flags,
                                            const std::int32_t* faceSizes, int faceSizeCount, int vertexCount,
                                            const char* material, const char* secondMaterial)
{
    const XoRemoteRenderMessage message = [&] {
        XoRemoteRenderMessage m(XoMessageType::AddMesh);
        m.addString(orEmpty(name))
            .addString(orEmpty(parent))
            .addString(orEmpty(component))
            .addFloatArray(positions, count(vertexCount, 3))
            .addFloatArray(normals, count(vertexCount, 3))
            .addFloatArray(uv0, count(vertexCount, 2))
            .addFloatArray(uv1, count(vertexCount, 2))
            .addIntArray(flags, count(vertexCount, 1))
            .addIntArray(faceSizes, count(faceSizeCount, 1))
            .addInt(faceSizeCount)
            .addInt(vertexCount)
            .addString(orEmpty(material))
            .addString(orEmpty(secondMaterial));
        return m;
    }();
    if (!post(message)) return;
    const bool replaced = hold(name, parent, HeldKind::Mesh);
    if (replaced) return;
    std::int64_t triangles = 0;
    // Without a branch per face, so the loop runs in vector registers.
    for (int i = 0; faceSizes && i < faceSizeCount; ++i) {
        const std::int64_t corners = faceSizes[i] < 0 ? -std::int64_t(faceSizes[i]) : faceSizes[i];
        triangles += std::max<std::int64_t>(corners - 2, 0);
    }
    reportContentSent(0, std::uint64_t(triangles));
}

void XoRemoteRenderSenderFlattener::addMaterial(const char* name, const char* baseMaterial,
                                                const char* texture, std::uint32_t colour, float opacity,
                                                const char* secondTexture, const char* parameters)
{
    XoRemoteRenderMessage m(XoMessageType::AddMaterial);
    m.addString(orEmpty(name))
        .addString(orEmpty(baseMaterial))
        .addString(orEmpty(texture))
        .addUInt(colour)
        .addFloat(opacity)
        .addString(orEmpty(secondTexture))
        .addString(orEmpty(parameters));
    if (post(m)) hold(name, "", HeldKind::Other);
}

void XoRemoteRenderSenderFlattener::addGroup(const char* name, const char* parent, const char* label,
                                             const float* transform)
{
    XoRemoteRenderMessage m(XoMessageType::AddGroup);
    m.addString(orEmpty(name))
        .addString(orEmpty(parent))
        .addString(orEmpty(label))
        .addFloatArray(orIdentity(transform), 16);
    if (post(m)) hold(name, parent, HeldKind::Other);
}

void XoRemoteRenderSenderFlattener::addInstance(const char* name, const char* parent, const char* component,
                                                const char* asset, const float* transform,
                                                const char* material)
{
    XoRemoteRenderMessage m(XoMessageType::AddInstance);
    m.addString(orEmpty(name))
        .addString(orEmpty(parent))
        .addString(orEmpty(component))
        .addString(orEmpty(asset))
        .addFloatArray(orIdentity(transform), 16)
        .addString(orEmpty(material));
    if (!post(m)) return;
    const bool replaced = hold(name, parent, HeldKind::Other);
    if (!replaced) reportContentSent(1, 0);
}

void XoRemoteRenderSenderFlattener::addComponentDef(const char* name, const char* label, bool external,
                                                    const char* source)
{
    XoRemoteRenderMessage m(XoMessageType::AddComponentDef);
    m.addString(orEmpty(name)).addString(orEmpty(label)).addBool(external).addString(orEmpty(source));
    if (post(m)) hold(name, "", HeldKind::Other);
}

void XoRemoteRenderSenderFlattener::addLight(const char* name, const char* parent, float intensity,
                                             std::uint32_t colour, int type, float hotspotAngle,
                                             float falloffAngle, float size1, float size2, bool castShadows,
                                             float attenuationRadius, const char* iesFile,
                                             const float* transform, bool on)
{
    XoRemoteRenderMessage m(XoMessageType::AddLight);
    m.addString(orEmpty(name))
        .addString(orEmpty(parent))
        .addFloat(intensity)
        .addUInt(colour)
        .addInt(type)
        .addFloat(hotspotAngle)
        .addFloat(falloffAngle)
        .addFloat(size1)
        .addFloat(size2)
        .addBool(castShadows)
        .addFloat(attenuationRadius)
        .addString(orEmpty(iesFile))
        .addFloatArray(orIdentity(transform), 16)
        .addBool(on);
    if (!post(m)) return;
    const bool replaced = hold(name, parent, HeldKind::Other);
    if (!replaced) reportContentSent(1, 0);
}

void XoRemoteRenderSenderFlattener::spawnInstances(const char* name, const char* parent,
                                                   const char* component, const char* asset, int count_,
                                                   const float* transforms, const char* material)
{
    XoRemoteRenderMessage m(XoMessageType::SpawnInstances);
    m.addString(orEmpty(name))
        .addString(orEmpty(parent))
        .addString(orEmpty(component))
        .addString(orEmpty(asset))
        .addInt(count_)
        .addFloatArray(transforms, count(count_, 16))
        .addString(orEmpty(material));
    if (!post(m)) return;
    const bool replaced = hold(name, parent, HeldKind::Other);
    if (!replaced) reportContentSent(std::uint64_t(count_ > 0 ? count_ : 0), 0);
}

void XoRemoteRenderSenderFlattener::removeEntity(const char* name, const char* parent, bool removeChildren,
                                                 bool removeMeshes)
{
    const std::string entity = orEmpty(name);
    const std::string owner = orEmpty(parent);
    post(XoRemoteRenderMessage(XoMessageType::RemoveEntity)
             .addString(entity)
             .addString(owner)
             .addBool(removeChildren)
             .addBool(removeMeshes));
    if (removeMeshes || removeChildren) m_held.forgetChildren(entity, removeChildren);
    m_held.forget(entity, owner);
}

void XoRemoteRenderSenderFlattener::removeEntityMeshes(const char* name)
{
    const std::string entity = orEmpty(name);
    post(XoRemoteRenderMessage(XoMessageType::RemoveEntityMeshes).addString(entity));
    m_held.forgetChildren(entity, false);
}

void XoRemoteRenderSenderFlattener::assureEntityConnected(QString name, QString parent)
{
    // Every refresh confirms each entity the viewer holds: no allocation per call.
    std::string& entity = m_scratchName;
    std::string& owner = m_scratchOwner;
    utf8Into(name, entity);
    utf8Into(parent, owner);
    if (post(
            XoRemoteRenderMessage(XoMessageType::AssureEntityConnected).addString(entity).addString(owner))) {
        // Connecting an entity the viewer does not hold gives it nothing to show; only an existing
        // entity gains the owner.
        if (m_held.isHeld(entity)) hold(entity.c_str(), owner.c_str(), HeldKind::Other);
    }
}

bool XoRemoteRenderSenderFlattener::isEntityValid(const char* name, const char* parent) const
{
    return m_held.isHeld(orEmpty(name), orEmpty(parent));
}

bool XoRemoteRenderSenderFlattener::generateMaterialMaps(const char* materialName, int width, int height)
{
    const std::string name = orEmpty(materialName);
    const std::string parameters = m_materialMaps ? m_materialMaps(name) : std::string();
    if (parameters.empty()) return false;
    return post(XoRemoteRenderMessage(XoMessageType::GenerateMaterialMaps)
                    .addString(name)
                    .addString(parameters)
                    .addInt(width)
                    .addInt(height));
}

void XoRemoteRenderSenderFlattener::viewerEnded()
{
    m_held.clear();
    m_transactionOpen = false;
}

void XoRemoteRenderSenderFlattener::viewerReportedEntityLost(const std::string& name,
                                                             const std::string& parent)
{
    XoRemoteRenderSender::viewerReportedEntityLost(name, parent);
    bool held = false;
    const bool mesh = m_held.isMesh(name, parent, &held);
    if (!held) return; // already removed on this side: nobody needs it again
    // A mesh is not a drawing entity: the entity that owns it is drawn again.
    const std::string refresh = mesh && !parent.empty() ? parent : name;
    m_held.forget(name, parent);
    if (m_entityRefresh) m_entityRefresh(refresh);
}

bool XoRemoteRenderSenderFlattener::hold(const char* name, const char* parent, HeldKind kind)
{
    return m_held.hold(orEmpty(name), orEmpty(parent), kind);
}
