#include "client/core/module_state.h"

namespace navlet {

uint32_t userLcid = 0;
int32_t loginCount = 0;
uint8_t ledBlinkPhase = 0;
uint8_t privateChatSeq = 0;
std::array<uint32_t, DEF_BANNER_WIDTH* DEF_BANNER_HEIGHT> defBannerPixels = {};
bool defBannerPixelsFilled = false;

} // namespace navlet
