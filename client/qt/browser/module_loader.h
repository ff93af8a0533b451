// How navlet-browser finds and loads bars, as the platform browser does:
// the classes that the classes root lists under the explorer bar's category,
// each loaded from its InprocServer32 module.
#pragma once

#include <string>
#include <vector>

#include <QString>

#include "client/qt/kit/qt_registry.h"
#include "client/qt/module/navlet_module.h"

namespace navlet::qt {

struct TBarClass {
    std::string clsid;  // "{...}"
    std::string module; // InprocServer32's default value
};

// Classes with "Implemented Categories\{CATID_CommBand}", in the store's order.
std::vector<TBarClass> FindBarClasses(const TQtRegistry& registry);

// Loads a module and returns its entry's table; null with `error` set when the
// file cannot be loaded, has no entry or speaks another version. Modules stay
// loaded for the life of the process.
const NavletModuleApi* LoadBarModule(const std::string& path, QString& error);

} // namespace navlet::qt
