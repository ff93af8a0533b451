// The band's side of the host browser: which control has the keyboard focus,
// the routing of keys the browser offers, and the band's sizes. Pure
// decisions, shared by the Windows control object and navlet-browser.
#pragma once

#include <cstdint>
#include <string>

#include "client/core/bar_layout.h"
#include "client/core/components.h"
#include "client/kit/host_control.h"

namespace navlet {

inline constexpr uint32_t WM_KEYDOWN_MSG = 0x0100;
inline constexpr uint32_t VK_ENTER = 0x0D;
inline constexpr uint32_t VK_FIRST_ARROW = 0x25; // left, up, right, down
inline constexpr uint32_t VK_LAST_ARROW = 0x28;
inline constexpr uint32_t VK_FIRST_FUNCTION = 0x70; // F1 to F24
inline constexpr uint32_t VK_LAST_FUNCTION = 0x87;

// A key message the browser offers the band.
struct TKeyMessage {
    uint32_t message = WM_KEYDOWN_MSG;
    uint32_t virtualKey = 0;
    bool altDown = false;
    bool ctrlDown = false;
};

enum class TKeyAction {
    ToBrowser,          // not handled: the browser takes the key
    ToBrowserFocusLost, // not handled, and the input site hears the bar lost the focus
    SendChat,           // Enter in Edit1
    SignIn,             // Enter in edNck or edPwd
    Search,             // Enter in cbSearch or edSearchMsg
    Dispatch,           // the host translates and dispatches it to the focused control
};

// Where a key goes, given the focused control.
TKeyAction RouteKey(TFocusTarget focused, const TKeyMessage& key);
// The band's answer for the action: S_FALSE for the browser's keys, else S_OK
// (the host then sets the message's key code to 0).
THResult KeyActionResult(TKeyAction action);

// The band's size record, as the browser asks for it.
inline constexpr uint32_t DBIM_MINSIZE = 0x01;
inline constexpr uint32_t DBIM_MAXSIZE = 0x02;
inline constexpr uint32_t DBIM_INTEGRAL = 0x04;
inline constexpr uint32_t DBIM_ACTUAL = 0x08;
inline constexpr uint32_t DBIM_TITLE = 0x10;
inline constexpr uint32_t DBIM_MODEFLAGS = 0x20;
inline constexpr uint32_t DBIM_BKCOLOR = 0x40;
inline constexpr uint32_t DBIMF_VARIABLEHEIGHT = 0x08;

struct TBandPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const TBandPoint&) const = default;
};

struct TBandInfo {
    uint32_t mask = 0;
    TBandPoint minSize;
    TBandPoint maxSize;
    TBandPoint integral;
    TBandPoint actual;
    std::string title;
    uint32_t modeFlags = 0;
};

inline constexpr int32_t BAND_MIN_WIDTH = 500;
static_assert(NARROW_FORM_MIN_WIDTH <= BAND_MIN_WIDTH, "the band's minimum shows every part");
inline constexpr int32_t BAND_IDEAL_WIDTH = 760;
// The whole banner area shows, so that no control of its panels is cut.
inline constexpr int32_t BAND_IDEAL_HEIGHT = BANNER_AREA_HEIGHT;

// The logo strip that the bar puts into the first child window of the band
// site when the browser sites it.
inline constexpr int32_t LOGO_STRIP_WIDTH = 24;
inline constexpr int32_t LOGO_STRIP_HEIGHT = 700;

// Fills what `info->mask` asks for; HR_INVALIDARG without a record.
THResult GetBandInfo(TBandInfo* info);

} // namespace navlet
