// The session's side of the translation: the device, the view and its entity registry.
#include "module/zalDbUnrealRenderSession.h"
#include "module/zalSessionRegistry.h"
#include "translate/zalViewerNames.h"

#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbObject.h"
#include "RxObjectImpl.h"
#include "gs/ColorMapping.h"
#include "gs/DbGsManager.h"
#include "gs/GiContextForDbDatabase.h"
#include "gs/GsView.h"

#include "translate/zalUnrealRenderDevice.h"
#include "translate/zalUnrealRenderView.h"

#include <algorithm>

namespace {

const ODCOLORREF kBackground = 0xFFFFFF;

} // namespace

zalUnrealRenderDevice* zalDbUnrealRenderSession::device() const
{
    return static_cast<zalUnrealRenderDevice*>(m_device.get());
}

bool zalDbUnrealRenderSession::isReadyToDraw() const
{
    if (zalSessionRegistry::instance().isReactorSuspended()) return false;
    if (!XoRemoteRenderSender::isReachable(m_sender)) return false;
    return isLive() && viewerWindowHandle() != nullptr;
}

QString zalDbUnrealRenderSession::assetsLibraryPath() const
{
    zalUnrealRenderModule* module = this->module();
    return module ? module->assetsLibraryPath() : QString();
}

zalUnrealRenderView* zalDbUnrealRenderSession::view() const
{
    return m_layoutHelper ? dynamic_cast<zalUnrealRenderView*>(m_layoutHelper->activeView()) : nullptr;
}

void zalDbUnrealRenderSession::createTranslation()
{
    if (m_database.isNull()) return;
    OdSmartPtr<zalUnrealRenderDevice> device = zalUnrealRenderDevice::createObject();
    device->setOwner(this);
    OdGiContextForDbDatabasePtr context = OdRxObjectImpl<OdGiContextForDbDatabase>::createObject();
    context->setPaletteBackground(kBackground);
    device->setBackgroundColor(kBackground);
    device->setLogicalPalette(odcmAcadPalette(kBackground), 256);
    context->setDatabase(m_database.get());
    m_layoutHelper =
        OdDbGsManager::setupLayoutViews(m_database->getActiveLayoutBTRId(), device.get(), context.get());
    m_device = device;
    m_giContext = context;
    if (zalUnrealRenderView* renderView = view()) {
        renderView->setOwner(this);
        renderView->setSimplifier(&device->simplifier());
        device->simplifier().setDrawContext(renderView);
    }
}

void zalDbUnrealRenderSession::releaseTranslation()
{
    if (zalUnrealRenderView* renderView = view()) renderView->setOwner(nullptr);
    if (zalUnrealRenderDevice* renderDevice = device()) renderDevice->setOwner(nullptr);
    m_layoutHelper.release();
    m_device.release();
    m_giContext.release();
}

void zalDbUnrealRenderSession::drawObject(const OdDbObject* object)
{
    if (zalUnrealRenderView* renderView = view()) renderView->drawObject(object);
}

void zalDbUnrealRenderSession::drawEntitiesOf(const OdDbBlockTableRecord* record)
{
    if (zalUnrealRenderView* renderView = view()) renderView->drawEntitiesOf(record);
}

void zalDbUnrealRenderSession::postpone(const OdDbObjectId& id)
{
    if (zalUnrealRenderView* renderView = view()) renderView->postpone(id);
}

void zalDbUnrealRenderSession::redrawModelSpace()
{
    zalUnrealRenderView* renderView = view();
    if (!renderView) return;
    if (renderView->OdGsBaseVectorizeView::mode() != OdGsView::kGouraudShaded)
        renderView->setMode(OdGsView::kGouraudShaded);
    // Each entity lists one name here and sends an entity and a mesh: room for them all up front.
    OdDbBlockTableRecordPtr modelSpace = m_database->getModelSpaceId().openObject();
    if (!modelSpace.isNull()) {
        const OdUInt32 entities = modelSpace->numEntities();
        m_registry.reserve(int(std::min<OdUInt32>(entities, 1u << 28)));
        if (m_sender) m_sender->reserveHeld(2 * std::size_t(entities));
    }
    renderView->drawObject(m_database->getModelSpaceId());
}

void zalDbUnrealRenderSession::drawPendingObjects()
{
    if (zalUnrealRenderView* renderView = view()) renderView->drawAwaitingObjects();
}

void zalDbUnrealRenderSession::updateView()
{
    if (zalUnrealRenderView* renderView = view()) renderView->update();
}

int zalDbUnrealRenderSession::numObjectsAwaitingRefresh() const
{
    zalUnrealRenderView* renderView = view();
    return renderView ? renderView->numObjectsAwaitingRefresh() : 0;
}

void zalDbUnrealRenderSession::forgetEntity(const OdDbObject* object)
{
    if (zalUnrealRenderView* renderView = view()) renderView->forgetEntity(zalViewerNames::ofObject(object));
}

bool zalDbUnrealRenderSession::isExcluded(const OdDbObject* object) const
{
    return zalUnrealRenderView::isSkipped(object);
}

bool zalDbUnrealRenderSession::isRegistered(const QString& name, const QString& owner) const
{
    zalUnrealRenderView* renderView = view();
    return renderView && renderView->isEntityRegistered(name, owner);
}

void zalDbUnrealRenderSession::registerEntity(const QString& name, const QString& owner)
{
    if (zalUnrealRenderView* renderView = view()) renderView->registerEntity(name, owner);
}

OdDbObjectId zalDbUnrealRenderSession::viewerOwnerId(const OdDbObject* object) const
{
    zalUnrealRenderView* renderView = view();
    return renderView ? renderView->viewerOwnerId(object) : object->ownerId();
}
