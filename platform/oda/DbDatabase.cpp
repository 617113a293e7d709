#include "DbDatabase.h"

#include "DbBlockTable.h"
#include "DbDictionary.h"
#include "DbLayerTable.h"
#include "DbMaterial.h"
#include "DbViewportTable.h"
#include "RxObjectImpl.h"
#include "internal/DbDefine.h"
#include "internal/DbImpl.h"
#include "internal/DbUnitsFormatterImpl.h"

#include <algorithm>
#include <atomic>

ODKIT_DB_DEFINE_MEMBERS(OdDbDatabase, OdRxObject, RXIMPL_CONSTR, L"AcDbDatabase", L"")

namespace {
std::atomic<OdUInt32> g_nextTag{1};

template <class T> OdSmartPtr<T> make()
{
    return OdSmartPtr<T>(new T, kOdRxObjAttach);
}
} // namespace

OdDbDatabase::OdDbDatabase() : m_impl(new Impl)
{
    m_impl->tag = g_nextTag++;
    m_impl->formatter = odkit::createDatabaseUnitsFormatter(this);

    // Standard contents, made without the class registry so that a database can be built
    // whatever the registration state of user classes.
    OdSmartPtr<OdDbDictionary> nod = make<OdDbDictionary>();
    m_impl->namedObjects = OdDbObjectAccess::add(this, nod, OdDbObjectId(), OdDbHandle());
    OdSmartPtr<OdDbBlockTable> blocks = make<OdDbBlockTable>();
    m_impl->blockTable = OdDbObjectAccess::add(this, blocks, OdDbObjectId(), OdDbHandle());
    OdSmartPtr<OdDbLayerTable> layers = make<OdDbLayerTable>();
    m_impl->layerTable = OdDbObjectAccess::add(this, layers, OdDbObjectId(), OdDbHandle());
    OdSmartPtr<OdDbViewportTable> viewports = make<OdDbViewportTable>();
    m_impl->viewportTable = OdDbObjectAccess::add(this, viewports, OdDbObjectId(), OdDbHandle());

    OdDbBlockTableRecordPtr ms = make<OdDbBlockTableRecord>();
    ms->setName(OdDbBlockTableRecord::modelSpaceName);
    m_impl->modelSpace = blocks->add(ms);
    OdDbBlockTableRecordPtr ps = make<OdDbBlockTableRecord>();
    ps->setName(OdDbBlockTableRecord::paperSpaceName);
    m_impl->paperSpace = blocks->add(ps);
    m_impl->activeLayout = m_impl->modelSpace;

    OdSmartPtr<OdDbDictionary> materials = make<OdDbDictionary>();
    m_impl->materialDictionary = nod->setAt(L"ACAD_MATERIAL", materials);
    auto material = [&](const OdChar* name) {
        OdDbMaterialPtr m = make<OdDbMaterial>();
        m->setName(name);
        return materials->setAt(name, m);
    };
    m_impl->byBlockMaterial = material(L"ByBlock");
    m_impl->byLayerMaterial = material(L"ByLayer");
    m_impl->globalMaterial = material(L"Global");

    OdDbLayerTableRecordPtr zero = make<OdDbLayerTableRecord>();
    zero->setName(L"0");
    OdCmColor white;
    white.setColorIndex(7);
    zero->setColor(white);
    zero->setMaterialId(m_impl->globalMaterial);
    m_impl->layerZero = layers->add(zero);
    m_impl->clayer = m_impl->layerZero;

    OdDbViewportTableRecordPtr active = make<OdDbViewportTableRecord>();
    active->setName(L"*Active");
    active->setTarget(OdGePoint3d::kOrigin);
    active->setViewDirection(OdGeVector3d::kZAxis);
    active->setHeight(100.0);
    active->setWidth(100.0);
    m_impl->activeViewport = viewports->add(active);
}

