#include "client/win32/module/module_kit.h"

#include "client/core/navlet.h"

namespace navlet::win32 {

// FIXME: the Win32 kit is not in this module yet; until it is, the band
// window stands alone and no bar form is made.
std::unique_ptr<TNavlet> CreateBarFormWithModuleKit() {
    return nullptr;
}

} // namespace navlet::win32
