// The bar core, included after the platform's band headers: the core names
// the band-info bits as constants of its own, with the values the platform's
// macros have, so the macros step aside for them.
#pragma once

#undef DBIM_MINSIZE
#undef DBIM_MAXSIZE
#undef DBIM_INTEGRAL
#undef DBIM_ACTUAL
#undef DBIM_TITLE
#undef DBIM_MODEFLAGS
#undef DBIM_BKCOLOR
#undef DBIMF_VARIABLEHEIGHT

#include "client/core/host.h"
#include "client/core/navlet.h"
