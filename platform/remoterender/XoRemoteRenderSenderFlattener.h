#pragma once

#include "XoHeldEntities.h"
#include "XoRemoteRenderSender.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>

// Answers the parameter string of a viewer material (as sent with addMaterial) for
// generateMaterialMaps; empty when the material is unknown.
using XoMaterialMapCallback = std::function<std::string(const std::string& materialName)>;
// Receives the name of an entity the viewer needs again (it reported the entity lost).
using XoEntityRefreshCallback = std::function<void(const std::string& entityName)>;

// The scene-content side of the channel. Keeps which (name, owner) pairs the viewer holds, so
// isEntityValid answers without asking the viewer; forgets them all when the viewer ends, and
// when the viewer reports one lost it forgets it and calls the entity-refresh callback (GUI
// thread) with the entity's name, or for a mesh with its owning entity's name.
//
// Names are UTF-8 ("" = no owner); transforms 16 floats in row order, null = identity.
class XOREMOTERENDER_EXPORT XoRemoteRenderSenderFlattener : public XoRemoteRenderSender
{
public:
    XoRemoteRenderSenderFlattener(const std::wstring& workingFolder, XoMaterialMapCallback materialMaps,
                                  long sessionKey, XoEntityRefreshCallback entityRefresh);
    XoRemoteRenderSenderFlattener(const std::wstring& workingFolder, XoMaterialMapCallback materialMaps,
                                  long sessionKey, XoEntityRefreshCallback entityRefresh,
                                  std::unique_ptr<XoInterProcessMessagesManager> transport);
    ~XoRemoteRenderSenderFlattener() override;

    const std::wstring& workingFolder() const { return m_workingFolder; }
    long sessionKey() const { return m_sessionKey; }

    // At most one transaction is open: a second begin is refused (false, nothing sent) and an end
    // without a begin too. The viewer applies a transaction as a whole when it ends.
    bool beginTransaction(const char* name);
    bool endTransaction(bool fullUpdate);
    bool isTransactionOpen() const { return m_transactionOpen; }
    // Transactions ended here so far; the viewer has applied all of them once transactionsApplied()
    // reaches this number.
    std::uint64_t transactionsEnded() const { return m_transactionsEnded; }

    // Removes everything the viewer holds for this session.
    void clearSession();

    // One mesh: vertexCount vertices (positions and normals 3 floats each, both texture channels
    // 2 floats each, flags one 32-bit value each), faceSizeCount face sizes (a negative size marks
    // a reversed face; the sizes add up to vertexCount). Null arrays travel empty.
    void addMesh(const char* name, const char* parent, const char* component, const float* positions,
                 const float* normals, const float* uv0, const float* uv1, const std::int32_t* flags,
                 const std::int32_t* faceSizes, int faceSizeCount, int vertexCount, const char* material,
                 const char* secondMaterial);
    // colour: red | green << 8 | blue << 16.
    void addMaterial(const char* name, const char* baseMaterial, const char* texture, std::uint32_t colour,
                     float opacity, const char* secondTexture, const char* parameters);
    void addGroup(const char* name, const char* parent, const char* label, const float* transform);
    void addInstance(const char* name, const char* parent, const char* component, const char* asset,
                     const float* transform, const char* material);
    void addComponentDef(const char* name, const char* label, bool external, const char* source);
    // type: 0 point, 1 spot, 2 rectangular spot, 3 distant. colour as for addMaterial.
    void addLight(const char* name, const char* parent, float intensity, std::uint32_t colour, int type,
                  float hotspotAngle, float falloffAngle, float size1, float size2, bool castShadows,
                  float attenuationRadius, const char* iesFile, const float* transform, bool on);
    // count transforms of 16 floats each.
    void spawnInstances(const char* name, const char* parent, const char* component, const char* asset,
                        int count, const float* transforms, const char* material);
    // An empty parent removes the entity under every owner.
    void removeEntity(const char* name, const char* parent, bool removeChildren, bool removeMeshes);
    void removeEntityMeshes(const char* name);
    void assureEntityConnected(QString name, QString parent);
    // An empty parent: held under any owner.
    bool isEntityValid(const char* name, const char* parent) const;
    // Room for `names` held in all, ahead of drawing a large drawing.
    void reserveHeld(std::size_t names) { m_held.reserve(names); }
    // Asks the viewer to bake texture maps of a material into the working folder; false when the
    // material-map callback knows no parameters for it.
    bool generateMaterialMaps(const char* materialName, int width, int height);

protected:
    void viewerEnded() override;
    void viewerReportedEntityLost(const std::string& name, const std::string& parent) override;

private:
    using HeldKind = XoHeldEntities::Kind;
    // Whether the pair was held already.
    bool hold(const char* name, const char* parent, HeldKind kind);

    std::wstring m_workingFolder;
    XoMaterialMapCallback m_materialMaps;
    long m_sessionKey;
    XoEntityRefreshCallback m_entityRefresh;
    bool m_transactionOpen = false;
    std::uint64_t m_transactionsEnded = 0;
    XoHeldEntities m_held;
    std::string m_scratchName, m_scratchOwner; // assureEntityConnected's names, kept for their storage
};
