#include "translate/zalUnrealRenderView.h"

#include "translate/zalEntityRegistry.h"
#include "translate/zalTranslationOwner.h"
#include "translate/zalUnrealAssetSpawning.h"
#include "translate/zalUnrealDrawingState.h"
#include "translate/zalUnrealMaterialTranslator.h"
#include "translate/zalUnrealRenderDevice.h"
#include "translate/zalUnrealRenderSimplifier.h"
#include "translate/zalUnrealViewerFrame.h"
#include "translate/zalViewerNames.h"

#include "zalDbAssetsSpawner.h"
#include "zalDbStarImagePolygon.h"
#include "zalDbXBlock.h"
#include "zalIUEAssetPlaceHolder.h"
#include "zalStrings.h"

#include "gs/ColorMapping.h"
#include "gs/GiContext.h"
#include "gs/GiDrawableDrawer.h"

#include "DbBlockReference.h"
#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbDictionary.h"
#include "DbLayerTableRecord.h"
#include "DbLight.h"
#include "DbMaterial.h"
#include "DbObjectIterator.h"
#include "DbSymbolTable.h"
#include "DbViewportTableRecord.h"
#include "RxClass.h"
#include "RxDynamicLinker.h"

#include "IzalApplication.h"
#include "XoRemoteRenderSenderFlattener.h"

#include <QDebug>
#include <QDir>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <typeinfo>

namespace {

// Sorts (name, index) pairs by name, pairs of one name staying in their order. Insertion sort: the ranges
// are an entity's material groups, nearly always one or two, and std::stable_sort would allocate.
template <class Pair> void sortByNameKeepingOrder(Pair* first, Pair* last)
{
    for (Pair* i = first + (first != last); i < last; ++i) {
        Pair moving = std::move(*i);
        Pair* j = i;
        for (; j != first && moving.first < (j - 1)->first; --j)
            *j = std::move(*(j - 1));
        *j = std::move(moving);
    }
}

const int kGouraud = OdGsView::kGouraudShaded;

QString idOf(const OdDbObject* object)
{
    return object ? zalViewerNames::ofObject(object) : QString();
}

// Names of the ids asked for again and again while a drawing is vectorized: the model space, and each
// entity's block, owner and material. Kept only inside a vectorization bracket, during which nothing is
// erased and no drawing goes away.
struct NameCache
{
    static constexpr int kSize = 8;
    int depth = 0; // open brackets
    int next = 0;
    OdDbStub* ids[kSize] = {};
    QString names[kSize];
    // Whether the layer last asked about is shown: a drawing's entities come in runs of one layer.
    OdDbStub* layer = nullptr;
    bool layerShown = false;

