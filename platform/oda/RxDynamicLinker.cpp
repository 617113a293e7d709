#include "RxDynamicLinker.h"

#include "RxClass.h"
#include "RxDynamicModule.h"
#include "RxObjectImpl.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <unistd.h>
#include <vector>

ODRX_NO_CONS_DEFINE_MEMBERS(OdRxDynamicLinker, OdRxObject)

namespace {

std::string utf8(const OdString& s)
{
    return s.toUtf8();
}

bool endsWithNoCase(const std::string& s, const std::string& suffix)
{
    if (s.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) != suffix[i])
            return false;
    return true;
}

// "dir/TD_Db.dll" -> "TD_Db"; the key modules are known by.
std::string moduleKey(const std::string& name)
{
    std::string base = name;
    size_t slash = base.find_last_of('/');
    if (slash != std::string::npos) base = base.substr(slash + 1);
    for (const char* ext : {".dll", ".tx", ".drx", ".so", ".dbx", ".arx"})
        if (endsWithNoCase(base, ext)) {
            base.resize(base.size() - std::string(ext).size());
            break;
        }
    return base;
}

std::string folderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string executableFolder()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return std::string();
    buf[n] = '\0';
    return folderOf(buf);
}

std::string odkitFolder()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&odrxDynamicLinker), &info) && info.dli_fname)
        return folderOf(info.dli_fname);
    return std::string();
}

struct LoadedModule
{
    OdRxModulePtr module;
    std::string path;
};

class DynamicLinker : public OdRxDynamicLinker
{
public:
    OdRxModulePtr loadModule(const OdString& moduleName, bool silent) override;
    OdRxModulePtr loadApp(const OdString& appName, bool silent) override
    {
        return loadModule(appName, silent);
    }
    bool unloadModule(const OdString& moduleName) override;
    bool unloadApp(const OdString& appName) override { return unloadModule(appName); }
    OdRxModulePtr getModule(const OdString& moduleName) const override;
    OdArray<OdString> loadedModuleNames() const override;
    OdString modulePath(const OdString& moduleName) const override;
    OdString lastError() const override;

    void registerStatic(const std::string& key, OdRxStaticModuleFactory factory)
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_static[key] = factory;
    }

private:
    OdRxModulePtr fail(const std::string& message)
    {
        m_lastError = OdString::fromUtf8(message);
        return OdRxModulePtr();
    }
    OdRxModule* openLibrary(const std::string& name, std::string& path);

    mutable std::recursive_mutex m_mutex;
    std::map<std::string, LoadedModule> m_loaded;
    std::vector<std::string> m_order;
    std::map<std::string, OdRxStaticModuleFactory> m_static;
    OdString m_lastError;
};

OdRxModule* DynamicLinker::openLibrary(const std::string& name, std::string& path)
{
    std::vector<std::string> candidates;
    std::string key = moduleKey(name);
    if (name.find('/') != std::string::npos) {
        candidates.push_back(name);
        candidates.push_back(folderOf(name) + "/" + key + ".so");
        candidates.push_back(folderOf(name) + "/lib" + key + ".so");
    } else {
        std::vector<std::string> folders;
        if (const char* env = std::getenv("ODKIT_MODULE_PATH")) {
            std::string list(env);
            size_t start = 0;
            while (start <= list.size()) {
                size_t colon = list.find(':', start);
                std::string dir =
                    list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
                if (!dir.empty()) folders.push_back(dir);
                if (colon == std::string::npos) break;
                start = colon + 1;
            }
        }
        folders.push_back(executableFolder());
        folders.push_back(odkitFolder());
        for (const std::string& dir : folders) {
            if (dir.empty()) continue;
            candidates.push_back(dir + "/" + key + ".so");
            candidates.push_back(dir + "/lib" + key + ".so");
        }
    }

    std::string errors;
    for (const std::string& candidate : candidates) {
        if (access(candidate.c_str(), F_OK) != 0) continue;
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* err = dlerror();
            errors += std::string("; ") + (err ? err : candidate);
            continue;
        }
        auto create = reinterpret_cast<OdRxCreateModuleObjectFn>(dlsym(handle, "odrxCreateModuleObject"));
        if (!create) {
            dlclose(handle);
            errors += "; " + candidate + " does not export odrxCreateModuleObject";
            continue;
        }
        if (auto version = reinterpret_cast<OdRxGetAPIVersionFn>(dlsym(handle, "odrxGetAPIVersion"))) {
            int major = 0, minor = 0, majorBuild = 0, minorBuild = 0;
            version(major, minor, majorBuild, minorBuild);
            if (major != ODKIT_API_MAJOR) {
                errors += "; " + candidate + " was built for API version " + std::to_string(major);
                continue; // the library stays mapped: unloading code we already called into is not safe
            }
        }
        OdRxModule* module = create(handle);
        if (!module) {
            errors += "; " + candidate + ": odrxCreateModuleObject answered no module";
            continue;
        }
        path = candidate;
        return module;
    }
    m_lastError = OdString::fromUtf8("Module " + name + " not found" + errors);
    return nullptr;
}

