// Entry points of a module library. A module library defines, once,
//   ODRX_DEFINE_DYNAMIC_MODULE(MyModule)
// which exports
//   extern "C" OdRxModule* odrxCreateModuleObject(void* sysHandle)  (one module object per library)
//   extern "C" int odrxGetAPIVersion(int& major, int& minor, int& majorBuild, int& minorBuild)
// A library may also write both functions itself; the linker calls them with these signatures.
#pragma once

#include "RxModule.h"

#include <atomic>

extern "C" {
typedef OdRxModule* (*OdRxCreateModuleObjectFn)(void* sysHandle);
typedef int (*OdRxGetAPIVersionFn)(int& major, int& minor, int& majorBuild, int& minorBuild);
}

// The module object of a library: counts its references and keeps the system handle. It is
// never deleted while its library is loaded, so every odrxCreateModuleObject call answers it.
template <class T> class OdRxDynamicModuleImpl : public T
{
public:
    explicit OdRxDynamicModuleImpl(void* sysHandle) : m_hModule(sysHandle) {}
    void addRef() override { ++m_nRefCounter; }
    void release() override { --m_nRefCounter; }
    long numRefs() const override { return m_nRefCounter; }
    void* sysData() override { return m_hModule; }

private:
    std::atomic<long> m_nRefCounter{0};
    void* m_hModule;
};

#define ODRX_DEFINE_DYNAMIC_MODULE(ModuleClass)                                                              \
    extern "C" ODKIT_EXPORT OdRxModule* odrxCreateModuleObject(void* sysHandle)                              \
    {                                                                                                        \
        static OdRxDynamicModuleImpl<ModuleClass>* s_module =                                                \
            new OdRxDynamicModuleImpl<ModuleClass>(sysHandle);                                               \
        return s_module;                                                                                     \
    }                                                                                                        \
    extern "C" ODKIT_EXPORT int odrxGetAPIVersion(int& major, int& minor, int& majorBuild, int& minorBuild)  \
    {                                                                                                        \
        major = ODKIT_API_MAJOR;                                                                             \
        minor = ODKIT_API_MINOR;                                                                             \
        majorBuild = 0;                                                                                      \
        minorBuild = 0;                                                                                      \
        return 0;                                                                                            \
    }
