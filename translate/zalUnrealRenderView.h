#pragma once

#include "zalExport.h"

#include "gs/GsBaseVectorizeViewDef.h"
#include "gs/ModelerGeometry.h"

#include <QString>

#include <set>

class OdDbObject;
class OdDbEntity;
class OdDbBlockTableRecord;
class OdDbLight;
class OdDbDatabase;
class zalTranslationOwner;
class zalEntityRegistry;
class zalUnrealRenderSimplifier;
class XoRemoteRenderSenderFlattener;
class OdDbBlockReference;
class OdDbMaterial;

// The view that translates the drawing: every drawable the graphics system hands it passes its draw
// (the translation hub), which decides what reaches the viewer: nothing, a block definition, an instance,
// a light, a placeholder, a spawner, a material, or the triangles of an entity collected by the device's
// simplifier and sent when the entity ends. Create it through zalUnrealRenderDevice::createView.
class ZAL_EXPORT zalUnrealRenderView : public OdGsBaseVectorizeViewDef
{
public:
    zalUnrealRenderView();
    ~zalUnrealRenderView() override;

    // The session whose drawing this view sends; not owned. Without one, everything is postponed.
    void setOwner(zalTranslationOwner* owner) { m_owner = owner; }
    // The owner set, else the owner of the view's device (views the layout made besides the active one).
    zalTranslationOwner* owner() const;
    // The owner's registry and its sender; null without an owner.
    zalEntityRegistry* registry() const;
    XoRemoteRenderSenderFlattener* sender() const;
    void setSimplifier(zalUnrealRenderSimplifier* simplifier) { m_simplifier = simplifier; }

    // Always Gouraud shaded.
    RenderMode mode() const override { return kGouraudShaded; }
    void select(const OdGePoint3d*, int) override {}
    void update() override;
    void beginViewVectorization() override;
    void endViewVectorization() override;

    // The translation hub.
    void draw(const OdGiDrawable* drawable) override;

    // For the session: draw one object (or one id) through the hub, and draw what waits.
    void drawObject(const OdDbObject* object);
    void drawObject(const OdDbObjectId& id);
    // Each entity of the record, in one vectorization bracket (setting one up per entity cost as much as
    // drawing an entity the viewer already holds).
    void drawEntitiesOf(const OdDbBlockTableRecord* record);
    // Draws every object awaiting refresh (those still not ready stay in the set).
    void drawAwaitingObjects();
    // Objects postponed because their session or owner was not ready; removed when drawn.
    const std::set<OdDbObjectId>& objectsAwaitingRefresh() const { return m_awaitingRefresh; }
    int numObjectsAwaitingRefresh() const { return int(m_awaitingRefresh.size()); }
    void postpone(const OdDbObjectId& id);

    // Through the registry, once the viewer has started: which names were sent under which owners.
    void registerEntity(const QString& name, const QString& owner);
    bool isEntityRegistered(const QString& name, const QString& owner) const;
    // Registered and held by the viewer, with the names of id and owner ("" for a null owner).
    bool isEntitySent(const OdDbObjectId& id, const OdDbObjectId& ownerId) const;
    // Removes an entity from the viewer under every owner it was registered under and forgets it and its
    // sub-entities, so that the next draw sends it again.
    void forgetEntity(const QString& name);

    // The roads of the hub.
    bool beginEntity(const OdDbObject* entity);
    void endEntity(const OdDbObject* entity);
    bool ensureBlockDefinition(OdDbBlockTableRecord* record, bool deferred);
    OdDbObjectId viewerOwnerId(const OdDbObject* object) const;
    void sendLight(const OdDbLight* light);
    void sendAssetPlaceholder(const OdDbEntity* entity, const QString& arguments, const QString& assetName,
                              const OdGeMatrix3d& transform);
    QString ensureMaterial(const QString& key);
    void translateMaterial(const OdDbMaterial* material);

    // Whether the object is left out of the translation, and whether an entity is shown.
    static bool isSkipped(const OdDbObject* object);
    static bool isVisible(const OdDbObject* object);

    // Viewer name of the block whose entity is being drawn; empty between entities.
    const QString& currentBlock() const { return m_currentBlock; }
    OdDbDatabase* database() const;

protected:
    void onTraitsModified() override;

private:
    bool isSessionReady() const;
    bool isViewerStarted() const;
    void drawBlockReference(const OdDbBlockReference* reference);
    void drawGeometry(const OdGiDrawable* drawable, const OdDbObject* object);
    void sendModelSpaceRoot();
    void closeDrawing();
    void vectorizeInBracket(const OdGiDrawable* drawable);

    zalTranslationOwner* m_owner = nullptr;
    zalUnrealRenderSimplifier* m_simplifier = nullptr;
    std::set<OdDbObjectId> m_awaitingRefresh;
    QString m_currentBlock;
    OdModelerTessellationParams m_keptTessellation;
    bool m_tessellationKept = false;
    // A block definition drawn for a reference, inside the reference's own draw.
    bool m_nestedBlockDraw = false;
    // Within one vectorization bracket: the last pair isEntitySent found sent, and whether the model
    // space's root instance is known to be in the viewer.
    struct SentCache
    {
        OdDbObjectId id;
        OdDbObjectId owner;
    };
    mutable SentCache m_sentCache;
    bool m_rootSent = false;
    mutable bool m_readyInBracket = false;
};