    void open()
    {
        if (depth++ == 0) clear();
    }
    void close()
    {
        if (depth > 0 && --depth == 0) clear();
    }
    void clear()
    {
        for (int i = 0; i < kSize; ++i) {
            ids[i] = nullptr;
            names[i].clear();
        }
        next = 0;
        layer = nullptr;
    }
};

NameCache& nameCache()
{
    static NameCache cache;
    return cache;
}

QString idOf(const OdDbObjectId& id)
{
    if (id.isNull()) return QString();
    NameCache& cache = nameCache();
    if (cache.depth == 0) return zalViewerNames::ofId(id);
    OdDbStub* stub = static_cast<OdDbStub*>(id);
    for (int i = 0; i < NameCache::kSize; ++i) {
        if (cache.ids[i] == stub) return cache.names[i];
    }
    const int slot = cache.next;
    cache.next = (cache.next + 1) % NameCache::kSize;
    cache.ids[slot] = stub;
    cache.names[slot] = zalViewerNames::ofId(id);
    return cache.names[slot];
}

// Material key of an object's own material: ByLayer and ByBlock resolve through the traits (the null id).
QString materialKey(const OdDbObjectId& materialId, OdDbDatabase* db)
{
    if (materialId.isNull() || !db || materialId == db->byLayerMaterialId() ||
        materialId == db->byBlockMaterialId())
        return zalViewerNames::ofId(OdDbObjectId());
    return idOf(materialId);
}

ODCOLORREF colorRef(const OdCmEntityColor& color, const OdDbObjectId& layerId)
{
    OdCmEntityColor c = color;
    if (c.isByLayer()) {
        OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::cast(layerId.openObject());
        c = layer ? layer->color().entityColor() : OdCmEntityColor(OdCmEntityColor::kByACI);
        if (c.isByACI() && c.colorIndex() == 0) c.setColorIndex(7);
    }
    if (c.isByColor()) return ODRGB(c.red(), c.green(), c.blue());
    if (c.isByACI() && c.colorIndex() >= 1 && c.colorIndex() <= 255)
        return odcmLookupAci(std::uint8_t(c.colorIndex()));
    return odcmLookupAci(7);
}

// Run-time class names of the kinds the viewer never shows (those without a class of their own here).
bool hasSkippedClassName(const OdDbObject* object)
{
    // Looked up without copying the name: asked for every class up the hierarchy of each entity drawn.
    static const std::set<std::wstring, std::less<>> names = {L"AcDbVisualStyle",
                                                              L"AcDbHatch",
                                                              L"AcDbAlignedDimension",
                                                              L"AcDbAttribute",
                                                              L"AcDbPoint",
                                                              L"AcDb2dPolyline",
                                                              L"AcDbMPolygon",
                                                              L"AcDbBlockBegin",
                                                              L"AcDbBlockEnd",
                                                              L"AcDbLinetypeTableRecord",
                                                              L"AcDbDimStyleTableRecord",
                                                              L"AcDbRegAppTableRecord",
                                                              L"AcDbTextStyleTableRecord",
                                                              L"AcDbXrecord",
                                                              L"AcDbTable",
                                                              L"AcDbLine",
                                                              L"AcDbArc",
                                                              L"AcDbCircle",
                                                              L"AcDbText",
                                                              L"AcDb3dPolyline",
                                                              L"AcDbPolyline",
                                                              L"AcDbDictionary",
                                                              L"AcDbLayerTableRecord",
                                                              L"zalDbStarImagePolygon",
                                                              L"AcDbRasterImageDef"};
    for (OdRxClass* c = object->isA(); c; c = c->myParent()) {
        const OdString& name = c->name();
        if (names.find(std::wstring_view(name.c_str(), std::size_t(name.getLength()))) != names.end())
            return true;
    }
    return false;
}

// What draw() needs to know of an object's class. A drawing's entities come in runs of one class, and each
// of these casts crosses shared libraries (comparing type names): answered once per run. The type's name is
// compared too, as a library unloaded may leave its type's address to another.
struct DrawKinds
{
    bool reference = false, light = false, starPolygon = false, material = false, viewport = false,
         record = false, placeholder = false, spawner = false, animation = false;
};

DrawKinds drawKindsOf(const OdDbObject* object)
{
    static const std::type_info* lastType = nullptr;
    static std::string lastTypeName;
    static DrawKinds last;
    const std::type_info& type = typeid(*object);
    if (lastType == &type && lastTypeName == type.name()) return last;
    lastType = &type;
    lastTypeName = type.name();
    last.reference = dynamic_cast<const OdDbBlockReference*>(object) != nullptr;
    last.light = dynamic_cast<const OdDbLight*>(object) != nullptr;
    last.starPolygon = dynamic_cast<const zalDbStarImagePolygon*>(object) != nullptr;
    last.material = dynamic_cast<const OdDbMaterial*>(object) != nullptr;
    last.viewport = dynamic_cast<const OdDbViewportTableRecord*>(object) != nullptr;
    last.record = dynamic_cast<const OdDbBlockTableRecord*>(object) != nullptr;
    last.placeholder = dynamic_cast<const zalIUEAssetPlaceHolder*>(object) != nullptr;
    last.spawner = dynamic_cast<const zalDbAssetsSpawner*>(object) != nullptr;
    last.animation = object->isA() && object->isA()->name() == L"zalDbAnimation";
    return last;
}

// The flag query of a drawable: non-zero when it must not be drawn (an invisible entity).
std::uint32_t logicalFlags(const OdGiDrawable* drawable)
{
    const auto* entity = dynamic_cast<const OdDbEntity*>(drawable);
    return entity && entity->visibility() == OdDb::kInvisible ? OdUInt32(OdGiDrawable::kDrawableIsInvisible)
                                                              : 0u;
}

OdGeMatrix3d modelScaleMatrix(OdDbDatabase* db)
{
    IzalApplication* app = zalApp();
    const double factor = app && db ? app->unitConversionFactor(app->lengthUnit(db), 6) : 1.0;
    return OdGeMatrix3d::scaling(factor);
}

// A name as the sender takes it, on the stack unless long or beyond ASCII: a refresh converts several per
// entity, every entity of the drawing.
struct Utf8
{
    QVarLengthArray<char, 96> bytes;
    const char* c_str() const { return bytes.constData(); }
};

Utf8 utf8(const QString& s)
{
    Utf8 out;
    const QChar* in = s.constData();
    const int size = s.size();
    out.bytes.resize(size + 1);
    for (int i = 0; i < size; ++i) {
        const char16_t c = in[i].unicode();
        if (c >= 0x80) {
            const QByteArray bytes = s.toUtf8();
            out.bytes.resize(bytes.size() + 1);
            std::memcpy(out.bytes.data(), bytes.constData(), std::size_t(bytes.size()) + 1);
            return out;
        }
        out.bytes[i] = char(c);
    }
    out.bytes[size] = '\0';
    return out;
}

} // namespace

zalUnrealRenderView::zalUnrealRenderView() = default;

zalUnrealRenderView::~zalUnrealRenderView() = default;

