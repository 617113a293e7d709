#include "zalPropEditorServices.h"
#include "zalStrings.h"

#include "zalPropertyPage.h"

#include "RxDictionary.h"
#include "RxObjectImpl.h"

#include <QLayout>

namespace {

} // namespace

OdSmartPtr<zalPropEditorServices> zalPropEditorServices::createObject()
{
    return OdRxObjectImpl<zalPropEditorServices>::createObject();
}

OdString zalPropEditorServices::createPropView(QLayout* layout)
{
    if (!layout) return OdString();
    auto* page = new zalPropertyPage(layout->parentWidget());
    layout->addWidget(page);
    QString id = QString("propview-%1").arg(m_nextPage++);
    page->setObjectName(id);
    m_pages.insert(id, page);
    return OdString(id.toStdWString());
}

zalPropertyPage* zalPropEditorServices::page(const OdString& pageId) const
{
    return m_pages.value(zalStrings::toQString(pageId)).data();
}

bool zalPropEditorServices::attachPropSource(const OdString& pageId, OdPropSource* source,
                                             const OdString& title, const OdString& subtitle,
                                             const OdString& attributes, OdRxObject* database)
{
    zalPropertyPage* target = page(pageId);
    if (!target || !source) return false;
    target->attach(source, zalStrings::toQString(title), zalStrings::toQString(subtitle),
                   zalStrings::toQString(attributes), database);
    return true;
}

bool zalPropEditorServices::refreshPage(const OdString& pageId, OdPropSource* source, bool)
{
    zalPropertyPage* target = page(pageId);
    if (!target || !source || target->source() != source) return false;
    target->reload();
    return true;
}

bool zalPropEditorServices::detachPage(const OdString& pageId)
{
    zalPropertyPage* target = page(pageId);
    if (!target) {
        m_pages.remove(zalStrings::toQString(pageId));
        return false;
    }
    target->detach();
    return true;
}

OdRxObject* zalPropEditorServices::pageDatabase(const OdString& pageId) const
{
    zalPropertyPage* target = page(pageId);
    return target ? target->database() : nullptr;
}

OdPropServicesPtr zalPropEditorServices::registerServices()
{
    OdPropServicesPtr present = odrxPropServices();
    if (!present.isNull()) return present;
    OdSmartPtr<zalPropEditorServices> services = createObject();
    odrxSysRegistry()->putAt(OdString(OD_PROP_SERVICES), services.get());
    return OdPropServicesPtr(services.get());
}

void zalPropEditorServices::unregisterServices()
{
    OdRxObjectPtr present = odrxSysRegistry()->getAt(OdString(OD_PROP_SERVICES));
    if (dynamic_cast<zalPropEditorServices*>(present.get()))
        odrxSysRegistry()->remove(OdString(OD_PROP_SERVICES));
}