OdDbDatabase::~OdDbDatabase()
{
    m_impl->notify(this, [&](OdDbDatabaseReactor* r) { r->goodbye(this); });
    m_impl->undoSteps.clear();
    m_impl->redoSteps.clear();
    // Detach every object first, so that objects released below (or still held by someone)
    // no longer reach into this database.
    std::vector<OdDbObject*> objects;
    for (auto& entry : m_impl->stubs)
        if (OdDbObject* obj = entry.second->object) {
            OdDbObjectAccess::detach(obj);
            objects.push_back(obj);
        }
    for (OdDbObject* obj : objects)
        obj->release();
    for (auto& entry : m_impl->stubs)
        delete entry.second;
    delete m_impl;
}

OdUInt32 OdDbDatabase::tag() const
{
    return m_impl->tag;
}

OdDbObjectId OdDbDatabase::getBlockTableId() const
{
    return m_impl->blockTable;
}
OdDbObjectId OdDbDatabase::getLayerTableId() const
{
    return m_impl->layerTable;
}
OdDbObjectId OdDbDatabase::getViewportTableId() const
{
    return m_impl->viewportTable;
}
OdDbObjectId OdDbDatabase::getNamedObjectsDictionaryId() const
{
    return m_impl->namedObjects;
}
OdDbObjectId OdDbDatabase::getMaterialDictionaryId() const
{
    return m_impl->materialDictionary;
}
OdDbObjectId OdDbDatabase::getModelSpaceId() const
{
    return m_impl->modelSpace;
}
OdDbObjectId OdDbDatabase::getPaperSpaceId() const
{
    return m_impl->paperSpace;
}
OdDbObjectId OdDbDatabase::getLayerZeroId() const
{
    return m_impl->layerZero;
}
OdDbObjectId OdDbDatabase::byLayerMaterialId() const
{
    return m_impl->byLayerMaterial;
}
OdDbObjectId OdDbDatabase::byBlockMaterialId() const
{
    return m_impl->byBlockMaterial;
}
OdDbObjectId OdDbDatabase::globalMaterialId() const
{
    return m_impl->globalMaterial;
}
OdDbObjectId OdDbDatabase::activeViewportId() const
{
    return m_impl->activeViewport;
}
OdDbObjectId OdDbDatabase::getActiveLayoutBTRId() const
{
    return m_impl->activeLayout;
}
void OdDbDatabase::setActiveLayoutBTRId(const OdDbObjectId& blockId)
{
    m_impl->activeLayout = blockId;
}
OdDbObjectId OdDbDatabase::xrefBlockId() const
{
    return m_impl->xrefBlock;
}
void OdDbDatabase::setXrefBlockId(const OdDbObjectId& blockId)
{
    m_impl->xrefBlock = blockId;
}

OdDbObjectId OdDbDatabase::addOdDbObject(OdDbObject* object, OdDbObjectId ownerId, OdDbHandle handle)
{
    return OdDbObjectAccess::add(this, object, ownerId, handle);
}

OdDbObjectId OdDbDatabase::getOdDbObjectId(const OdDbHandle& handle, bool) const
{
    auto it = m_impl->stubs.find(handle);
    return it == m_impl->stubs.end() ? OdDbObjectId() : OdDbObjectId(it->second);
}

OdDbHandle OdDbDatabase::handseed() const
{
    return OdDbHandle(m_impl->handseed);
}

void OdDbDatabase::setHandseed(const OdDbHandle& seed)
{
    m_impl->handseed = std::max<OdUInt64>(m_impl->handseed, OdUInt64(seed));
}

void OdDbDatabase::setNextHandle(const OdDbHandle& handle)
{
    m_impl->nextHandle = OdUInt64(handle);
}

void OdDbDatabase::addReactor(OdDbDatabaseReactor* reactor)
{
    if (reactor && !hasReactor(reactor)) m_impl->reactors.push_back(reactor);
}

void OdDbDatabase::removeReactor(OdDbDatabaseReactor* reactor)
{
    auto& list = m_impl->reactors;
    list.erase(std::remove(list.begin(), list.end(), reactor), list.end());
}

bool OdDbDatabase::hasReactor(const OdDbDatabaseReactor* reactor) const
{
    const auto& list = m_impl->reactors;
    return std::find(list.begin(), list.end(), reactor) != list.end();
}