zalTranslationOwner* zalUnrealRenderView::owner() const
{
    if (m_owner) return m_owner;
    auto* device = dynamic_cast<zalUnrealRenderDevice*>(baseDevice());
    return device ? device->owner() : nullptr;
}

OdDbDatabase* zalUnrealRenderView::database() const
{
    OdGiContext* context = baseDevice() ? baseDevice()->userGiContext() : nullptr;
    return context ? dynamic_cast<OdDbDatabase*>(context->database()) : nullptr;
}

zalEntityRegistry* zalUnrealRenderView::registry() const
{
    zalTranslationOwner* o = owner();
    return o ? &o->registry() : nullptr;
}

XoRemoteRenderSenderFlattener* zalUnrealRenderView::sender() const
{
    zalEntityRegistry* r = registry();
    return r ? r->sender() : nullptr;
}

bool zalUnrealRenderView::isViewerStarted() const
{
    XoRemoteRenderSenderFlattener* snd = sender();
    return snd && snd->isViewerStarted();
}

bool zalUnrealRenderView::isSessionReady() const
{
    // Asked before every entity; inside a bracket a yes stands (the viewer ending or another drawing
    // becoming current reaches the session through the event loop, never in the middle of a drawing).
    if (m_readyInBracket) return true;
    zalTranslationOwner* o = owner();
    const bool ready = o && o->isReadyToDraw();
    m_readyInBracket = ready && nameCache().depth > 0;
    return ready;
}

void zalUnrealRenderView::update()
{
    if (m_simplifier) m_simplifier->setDrawContext(this);
    OdGsBaseVectorizeViewDef::update();
}

void zalUnrealRenderView::beginViewVectorization()
{
    nameCache().open();
    m_sentCache = SentCache();
    m_rootSent = false;
    m_readyInBracket = false;
    OdGsBaseVectorizeViewDef::beginViewVectorization();
    setEyeToOutputTransform(worldToEyeTransform());
    OdRxModulePtr modeler = odrxDynamicLinker()->getModule(OdString(L"ModelerGeometry"));
    auto* params = dynamic_cast<OdModelerGeometryModule*>(modeler.get());
    if (params) {
        m_keptTessellation = params->tessellationParams();
        m_tessellationKept = true;
        OdModelerTessellationParams changed = m_keptTessellation;
        changed.normalTolerance = 15.0;
        params->setTessellationParams(changed);
    }
}

void zalUnrealRenderView::endViewVectorization()
{
    nameCache().close();
    m_sentCache = SentCache();
    m_rootSent = false;
    m_readyInBracket = false;
    OdGsBaseVectorizeViewDef::endViewVectorization();
    if (m_tessellationKept) {
        OdRxModulePtr modeler = odrxDynamicLinker()->getModule(OdString(L"ModelerGeometry"));
        if (auto* params = dynamic_cast<OdModelerGeometryModule*>(modeler.get()))
            params->setTessellationParams(m_keptTessellation);
        m_tessellationKept = false;
    }
}

void zalUnrealRenderView::onTraitsModified()
{
    OdGsBaseVectorizeViewDef::onTraitsModified();
    zalUnrealDrawingState& state = zalUnrealDrawingState::instance();
    const OdGiSubEntityTraitsData& traits = effectiveTraits();
    const OdCmEntityColor color = traits.trueColor();
    if (color.isByACI())
        state.currentColor = odcmLookupAci(std::uint8_t(std::min<int>(color.colorIndex(), 255)));
    else if (color.isByColor())
        state.currentColor = ODRGB(color.red(), color.green(), color.blue());
    state.currentMaterialKey = materialKey(traits.material(), database());
}

void zalUnrealRenderView::postpone(const OdDbObjectId& id)
{
    if (!id.isNull()) m_awaitingRefresh.insert(id);
}

void zalUnrealRenderView::vectorizeInBracket(const OdGiDrawable* drawable)
{
    if (isVectorizing()) {
        draw(drawable);
        return;
    }
    if (m_simplifier) m_simplifier->setDrawContext(this);
    beginViewVectorization();
    try {
        draw(drawable);
    } catch (...) {
        endViewVectorization();
        throw;
    }
    endViewVectorization();
}

void zalUnrealRenderView::drawObject(const OdDbObject* object)
{
    if (object) vectorizeInBracket(object);
}

void zalUnrealRenderView::drawObject(const OdDbObjectId& id)
{
    OdDbObjectPtr object = id.openObject();
    if (object)
        drawObject(object.get());
    else
        m_awaitingRefresh.erase(id);
}

void zalUnrealRenderView::drawEntitiesOf(const OdDbBlockTableRecord* record)
{
    if (!record) return;
    const bool opened = !isVectorizing();
    if (opened) {
        if (m_simplifier) m_simplifier->setDrawContext(this);
        beginViewVectorization();
    }
    try {
        for (OdDbObjectIteratorPtr it = record->newIterator(); !it->done(); it->step()) {
            OdDbEntityPtr entity = it->entity();
            if (!entity.isNull()) draw(entity.get());
        }
    } catch (...) {
        if (opened) endViewVectorization();
        throw;
    }
    if (opened) endViewVectorization();
}

