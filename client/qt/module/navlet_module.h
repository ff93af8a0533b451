// The Linux module's entry: libNavlet_Client.so exports
// `navlet_module_entry`, which returns the table below. navlet-browser loads
// the module with dlopen and calls the bar only through it. Both sides are
// built with the same compiler and Qt, so the table passes the kit's C++
// types (THostControl, TBandInfo, TKeyMessage) and QWidget pointers.
#pragma once

#include <cstdint>

#include "client/core/host.h"
#include "client/kit/host_control.h"

class QWidget;

extern "C" {

inline constexpr uint32_t NAVLET_MODULE_ABI = 2;
inline constexpr const char* NAVLET_MODULE_ENTRY = "navlet_module_entry";

// One bar made by the module; opaque to the host.
struct NavletBar;

struct NavletModuleApi {
    uint32_t abi; // NAVLET_MODULE_ABI

    // Makes the bar and its window as a child of `parent`; the host gives the
    // window its place. Needs the host's QApplication.
    NavletBar* (*createBar)(QWidget* parent);
    // Closes nothing by itself: the host calls closeDW first.
    void (*destroyBar)(NavletBar* bar);
    QWidget* (*barWindow)(NavletBar* bar);

    // The band operations, as the platform browser calls them on a band.
    void (*setSite)(NavletBar* bar, navlet::THostControl* host); // null = taken away
    navlet::THResult (*getBandInfo)(NavletBar* bar, navlet::TBandInfo* info);
    navlet::THResult (*showDW)(NavletBar* bar, bool show);
    navlet::THResult (*closeDW)(NavletBar* bar);
    navlet::THResult (*uiActivateIO)(NavletBar* bar, bool activate);
    navlet::THResult (*hasFocusIO)(NavletBar* bar);
    // The bar's part of a key the host offers it; the host dispatches the key
    // to the focused control on Dispatch and gives it to the browser on
    // ToBrowser and ToBrowserFocusLost.
    navlet::TKeyAction (*translateAcceleratorIO)(NavletBar* bar, const navlet::TKeyMessage* key);
    void (*documentComplete)(NavletBar* bar);

    // 0 when no bar lives: the module may be unloaded.
    int (*canUnloadNow)();
    // Write or remove the class registration under the classes root; 0 = done.
    int (*registerServer)();
    int (*unregisterServer)();

    // The host's way to open an address in a new window of its own, for the
    // links the bars send to a new browser window (the platform browser opens
    // those in its own process). Null: a new navlet-browser process.
    void (*setWindowOpener)(void (*open)(const char* address));
};

typedef const NavletModuleApi* (*NavletModuleEntry)();

} // extern "C"
