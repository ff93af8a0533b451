#include "client/qt/browser/module_loader.h"

#include <dlfcn.h>

#include "client/core/registration.h"

namespace navlet::qt {

std::vector<TBarClass> FindBarClasses(const TQtRegistry& registry) {
    std::vector<TBarClass> found;
    TRegHive hive;
    if (!registry.Load(THive::ClassesRoot, hive))
        return found;
    const std::string suffix =
        FoldCase(std::string("\\Implemented Categories\\") + CATID_COMM_BAND);
    for (auto& [lower, key] : hive.keys) {
        if (lower.rfind("clsid\\", 0) != 0 || lower.size() <= suffix.size() ||
            lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string classKey = key.path.substr(0, key.path.size() - suffix.size());
        TRegKeyData* server = hive.Find(classKey + "\\InprocServer32");
        TRegValue* path = server ? server->Find("") : nullptr;
        if (!path || path->type != REG_SZ_TYPE || path->data.empty())
            continue;
        found.push_back(TBarClass{classKey.substr(6), path->data});
    }
    return found;
}

const NavletModuleApi* LoadBarModule(const std::string& path, QString& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        error = QString::fromLocal8Bit(dlerror());
        return nullptr;
    }
    auto entry = reinterpret_cast<NavletModuleEntry>(dlsym(handle, NAVLET_MODULE_ENTRY));
    if (!entry) {
        error = QStringLiteral("%1 has no %2")
                    .arg(QString::fromStdString(path), QString::fromLatin1(NAVLET_MODULE_ENTRY));
        return nullptr;
    }
    const NavletModuleApi* api = entry();
    if (!api || api->abi != NAVLET_MODULE_ABI) {
        error =
            QStringLiteral("%1 speaks another module version").arg(QString::fromStdString(path));
        return nullptr;
    }
    return api;
}

} // namespace navlet::qt