void zalUnrealRenderView::drawAwaitingObjects()
{
    // A copy: drawing removes ids and may postpone others again.
    const std::set<OdDbObjectId> ids = m_awaitingRefresh;
    for (const OdDbObjectId& id : ids) {
        if (!id.isValid() || id.isErased()) {
            m_awaitingRefresh.erase(id);
            continue;
        }
        drawObject(id);
    }
}

void zalUnrealRenderView::registerEntity(const QString& name, const QString& owner)
{
    zalEntityRegistry* r = registry();
    if (!r || !isViewerStarted()) return;
    r->add(name, owner);
}

bool zalUnrealRenderView::isEntityRegistered(const QString& name, const QString& owner) const
{
    zalEntityRegistry* r = registry();
    return r && r->contains(name, owner);
}

bool zalUnrealRenderView::isEntitySent(const OdDbObjectId& id, const OdDbObjectId& ownerId) const
{
    // Every entity of a drawing asks this of its owner: while vectorizing, a yes is remembered (nothing
    // is removed from the viewer inside the bracket but through forgetEntity, which forgets it).
    const bool vectorizing = nameCache().depth > 0;
    if (vectorizing && m_sentCache.id == id && m_sentCache.owner == ownerId && !id.isNull()) return true;
    const QString name = idOf(id);
    const QString owner = idOf(ownerId);
    XoRemoteRenderSenderFlattener* snd = sender();
    const bool sent =
        snd && isEntityRegistered(name, owner) && snd->isEntityValid(utf8(name).c_str(), utf8(owner).c_str());
    if (sent && vectorizing) m_sentCache = SentCache{id, ownerId};
    return sent;
}

void zalUnrealRenderView::forgetEntity(const QString& name)
{
    zalEntityRegistry* r = registry();
    if (!r) return;
    XoRemoteRenderSenderFlattener* snd = r->sender();
    m_sentCache = SentCache();
    m_rootSent = false;
    const QStringList owners = r->invalidate(name);
    if (XoRemoteRenderSender::isReachable(snd)) {
        for (const QString& owner : owners) {
            const QString parent = owner == name ? QString() : owner;
            snd->removeEntity(utf8(name).c_str(), utf8(parent).c_str(), true, true);
        }
    }
}

OdDbObjectId zalUnrealRenderView::viewerOwnerId(const OdDbObject* object) const
{
    if (!object) return OdDbObjectId();
    // Asked of every entity: a failing cast costs more than the kinds' cache.
    const auto* light = drawKindsOf(object).light ? dynamic_cast<const OdDbLight*>(object) : nullptr;
    OdDbDatabase* db = database();
    if (light && db) {
        const OdDbObjectId owner = object->ownerId();
        OdDbDatabase* ownerDb = owner.database();
        if (ownerDb && ownerDb != db && owner == ownerDb->getModelSpaceId()) {
            // A light of a referenced drawing hangs under the single reference of its xref block.
            OdDbBlockTableRecordPtr xrefBlock =
                OdDbBlockTableRecord::cast(ownerDb->xrefBlockId().openObject());
            if (xrefBlock) {
                OdDbObjectIdArray references;
                xrefBlock->getBlockReferenceIds(references);
                if (references.size() == 1) {
                    OdDbObjectPtr reference = references[0].openObject();
                    if (reference) return reference->ownerId();
                }
            }
        }
    }
    return object->ownerId();
}

bool zalUnrealRenderView::isSkipped(const OdDbObject* object)
{
    if (!object) return true;
    // It depends on the class alone, and a drawing's entities come in runs of one class: the last answer
    // is kept. The class's name is compared too, as a class unregistered (a module unloaded) may leave its
    // address to another.
    static const OdRxClass* lastClass = nullptr;
    static OdString lastName;
    static bool lastSkipped = false;
    const OdRxClass* type = object->isA();
    if (type && type == lastClass && type->name() == lastName) return lastSkipped;
    const bool skipped = object->isKindOf(OdDbSymbolTable::desc()) ||
                         object->isKindOf(OdDbDictionary::desc()) || hasSkippedClassName(object);
    lastClass = type;
    lastName = type ? type->name() : OdString();
    lastSkipped = skipped;
    // Entities the host's own graphics cache marks as drawn elsewhere would carry a graphics node; none
    // here.
    return skipped;
}

