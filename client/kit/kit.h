// Everything the bar needs from its platform, handed to each TNavlet. The
// referenced objects outlive every bar made with them.
#pragma once

#include "client/kit/about_box.h"
#include "client/kit/clock.h"
#include "client/kit/desktop.h"
#include "client/kit/environment.h"
#include "client/kit/files.h"
#include "client/kit/graphics.h"
#include "client/kit/host_actions.h"
#include "client/kit/input.h"
#include "client/kit/module_facts.h"
#include "client/kit/popup_menu.h"
#include "client/kit/registry.h"
#include "client/kit/scheduler.h"
#include "client/kit/socket.h"
#include "client/kit/web_browser.h"

namespace navlet {

struct TKit {
    TClock& clock;
    TScheduler& scheduler;
    TRegistry& registry;
    TTextMetrics& textMetrics;
    TModuleFacts& module;
    THostActions& host;
    TSocketFactory& sockets;
    TEnvironment& environment;
    TMenuTracker& menus;
    TClipboard& clipboard;
    TSound& sound;
    TModalDialogs& dialogs;
    TWebBrowserFactory& browsers;
    TFiles& files;
};

} // namespace navlet
