// libNavlet_Client.so: the bar as a module. One Qt kit serves every bar of
// the loaded module, as one set of module-wide values does on Windows.
#include <memory>

#include <QApplication>
#include <QWidget>

#include "client/core/console.h"
#include "client/core/navlet.h"
#include "client/core/registration.h"
#include "client/qt/bar/bar_view.h"
#include "client/qt/bar/console_window.h"
#include "client/qt/kit/qt_kit.h"
#include "client/qt/module/navlet_module.h"

struct NavletBar {
    std::unique_ptr<navlet::TNavlet> form;
    std::unique_ptr<navlet::qt::TBarView> view;
};

namespace {

using namespace navlet;

// SELFREG_E_CLASS, the platform's "the class could not be registered".
constexpr int SELFREG_E_CLASS = int(0x80040201);

int liveBars = 0;

qt::TQtKit& ModuleKit() {
    static qt::TQtKit kit;
    return kit;
}

NavletBar* CreateBar(QWidget* parent) {
    if (!QApplication::instance())
        return nullptr;
    if (!OnConsoleCreated)
        OnConsoleCreated = [](TConsoleForm& console) { qt::ShowConsoleWindow(console); };
    auto* bar = new NavletBar;
    bar->form = std::make_unique<TNavlet>(ModuleKit().Kit());
    bar->view =
        std::make_unique<qt::TBarView>(*bar->form, ModuleKit().menus, ModuleKit().browsers, parent);
    ++liveBars;
    return bar;
}

void DestroyBar(NavletBar* bar) {
    if (!bar)
        return;
    bar->view.reset(); // the widgets let go of the models first
    bar->form.reset();
    delete bar;
    --liveBars;
}

QWidget* BarWindow(NavletBar* bar) {
    return bar->view.get();
}

void SetSite(NavletBar* bar, THostControl* host) {
    if (host)
        bar->form->AttachHost(*host);
    else
        bar->form->DetachHost();
}

THResult BandInfo(NavletBar*, TBandInfo* info) {
    return GetBandInfo(info);
}

THResult ShowBand(NavletBar* bar, bool show) {
    return bar->form->ShowDW(show);
}

THResult CloseBand(NavletBar* bar) {
    return bar->form->CloseDW();
}

THResult UIActivate(NavletBar* bar, bool activate) {
    return bar->form->UIActivateIO(activate);
}

THResult HasFocus(NavletBar* bar) {
    return bar->form->HasFocusIO();
}

TKeyAction TranslateKey(NavletBar* bar, const TKeyMessage* key) {
    if (!key)
        return TKeyAction::ToBrowser;
    return bar->form->TranslateAcceleratorIO(*key);
}

void DocumentComplete(NavletBar* bar) {
    bar->form->BrowserDocumentComplete();
}

int CanUnloadNow() {
    return liveBars;
}

int RegisterServer() {
    std::string path;
    qt::TQtModuleFacts facts;
    if (!facts.ModuleFileName(path))
        return SELFREG_E_CLASS;
    qt::TQtRegistry registry(qt::TQtRegistry::DefaultFolder());
    return WriteClassRegistration(registry, path) ? 0 : SELFREG_E_CLASS;
}

int UnregisterServer() {
    qt::TQtRegistry registry(qt::TQtRegistry::DefaultFolder());
    const bool ok = registry.DeleteKeyTree(THive::ClassesRoot, ClassKey()) == TRegResult::Ok &&
                    registry.DeleteKeyTree(THive::ClassesRoot, PROGID_NAVLET) == TRegResult::Ok;
    return ok ? 0 : SELFREG_E_CLASS;
}

void SetWindowOpener(void (*open)(const char* address)) {
    ModuleKit().host.SetWindowOpener(open);
}

const NavletModuleApi MODULE_API = {
    NAVLET_MODULE_ABI, CreateBar,      DestroyBar,       BarWindow,
    SetSite,           BandInfo,       ShowBand,         CloseBand,
    UIActivate,        HasFocus,       TranslateKey,     DocumentComplete,
    CanUnloadNow,      RegisterServer, UnregisterServer, SetWindowOpener,
};

} // namespace

extern "C" __attribute__((visibility("default"))) const NavletModuleApi* navlet_module_entry() {
    return &MODULE_API;
}

// The platform's self-registration entries, for tools that know only them.
extern "C" __attribute__((visibility("default"))) int DllRegisterServer() {
    return RegisterServer();
}

extern "C" __attribute__((visibility("default"))) int DllUnregisterServer() {
    return UnregisterServer();
}

extern "C" __attribute__((visibility("default"))) int DllCanUnloadNow() {
    return CanUnloadNow() == 0 ? 0 : 1; // S_OK, S_FALSE
}
