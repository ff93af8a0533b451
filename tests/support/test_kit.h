// One platform for a test: every fake of the kit, and the TKit over them.
#pragma once

#include "client/kit/kit.h"
#include "tests/support/desktop_fakes.h"
#include "tests/support/dialog_fakes.h"
#include "tests/support/host_fakes.h"
#include "tests/support/manual_time.h"
#include "tests/support/memory_files.h"
#include "tests/support/memory_registry.h"
#include "tests/support/recorders.h"
#include "tests/support/scripted_socket.h"
#include "tests/support/web_browser_fakes.h"

namespace navlet::testing {

struct TTestKit {
    TManualTime time;
    TMemoryRegistry registry;
    TFixedTextMetrics metrics;
    TFixedModuleFacts module;
    TRecordingHost host;
    TScriptedSocketFactory sockets;
    TRecordingCanvas canvas;
    TFixedEnvironment environment;
    // Sockets for the bars made from now on, when not the scripted ones
    // (end-to-end tests give real loopback sockets).
    TSocketFactory* socketsOverride = nullptr;

    TScriptedMenuTracker menus;
    TRecordingClipboard clipboard;
    TRecordingSound sound;
    TRecordingDialogs dialogs;
    TRecordingBrowserFactory browsers;
    TMemoryFiles files;

    TKit Kit() {
        return TKit{time,
                    time,
                    registry,
                    metrics,
                    module,
                    host,
                    socketsOverride ? *socketsOverride : sockets,
                    environment,
                    menus,
                    clipboard,
                    sound,
                    dialogs,
                    browsers,
                    files};
    }
};

} // namespace navlet::testing