bool zalUnrealRenderView::isVisible(const OdDbObject* object)
{
    if (!object) return false;
    if (drawKindsOf(object).record) return true;
    const auto* entity = dynamic_cast<const OdDbEntity*>(object);
    if (!entity || isSkipped(object) || entity->isErased() || entity->visibility() == OdDb::kInvisible)
        return false;
    const OdDbObjectId layerId = entity->layerId();
    // Inside a bracket no layer changes.
    NameCache& cache = nameCache();
    const bool vectorizing = cache.depth > 0;
    if (vectorizing && cache.layer && cache.layer == static_cast<OdDbStub*>(layerId)) return cache.layerShown;
    OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::cast(layerId.openObject());
    const bool shown = layer && !layer->isOff() && !layer->isHidden();
    if (vectorizing) {
        cache.layer = static_cast<OdDbStub*>(layerId);
        cache.layerShown = shown;
    }
    return shown;
}

void zalUnrealRenderView::sendModelSpaceRoot()
{
    OdDbDatabase* db = database();
    XoRemoteRenderSenderFlattener* snd = sender();
    if (!db || !snd) return;
    // Asked before every entity: once the root is known to be there, not again in this bracket.
    const bool vectorizing = nameCache().depth > 0;
    if (vectorizing && m_rootSent) return;
    const QString ms = idOf(db->getModelSpaceId());
    const QString root = ms + QLatin1String("_Root");
    if (!isEntityRegistered(ms, QString())) return;
    if (isEntityRegistered(root, QString())) {
        m_rootSent = vectorizing;
        return;
    }
    float matrix[16];
    zalUnrealViewerFrame::toViewerMatrix(modelScaleMatrix(db), matrix);
    const QString material = idOf(db->globalMaterialId());
    snd->addInstance(utf8(root).c_str(), "Model", utf8(ms).c_str(), "Modelspace", matrix,
                     utf8(material).c_str());
    registerEntity(root, QStringLiteral("Model"));
}

void zalUnrealRenderView::draw(const OdGiDrawable* drawable)
{
    if (!drawable) return;
    const auto* object = dynamic_cast<const OdDbObject*>(drawable);
    zalTranslationOwner* s = owner();
    if (!isSessionReady()) {
        if (object) postpone(object->objectId());
        return;
    }
    if (isSkipped(object)) return;

    // A reference that shows an XBlock's representation stands for the XBlock itself, except inside the
    // XBlock's own geometry: there it is that geometry, and standing for the XBlock would recurse.
    OdDbObjectPtr substitute;
    if (const auto* reference =
            drawKindsOf(object).reference ? dynamic_cast<const OdDbBlockReference*>(object) : nullptr) {
        OdDbObjectPtr owner = viewerOwnerId(reference).openObject();
        if (owner && dynamic_cast<zalDbXBlock*>(owner.get()) &&
            zalUnrealDrawingState::instance().currentEntityName != idOf(owner->objectId())) {
            substitute = owner;
            object = substitute.get();
            drawable = substitute.get();
        }
    }

    sendModelSpaceRoot();
    if (OdGsBaseVectorizeView::mode() != kGouraud) setMode(OdGsView::kGouraudShaded);
    m_awaitingRefresh.erase(object->objectId());
    if (object->isErased()) return;

    zalUnrealDrawingState& state = zalUnrealDrawingState::instance();
    OdDbDatabase* db = database();
    // Taken after the substitution above: the XBlock's own class counts.
    const DrawKinds kinds = drawKindsOf(object);
    if (const auto* light = kinds.light ? dynamic_cast<const OdDbLight*>(object) : nullptr) {
        sendLight(light);
        return;
    }
    if (kinds.starPolygon) return;
    if (const auto* material = kinds.material ? dynamic_cast<const OdDbMaterial*>(object) : nullptr) {
        translateMaterial(material);
        return;
    }
    if (kinds.viewport) {
        if (db && object->objectId() == db->activeViewportId()) s->activeViewportChanged();
        return;
    }
    if (!state.currentEntityName.isEmpty()) {
        // Nested: its faces join the entity being drawn.
        if (logicalFlags(drawable) == 0) OdGsBaseVectorizeViewDef::draw(drawable);
        return;
    }
    if (const auto* reference = kinds.reference ? dynamic_cast<const OdDbBlockReference*>(object) : nullptr) {
        drawBlockReference(reference);
        return;
    }
    if (auto* record = kinds.record ? dynamic_cast<const OdDbBlockTableRecord*>(object) : nullptr) {
        if (m_nestedBlockDraw || (db && object->objectId() == db->getModelSpaceId())) {
            auto* writable = const_cast<OdDbBlockTableRecord*>(record);
            const bool isModelSpace = db && object->objectId() == db->getModelSpaceId();
            if (ensureBlockDefinition(writable, false) || isModelSpace)
                OdGsBaseVectorizeViewDef::draw(drawable);
            return;
        }
    }
    if (const auto* placeholder =
            kinds.placeholder ? dynamic_cast<const zalIUEAssetPlaceHolder*>(object) : nullptr) {
        sendAssetPlaceholder(dynamic_cast<const OdDbEntity*>(object), placeholder->getCommand(),
                             placeholder->getAssetPath(), placeholder->getAssetTransform());
        return;
    }
    if (const auto* spawner = kinds.spawner ? dynamic_cast<const zalDbAssetsSpawner*>(object) : nullptr) {
        zalUnrealAssetSpawning::sendAssetsSpawner(&s->registry(), spawner, this);
        return;
    }
    if (kinds.animation) {
        OdGsBaseVectorizeViewDef::draw(drawable);
        return;
    }
    if (isVisible(object)) {
        const bool isRecord = kinds.record;
        const OdDbObjectId owner = viewerOwnerId(object);
        if (!isRecord && owner.isValid() && !isEntitySent(owner, OdDbObjectId())) {
            postpone(object->objectId());
            return;
        }
        drawGeometry(drawable, object);
    }
}

