// The property services: the host's drawing of property pages, published in the system registry
// under "OdPropServices" by the host, and the registry of property sources per run-time class that
// entity libraries fill. The host supplies the page operations; the class registry is here.
#pragma once

#include "PropSource.h"

#include <functional>
#include <map>
#include <mutex>

class QLayout;

#define OD_PROP_SERVICES L"OdPropServices"

class ODPROP_EXPORT OdPropServices : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdPropServices);
    OdPropServices();
    ~OdPropServices() override;

    // Creates a property view inside layout and answers its page id; empty when it cannot.
    virtual OdString createPropView(QLayout* layout) = 0;
    // Shows source on the page (replacing what it showed) and routes its edits to the source.
    // database, when given, is what the source describes (handed to its context). False for an
    // unknown page or a null source.
    virtual bool attachPropSource(const OdString& pageId, OdPropSource* source, const OdString& title,
                                  const OdString& subtitle, const OdString& attributes,
                                  OdRxObject* database = nullptr) = 0;
    // Reads the source's properties again and redraws the page (values only: the open groups
    // stay open). False when the page does not show that source.
    virtual bool refreshPage(const OdString& pageId, OdPropSource* source, bool values) = 0;
    // The page forgets its source and shows nothing; false for an unknown page.
    virtual bool detachPage(const OdString& pageId) = 0;
    // The database the page was attached with; null when none or for an unknown page.
    virtual OdRxObject* pageDatabase(const OdString& pageId) const = 0;

    // Makes a property source for an object of a registered class.
    typedef std::function<OdPropSourcePtr(OdRxObject* object)> SourceConstructor;
    // Registers the source constructor for objects of className (and of classes derived from it
    // without a registration of their own). False when className is empty, the constructor empty
    // or the name already registered. flags are kept for the host.
    bool registerXmlProp(const OdString& className, const SourceConstructor& constructor,
                         OdUInt32 flags = 0xFFFFFFFF);
    bool unregisterXmlProp(const OdString& className);
    bool isXmlPropRegistered(const OdString& className) const;
    OdUInt32 xmlPropFlags(const OdString& className) const;
    // A source for object from the registration of its class or its nearest registered parent;
    // null when there is none.
    OdPropSourcePtr createXmlPropSource(OdRxObject* object) const;

private:
    struct Registration
    {
        SourceConstructor constructor;
        OdUInt32 flags;
    };
    mutable std::mutex m_mutex;
    std::map<OdString, Registration> m_registrations;
};
typedef OdSmartPtr<OdPropServices> OdPropServicesPtr;

// The services in the system registry; null when no host published them.
ODPROP_EXPORT OdPropServicesPtr odrxPropServices();