OdRxModulePtr DynamicLinker::loadModule(const OdString& moduleName, bool)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::string name = utf8(moduleName);
    std::string key = moduleKey(name);
    if (key.empty()) return fail("Empty module name");
    auto found = m_loaded.find(key);
    if (found != m_loaded.end()) return found->second.module;

    OdRxModulePtr module;
    std::string path;
    auto builtIn = m_static.find(key);
    if (builtIn != m_static.end())
        module.attach(builtIn->second()); // factories hand over a reference
    else
        module = openLibrary(name, path); // library modules keep their own count
    if (module.isNull()) return OdRxModulePtr();

    // Registered before initApp, so a module that loads its siblings (or asks for itself)
    // during initApp sees it.
    LoadedModule& entry = m_loaded[key];
    entry.module = module;
    entry.path = path;
    m_order.push_back(key);
    module->setModuleName(OdString::fromUtf8(key));
    try {
        module->initApp();
    } catch (...) {
        m_loaded.erase(key);
        m_order.erase(std::find(m_order.begin(), m_order.end(), key));
        throw;
    }
    return module;
}

bool DynamicLinker::unloadModule(const OdString& moduleName)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::string key = moduleKey(utf8(moduleName));
    auto found = m_loaded.find(key);
    if (found == m_loaded.end()) return false;
    OdRxModulePtr module = found->second.module;
    if (!module->isValidToUnload()) return false;
    module->uninitApp();
    m_loaded.erase(key);
    m_order.erase(std::find(m_order.begin(), m_order.end(), key));
    // The library stays mapped: objects and classes it made may outlive the module.
    return true;
}

OdRxModulePtr DynamicLinker::getModule(const OdString& moduleName) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto found = m_loaded.find(moduleKey(utf8(moduleName)));
    return found == m_loaded.end() ? OdRxModulePtr() : found->second.module;
}

OdArray<OdString> DynamicLinker::loadedModuleNames() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    OdArray<OdString> names;
    for (const std::string& key : m_order)
        names.append(OdString::fromUtf8(key));
    return names;
}

OdString DynamicLinker::modulePath(const OdString& moduleName) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto found = m_loaded.find(moduleKey(utf8(moduleName)));
    return found == m_loaded.end() ? OdString() : OdString::fromUtf8(found->second.path);
}

OdString DynamicLinker::lastError() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_lastError;
}

DynamicLinker* linker()
{
    // Lives for the whole process; modules stay loaded until the process ends.
    static DynamicLinker* instance = new OdRxObjectImpl<DynamicLinker>();
    return instance;
}

} // namespace

OdRxDynamicLinker* odrxDynamicLinker()
{
    return linker();
}

void odrxRegisterStaticModule(const OdString& moduleName, OdRxStaticModuleFactory factory)
{
    linker()->registerStatic(moduleKey(moduleName.toUtf8()), factory);
}