void zalUnrealRenderView::drawBlockReference(const OdDbBlockReference* reference)
{
    OdDbDatabase* db = database();
    const OdDbObjectId ownerId = viewerOwnerId(reference);
    if (ownerId.isValid() && !isEntitySent(ownerId, OdDbObjectId())) {
        OdDbObjectPtr owner = ownerId.openObject();
        const bool isModelSpace = db && ownerId == db->getModelSpaceId();
        if (!isModelSpace && !dynamic_cast<zalDbXBlock*>(owner.get())) {
            postpone(reference->objectId());
            return;
        }
        if (owner) draw(owner.get());
    }
    OdDbBlockTableRecordPtr record = OdDbBlockTableRecord::cast(reference->blockTableRecord().openObject());
    if (record && !record->isErased() && !isEntitySent(record->objectId(), OdDbObjectId())) {
        m_nestedBlockDraw = true;
        try {
            if (ensureBlockDefinition(record.get(), false)) OdGsBaseVectorizeViewDef::draw(record.get());
        } catch (...) {
            m_nestedBlockDraw = false;
            throw;
        }
        m_nestedBlockDraw = false;
    }
    zalUnrealAssetSpawning::sendBlockReferenceInstance(registry(), reference, this);
}

void zalUnrealRenderView::drawGeometry(const OdGiDrawable* drawable, const OdDbObject* object)
{
    const auto* record =
        drawKindsOf(object).record ? dynamic_cast<const OdDbBlockTableRecord*>(object) : nullptr;
    const auto* entity = dynamic_cast<const OdDbEntity*>(object);
    const QString blockName = idOf(entity ? entity->blockId() : object->ownerId());
    m_currentBlock = blockName;
    if (beginEntity(object)) {
        try {
            OdGsBaseVectorizeViewDef::draw(drawable);
        } catch (const OdError& e) {
            // The error leaves the entity: none of its faces go out (half a shape would look like a
            // broken model), but its batch is still closed, as the drawing state is process-wide.
            qDebug() << "zalUnrealRenderView: drawing failed:"
                     << QString::fromStdString(e.description().toUtf8());
            zalUnrealDrawingState::instance().pendingFaces.clear();
        }
        m_currentBlock = record ? idOf(object) : blockName;
        endEntity(object);
    }
    m_currentBlock.clear();
}

bool zalUnrealRenderView::beginEntity(const OdDbObject* entity)
{
    zalTranslationOwner* s = owner();
    XoRemoteRenderSenderFlattener* snd = sender();
    if (!entity || !s || !snd) return false;
    const QString name = idOf(entity);
    if (name.isEmpty()) return false;
    const QString owner = idOf(viewerOwnerId(entity));
    if (isEntityRegistered(name, owner) && snd->isEntityValid(utf8(name).c_str(), utf8(owner).c_str())) {
        snd->assureEntityConnected(name, owner);
        return false;
    }
    if (owner.isEmpty()) return false;

    zalUnrealDrawingState& state = zalUnrealDrawingState::instance();
    state.pendingFaces.clear();
    state.currentEntityName = name;
    state.currentOwnerName = owner;
    state.currentDatabase = entity->database();
    if (const auto* e = dynamic_cast<const OdDbEntity*>(entity)) {
        state.currentColor = colorRef(e->entityColor(), e->layerId());
        state.currentMaterialKey = materialKey(e->materialId(), entity->database());
    } else {
        state.currentColor = odcmLookupAci(7);
        state.currentMaterialKey = materialKey(OdDbObjectId(), entity->database());
    }

    s->registry().beginBatch("startDrawing");
    if (const auto* xblock = dynamic_cast<const zalDbXBlock*>(entity)) {
        // An XBlock shown by a drawing file brings its own geometry before its faces are flushed.
        if (zalUnrealAssetSpawning::sendXBlock(&s->registry(), xblock, this))
            OdGsBaseVectorizeViewDef::draw(entity);
        endEntity(entity);
        return false;
    }
    return true;
}

void zalUnrealRenderView::closeDrawing()
{
    if (zalEntityRegistry* r = registry()) r->endBatch(false);
}

