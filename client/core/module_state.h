// Values shared by every bar of the loaded module (one bar per browser window).
#pragma once

#include <array>
#include <cstdint>

namespace navlet {

// The primary language id of the user's default locale (low 10 bits of the
// locale id); set again by every bar's construction.
extern uint32_t userLcid;
// Logins accepted since the module was loaded.
extern int32_t loginCount;
// The indicator's blink phase, flipped by every blinking bar's tick.
extern uint8_t ledBlinkPhase;
// Low byte of the last private chat id this module started; never lowered.
extern uint8_t privateChatSeq;

inline constexpr int DEF_BANNER_WIDTH = 290;
inline constexpr int DEF_BANNER_HEIGHT = 114;
// The default banner's colours, column by column: pixel (x, y) is at
// x * DEF_BANNER_HEIGHT + y. Filled by the first bar made in the process.
extern std::array<uint32_t, DEF_BANNER_WIDTH * DEF_BANNER_HEIGHT> defBannerPixels;
extern bool defBannerPixelsFilled;

// Fills defBannerPixels from the built-in default banner unless already filled.
void FillDefBannerPixels();

} // namespace navlet