void OdDbDatabase::visitEntities(const std::function<void(const OdDbObjectId& entityId)>& visitor) const
{
    // Ids are collected first: the visitor may change the drawing.
    OdDbObjectIdArray blocks;
    blocks.append(m_impl->modelSpace);
    if (OdDbObject* table = OdDbObjectAccess::object(m_impl->blockTable))
        for (const OdDbObjectId& id : static_cast<const OdDbObjectIdArray&>(OdDbObjectAccess::records(table)))
            if (id != m_impl->modelSpace) blocks.append(id);
    for (const OdDbObjectId& blockId : static_cast<const OdDbObjectIdArray&>(blocks)) {
        OdDbObject* block = OdDbObjectAccess::object(blockId);
        if (!block || block->isErased()) continue;
        OdDbObjectIdArray entities = OdDbObjectAccess::entities(block);
        for (const OdDbObjectId& id : static_cast<const OdDbObjectIdArray&>(entities))
            if (id.isValid() && !id.isErased()) visitor(id);
    }
}

namespace {
template <class D, class T> void setVar(OdDbDatabase* db, D* d, T& var, T value, const OdChar* name)
{
    if (var == value) return;
    d->notify(db, [&](OdDbDatabaseReactor* r) { r->headerSysVarWillChange(db, name); });
    var = value;
    d->notify(db, [&](OdDbDatabaseReactor* r) { r->headerSysVarChanged(db, name); });
}
} // namespace

OdDb::UnitsValue OdDbDatabase::getINSUNITS() const
{
    return m_impl->insunits;
}
void OdDbDatabase::setINSUNITS(OdDb::UnitsValue units)
{
    if (units < OdDb::kUnitsUndefined || units > OdDb::kUnitsMax) throw OdError(eInvalidInput);
    setVar(this, m_impl, m_impl->insunits, units, L"INSUNITS");
}
OdInt16 OdDbDatabase::getLUNITS() const
{
    return m_impl->lunits;
}
void OdDbDatabase::setLUNITS(OdInt16 lunits)
{
    if (lunits < 1 || lunits > 5) throw OdError(eInvalidInput);
    setVar(this, m_impl, m_impl->lunits, lunits, L"LUNITS");
}
OdInt16 OdDbDatabase::getLUPREC() const
{
    return m_impl->luprec;
}
void OdDbDatabase::setLUPREC(OdInt16 precision)
{
    if (precision < 0 || precision > 8) throw OdError(eInvalidInput);
    setVar(this, m_impl, m_impl->luprec, precision, L"LUPREC");
}
OdInt16 OdDbDatabase::getAUNITS() const
{
    return m_impl->aunits;
}
void OdDbDatabase::setAUNITS(OdInt16 aunits)
{
    if (aunits < 0 || aunits > 4) throw OdError(eInvalidInput);
    setVar(this, m_impl, m_impl->aunits, aunits, L"AUNITS");
}
OdInt16 OdDbDatabase::getAUPREC() const
{
    return m_impl->auprec;
}
void OdDbDatabase::setAUPREC(OdInt16 precision)
{
    if (precision < 0 || precision > 8) throw OdError(eInvalidInput);
    setVar(this, m_impl, m_impl->auprec, precision, L"AUPREC");
}
OdDb::MeasurementValue OdDbDatabase::getMEASUREMENT() const
{
    return m_impl->measurement;
}
void OdDbDatabase::setMEASUREMENT(OdDb::MeasurementValue value)
{
    setVar(this, m_impl, m_impl->measurement, value, L"MEASUREMENT");
}
OdDbObjectId OdDbDatabase::getCLAYER() const
{
    return m_impl->clayer;
}
void OdDbDatabase::setCLAYER(const OdDbObjectId& layerId)
{
    OdDbObjectId id = layerId;
    setVar(this, m_impl, m_impl->clayer, id, L"CLAYER");
}
OdInt16 OdDbDatabase::getCVPORT() const
{
    return m_impl->cvport;
}
void OdDbDatabase::setCVPORT(OdInt16 number)
{
    setVar(this, m_impl, m_impl->cvport, number, L"CVPORT");
}
bool OdDbDatabase::getTILEMODE() const
{
    return m_impl->tilemode;
}
void OdDbDatabase::setTILEMODE(bool value)
{
    setVar(this, m_impl, m_impl->tilemode, value, L"TILEMODE");
}