void zalUnrealRenderView::endEntity(const OdDbObject*)
{
    zalUnrealDrawingState& state = zalUnrealDrawingState::instance();
    zalPendingFaces& pending = state.pendingFaces;
    if (pending.isEmpty()) {
        state.clearCurrentEntity();
        closeDrawing();
        state.deferredBlocks.clear();
        return;
    }
    const QVector<OdSmartPtr<OdDbBlockTableRecord>> deferred = state.deferredBlocks;
    state.deferredBlocks.clear();
    for (const OdSmartPtr<OdDbBlockTableRecord>& record : deferred)
        ensureBlockDefinition(record.get(), false);

    XoRemoteRenderSenderFlattener* snd = sender();
    if (snd) {
        // Meshes in ascending order of their viewer material: faces without a key of their own take the
        // traits' material as it stands now; two keys naming one viewer material share a mesh, their
        // groups in the order of the keys. Keys are resolved in ascending order, each once.
        // Nearly every entity has one group: sorted pairs on the stack, no node or vector per entity.
        using Pairs = QVarLengthArray<std::pair<QString, int>, 4>;
        Pairs byKey;
        for (int g = 0; g < pending.groupCount(); ++g) {
            const QString& key = pending.group(g).materialKey;
            byKey.append({key.isEmpty() ? state.currentMaterialKey : key, g});
        }
        sortByNameKeepingOrder(byKey.begin(), byKey.end());
        Pairs byMaterial;
        for (const auto* run = byKey.begin(); run != byKey.end();) {
            const QString material = ensureMaterial(run->first);
            const auto* end = run;
            for (; end != byKey.end() && end->first == run->first; ++end)
                byMaterial.append({material, end->second});
            run = end;
        }
        sortByNameKeepingOrder(byMaterial.begin(), byMaterial.end());

        const QByteArray entity = state.currentEntityName.toUtf8();
        const QByteArray owner = state.currentOwnerName.toUtf8();
        snd->addInstance(entity.constData(), owner.constData(), "", entity.constData(), nullptr, "");
        registerEntity(state.currentEntityName, state.currentOwnerName);

        // Every face here has three vertices; the flag and face-size arrays are the same for all meshes.
        static std::vector<std::int32_t> ones, threes;
        static zalPendingFaces::Group merged;
        for (const auto* run = byMaterial.begin(); run != byMaterial.end();) {
            const auto* end = run + 1;
            while (end != byMaterial.end() && end->first == run->first)
                ++end;
            const std::pair<QString, int>& material = *run;
            const zalPendingFaces::Group* group = &pending.group(run->second);
            if (end - run > 1) {
                std::vector<int> groups;
                for (const auto* g = run; g != end; ++g)
                    groups.push_back(g->second);
                pending.merge(groups, merged);
                group = &merged;
            }
            run = end;
            const int faces = group->faceCount;
            if (faces == 0) continue;
            const int vertices = 3 * faces;
            if (ones.size() < std::size_t(vertices)) ones.assign(std::size_t(vertices), 1);
            if (threes.size() < std::size_t(faces)) threes.assign(std::size_t(faces), 3);
            const QByteArray name = material.first.toUtf8();
            QByteArray meshName;
            meshName.reserve(entity.size() + 1 + name.size());
            meshName.append(entity).append('_').append(name);
            snd->addMesh(meshName.constData(), entity.constData(), "", group->positions.data(),
                         group->normals.data(), group->textureCoordinates.data(),
                         group->textureCoordinates.data(), ones.data(), threes.data(), faces, vertices,
                         name.constData(), name.constData());
        }
    }
    pending.clear();
    state.clearCurrentEntity();
    closeDrawing();
}

bool zalUnrealRenderView::ensureBlockDefinition(OdDbBlockTableRecord* record, bool deferred)
{
    XoRemoteRenderSenderFlattener* snd = sender();
    if (!record || !snd) return false;
    const QString name = idOf(record);
    if (isEntityRegistered(name, QString()) && snd->isEntityValid(utf8(name).c_str(), "")) return false;
    const QString label = zalStrings::toQString(record->getName());
    if (deferred) {
        zalUnrealDrawingState::instance().deferredBlocks.append(OdSmartPtr<OdDbBlockTableRecord>(record));
        return false;
    }
    registerEntity(name, QString());
    snd->addComponentDef(utf8(name).c_str(), utf8(label).c_str(), false, "");
    OdDbDatabase* db = record->database();
    if (db && record->objectId() == db->getModelSpaceId()) {
        float matrix[16];
        zalUnrealViewerFrame::toViewerMatrix(modelScaleMatrix(db), matrix);
        const QString material = ensureMaterial(idOf(db->globalMaterialId()));
        const QString root = name + QLatin1String("_Root");
        if (!db->xrefBlockId().isNull()) {
            snd->addInstance(utf8(root).c_str(), utf8(idOf(db->xrefBlockId())).c_str(), utf8(name).c_str(),
                             "Modelspace", matrix, utf8(material).c_str());
        } else if (IzalApplication* app = zalApp(); app && app->isOpenDocument(db)) {
            snd->addInstance(utf8(root).c_str(), "Model", utf8(name).c_str(), "Modelspace", matrix,
                             utf8(material).c_str());
        }
        registerEntity(root, QStringLiteral("Model"));
    }
    return true;
}

