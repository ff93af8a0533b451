// The About box: the module-wide AboutForm exists only while the box is shown.
#pragma once

#include "client/kit/about_box.h"

namespace navlet {

// The open About box, null while there is none.
extern TAboutForm* AboutForm;

// Makes a new box, shows it modally through the kit and drops it when it
// closes. Returns the box's modal result.
int ShowAboutBox(TModalDialogs& dialogs);

} // namespace navlet