OdDbUnitsFormatter& OdDbDatabase::formatter()
{
    return *m_impl->formatter;
}

const OdDbUnitsFormatter& OdDbDatabase::formatter() const
{
    return *m_impl->formatter;
}

OdString OdDbDatabase::getFilename() const
{
    return m_impl->fileName;
}

void OdDbDatabase::setFilename(const OdString& fileName)
{
    m_impl->fileName = fileName;
}

void OdDbDatabase::disableUndoRecording(bool disable)
{
    m_impl->undoDisabled = disable;
}

void OdDbDatabase::startUndoRecord()
{
    m_impl->undoStarted = true;
    m_impl->filedInStep.clear();
    if (m_impl->undoSteps.empty() || !m_impl->undoSteps.back().empty()) m_impl->newStep();
}

OdDbDatabase::UndoPosition OdDbDatabase::undoPosition() const
{
    UndoPosition position;
    for (auto it = m_impl->undoSteps.rbegin(); it != m_impl->undoSteps.rend(); ++it)
        if (!it->empty()) {
            position.step = it->serial;
            position.actions = OdUInt64(it->size());
            break;
        }
    position.unrecorded = m_impl->unrecordedChanges;
    return position;
}

bool OdDbDatabase::hasUndo() const
{
    for (const auto& step : m_impl->undoSteps)
        if (!step.empty()) return true;
    return false;
}

void OdDbDatabase::undo()
{
    auto& steps = m_impl->undoSteps;
    while (!steps.empty() && steps.back().empty())
        steps.pop_back();
    if (steps.empty()) return;
    Impl::UndoStep step = std::move(steps.back());
    steps.pop_back();
    // Restoring writes objects: nothing of it may be filed as a new step.
    const bool disabled = m_impl->undoDisabled;
    m_impl->undoDisabled = true;
    m_impl->replaying = true;
    for (auto it = step.rbegin(); it != step.rend(); ++it) {
        if (it->kind == Impl::UndoAction::kAppend)
            OdDbObjectAccess::unAppend(it->stub, it->object);
        else if (it->kind == Impl::UndoAction::kModify)
            OdDbObjectAccess::restore(it->stub, it->before.get(), &it->after);
        else if (it->stub->object)
            OdDbObjectAccess::setErased(it->stub->object, !it->erased, false);
    }
    m_impl->undoDisabled = disabled;
    m_impl->replaying = false;
    m_impl->filedInStep.clear();
    m_impl->redoSteps.push_back(std::move(step));
}

bool OdDbDatabase::hasRedo() const
{
    return !m_impl->redoSteps.empty();
}

void OdDbDatabase::redo()
{
    if (m_impl->redoSteps.empty()) return;
    // On the undo list before the objects change: reactors told of them see the position redone.
    m_impl->undoSteps.push_back(std::move(m_impl->redoSteps.back()));
    m_impl->redoSteps.pop_back();
    Impl::UndoStep& step = m_impl->undoSteps.back();
    const bool disabled = m_impl->undoDisabled;
    m_impl->undoDisabled = true;
    m_impl->replaying = true;
    for (auto& action : step) {
        if (action.kind == Impl::UndoAction::kAppend) {
            OdDbObjectAccess::reAppend(action.stub, action.object);
            action.object.release();
        } else if (action.kind == Impl::UndoAction::kModify) {
            OdDbObjectAccess::restore(action.stub, action.after.get(), nullptr);
        } else if (action.stub->object) {
            OdDbObjectAccess::setErased(action.stub->object, action.erased, false);
        }
    }
    m_impl->undoDisabled = disabled;
    m_impl->replaying = false;
    m_impl->filedInStep.clear();
}