void zalUnrealRenderView::sendLight(const OdDbLight* light)
{
    XoRemoteRenderSenderFlattener* snd = sender();
    if (!light || !snd) return;
    const QString name = idOf(light);
    const QString owner = idOf(viewerOwnerId(light));
    const OdGiDrawable::DrawableType kind = light->lightType();
    const bool web = kind == OdGiDrawable::kWebLight;
    const OdGiShadowParameters& shadow = light->shadowParameters();
    int type = 0;
    if (kind == OdGiDrawable::kDistantLight)
        type = 3;
    else if (kind == OdGiDrawable::kSpotLight || web)
        type = shadow.extendedLightShape() == OdGiShadowParameters::kRectangle ? 2 : 1;

    const double a = web ? light->physicalIntensity() * 0.0001 : 0.1;
    const double b =
        kind == OdGiDrawable::kDistantLight ? 0.1 : (kind == OdGiDrawable::kSpotLight ? 1000.0 : 100.0);
    const double intensity = light->intensity() * a * b * 100000.0;
    const OdCmEntityColor c = light->resultingColor();
    const std::uint32_t colour =
        std::uint32_t(c.red()) | std::uint32_t(c.green()) << 8 | std::uint32_t(c.blue()) << 16;
    const double size1 = type == 2 ? shadow.extendedLightWidth() : shadow.extendedLightRadius();
    const double size2 = shadow.extendedLightLength();
    const double attenuation = (web ? light->illuminanceDistance() : 1.0) *
                               std::max(light->position().distanceTo(light->targetLocation()), 1.0);

    QString ies;
    if (web) {
        ies = zalStrings::toQString(light->webFile());
        ies.replace(QLatin1Char('\\'), QLatin1Char('/'));
        const int at = ies.indexOf(QLatin1String("/IES/"));
        if (at >= 0) {
            ies = ies.mid(at);
        } else if (zalTranslationOwner* o = this->owner()) {
            const QString library = o->assetsLibraryPath();
            if (!library.isEmpty()) ies = QDir(library).relativeFilePath(ies);
        }
        ies.remove(QLatin1String(".ies"), Qt::CaseInsensitive);
    }

    OdGeVector3d direction = -light->lightDirection();
    if (direction.isZeroLength()) direction = -OdGeVector3d::kZAxis;
    direction.normalize();
    const OdGeVector3d perpendicular = direction.perpVector().normal();
    const OdGeVector3d third = direction.crossProduct(perpendicular).normal();
    OdGeMatrix3d frame;
    frame.setCoordSystem(light->position(), direction, perpendicular, third);
    const double webAngle = web ? OdaToRadian(light->webRotation().z) : 0.0;
    if (webAngle != 0.0) frame = OdGeMatrix3d::rotation(webAngle, direction, light->position()) * frame;
    float matrix[16];
    zalUnrealViewerFrame::toViewerMatrix(frame, matrix);

    snd->addLight(utf8(name).c_str(), utf8(owner).c_str(), float(intensity), colour, type,
                  float(light->hotspotAngle()), float(light->falloffAngle()), float(size1), float(size2),
                  true, float(attenuation), utf8(ies).c_str(), matrix, light->isOn());
    // Registered like any entity, so that erasing the light removes it from the viewer.
    registerEntity(name, owner);
}

void zalUnrealRenderView::sendAssetPlaceholder(const OdDbEntity* entity, const QString& arguments,
                                               const QString& assetName, const OdGeMatrix3d& transform)
{
    XoRemoteRenderSenderFlattener* snd = sender();
    if (!entity || !snd || !isVisible(entity)) return;
    const QString name = idOf(entity);
    const QString owner = idOf(viewerOwnerId(entity));
    if (isEntityRegistered(name, owner) && snd->isEntityValid(utf8(name).c_str(), utf8(owner).c_str()))
        return;
    const QString material = ensureMaterial(materialKey(entity->materialId(), entity->database()));
    float matrix[16];
    zalUnrealViewerFrame::toViewerMatrix(transform, matrix);
    snd->addInstance(utf8(name).c_str(), utf8(owner).c_str(), "", utf8(assetName).c_str(), matrix,
                     utf8(material).c_str());
    snd->sendConsoleCommand(QStringLiteral("CallOnActor %1 %2").arg(name, arguments));
    registerEntity(name, owner);
    snd->assureEntityConnected(name, owner);
}

QString zalUnrealRenderView::ensureMaterial(const QString& key)
{
    return zalUnrealMaterialTranslator::ensureMaterial(registry(), database(), key);
}

void zalUnrealRenderView::translateMaterial(const OdDbMaterial* material)
{
    zalUnrealMaterialTranslator::translateMaterial(registry(), material);
}
