// Macros that give a class its run-time class members (desc, isA, cast, queryX, createObject,
// pseudoConstructor, rxInit, rxUninit). Declare with ODRX_DECLARE_MEMBERS in the class body and
// define with one of the ODRX_*_DEFINE_MEMBERS macros in one source file.
#pragma once

typedef void (*AppNameChangeFuncPtr)(const OdRxClass* classObj, OdString& newAppName, int saveVer);

#define ODRX_DECLARE_MEMBERS(ClassName)                                                                      \
public:                                                                                                      \
    static OdSmartPtr<ClassName> cast(const OdRxObject* pObj);                                               \
    static OdRxClass* desc();                                                                                \
    OdRxClass* isA() const override;                                                                         \
    OdRxObject* queryX(const OdRxClass* pClass) const override;                                              \
    static OdRxObjectPtr pseudoConstructor();                                                                \
    static OdSmartPtr<ClassName> createObject();                                                             \
    static void rxInit();                                                                                    \
    static void rxInit(AppNameChangeFuncPtr appNameChangeFunc);                                              \
    static void rxUninit();                                                                                  \
    static ClassName* reinterpret(void* p)                                                                   \
    {                                                                                                        \
        return static_cast<ClassName*>(p);                                                                   \
    }                                                                                                        \
    static OdRxClass* g_pDesc

// Creation through an OdRxObjectImpl wrapper (plain reference-counted classes).
#define RXIMPL_CONSTR(ClassName) OdRxObjectImpl<ClassName>::createObject()
// Creation of database objects (they count their own references).
#define DBOBJECT_CONSTR(ClassName) OdSmartPtr<ClassName>(new ClassName, kOdRxObjAttach)
#define NO_CONSTR(ClassName) OdRxObjectPtr()

// The complete definition. RxName is the run-time class name (the SDK's Ac* names for the
// database classes). rxInit raises OdError(eAlreadyRegistered) when the class is registered,
// rxUninit and createObject raise OdError(eNotRegistered) when it is not; cast raises
// OdError_NotThatKindOfClass for an object of another class.
#define ODRX_DEFINE_MEMBERS_EX(ClassName, ParentClass, DOCREATE, DwgVer, MaintVer, ProxyFlags, DxfName,      \
                               AppName, RxName)                                                              \
    OdRxClass* ClassName::g_pDesc = nullptr;                                                                 \
    OdRxClass* ClassName::desc()                                                                             \
    {                                                                                                        \
        return g_pDesc;                                                                                      \
    }                                                                                                        \
    OdRxClass* ClassName::isA() const                                                                        \
    {                                                                                                        \
        return g_pDesc;                                                                                      \
    }                                                                                                        \
    OdRxObject* ClassName::queryX(const OdRxClass* pClass) const                                             \
    {                                                                                                        \
        if (pClass && pClass == g_pDesc) {                                                                   \
            const_cast<ClassName*>(this)->addRef();                                                          \
            return static_cast<OdRxObject*>(const_cast<ClassName*>(this));                                   \
        }                                                                                                    \
        return ParentClass::queryX(pClass);                                                                  \
    }                                                                                                        \
    OdSmartPtr<ClassName> ClassName::cast(const OdRxObject* pObj)                                            \
    {                                                                                                        \
        return OdSmartPtr<ClassName>(pObj);                                                                  \
    }                                                                                                        \
    OdRxObjectPtr ClassName::pseudoConstructor()                                                             \
    {                                                                                                        \
        return OdRxObjectPtr(DOCREATE(ClassName));                                                           \
    }                                                                                                        \
    OdSmartPtr<ClassName> ClassName::createObject()                                                          \
    {                                                                                                        \
        if (!g_pDesc) throw OdError(eNotRegistered);                                                         \
        return OdSmartPtr<ClassName>(g_pDesc->create());                                                     \
    }                                                                                                        \
    void ClassName::rxInit()                                                                                 \
    {                                                                                                        \
        rxInit(nullptr);                                                                                     \
    }                                                                                                        \
    void ClassName::rxInit(AppNameChangeFuncPtr appNameChangeFunc)                                           \
    {                                                                                                        \
        if (g_pDesc) throw OdError(eAlreadyRegistered);                                                      \
        g_pDesc = ::newOdRxClass(RxName, ParentClass::desc(), &ClassName::pseudoConstructor, int(DwgVer),    \
                                 int(MaintVer), int(ProxyFlags), DxfName, AppName, appNameChangeFunc);       \
    }                                                                                                        \
    void ClassName::rxUninit()                                                                               \
    {                                                                                                        \
        if (!g_pDesc) throw OdError(eNotRegistered);                                                         \
        ::deleteOdRxClass(g_pDesc);                                                                          \
        g_pDesc = nullptr;                                                                                   \
    }

#define ODRX_CONS_DEFINE_MEMBERS(ClassName, ParentClass, DOCREATE)                                           \
    ODRX_DEFINE_MEMBERS_EX(ClassName, ParentClass, DOCREATE, 0, 0, 0, OdString(), OdString(),                \
                           OdString(L## #ClassName))

#define ODRX_NO_CONS_DEFINE_MEMBERS(ClassName, ParentClass)                                                  \
    ODRX_CONS_DEFINE_MEMBERS(ClassName, ParentClass, NO_CONSTR)

#define ODRX_DEFINE_MEMBERS(ClassName, ParentClass)                                                          \
    ODRX_CONS_DEFINE_MEMBERS(ClassName, ParentClass, RXIMPL_CONSTR)

#define ODRX_DXF_DEFINE_MEMBERS(ClassName, ParentClass, DOCREATE, DwgVer, MaintVer, ProxyFlags, DxfName,     \
                                AppName)                                                                     \
    ODRX_DEFINE_MEMBERS_EX(ClassName, ParentClass, DOCREATE, DwgVer, MaintVer, ProxyFlags,                   \
                           OdString(L## #DxfName), OdString(L## #AppName), OdString(L## #ClassName))

// Database object classes (created with new, reference counted by OdDbObject itself).
#define ODDB_DXF_DEFINE_MEMBERS(ClassName, ParentClass, DwgVer, MaintVer, ProxyFlags, DxfName, AppName)      \
    ODRX_DXF_DEFINE_MEMBERS(ClassName, ParentClass, DBOBJECT_CONSTR, DwgVer, MaintVer, ProxyFlags, DxfName,  \
                            AppName)
