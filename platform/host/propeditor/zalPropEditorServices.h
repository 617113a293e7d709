#pragma once

#include "PropServices.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>

#include <functional>

class OdDbDatabase;
class zalPropertyPage;

// The reference host's property services: each property view is a zalPropertyPage put into the
// caller's layout (and owned by the layout's widget). Published in the system registry by
// registerServices, normally once by the host application at start.
class zalPropEditorServices : public OdPropServices
{
public:
    static OdSmartPtr<zalPropEditorServices> createObject();

    OdString createPropView(QLayout* layout) override;
    bool attachPropSource(const OdString& pageId, OdPropSource* source, const OdString& title,
                          const OdString& subtitle, const OdString& attributes,
                          OdRxObject* database = nullptr) override;
    bool refreshPage(const OdString& pageId, OdPropSource* source, bool values) override;
    bool detachPage(const OdString& pageId) override;
    OdRxObject* pageDatabase(const OdString& pageId) const override;

    // The drawings a page attached without a database may write to; an edit on such a page opens an
    // undo step in each of them, so it never joins the command before it.
    using DrawingList = std::function<QList<OdDbDatabase*>()>;
    void setOpenDrawings(DrawingList drawings);

    // The page of an id; null when unknown or already destroyed with its parent.
    zalPropertyPage* page(const OdString& pageId) const;

    // Puts services under "OdPropServices" unless some are there already; the services now published.
    static OdPropServicesPtr registerServices();
    // Removes them again when they are this host's.
    static void unregisterServices();

protected:
    zalPropEditorServices() = default;

private:
    QHash<QString, QPointer<zalPropertyPage>> m_pages;
    int m_nextPage = 1;
    DrawingList m_drawings;
};
