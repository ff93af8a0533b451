#include "client/win32/module/module_kit.h"

#include "client/core/console.h"
#include "client/core/navlet.h"
#include "client/win32/bar/bar_window.h"
#include "client/win32/kit/win32_kit.h"

namespace navlet::win32 {

namespace {

// Apartment-threaded: every bar lives on the browser's user-interface thread.
std::unique_ptr<TWin32Kit> moduleKit;
int kitUsers = 0;

TWin32Kit& UseModuleKit() {
    if (!moduleKit)
        moduleKit = std::make_unique<TWin32Kit>();
    // The server output console belongs to the browser window of the newest
    // bar, above which it stays.
    if (!OnConsoleCreated)
        OnConsoleCreated = [](TConsoleForm& console) {
            ShowConsoleWindow(console, moduleKit ? moduleKit->owners.Current() : nullptr);
        };
    ++kitUsers;
    return *moduleKit;
}

void ReleaseModuleKit() {
    if (--kitUsers == 0)
        moduleKit.reset();
}

} // namespace

TKitForm::TKitForm() : kit(UseModuleKit()) {
    try {
        form = std::make_unique<TNavlet>(kit.Kit());
    } catch (...) {
        ReleaseModuleKit();
        throw;
    }
}

TKitForm::~TKitForm() {
    form.reset();
    ReleaseModuleKit();
}

} // namespace navlet::win32
