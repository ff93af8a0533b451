// The server output console's window: mLog and the "Clear" button, shown by
// the first console text; closing it destroys the console.
#pragma once

#include "client/core/console.h"

namespace navlet::qt {

// Makes the window for a console just created; it lives until the console is closed.
void ShowConsoleWindow(TConsoleForm& console);

} // namespace navlet::qt
