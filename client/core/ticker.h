// The status ticker's line record and its hit map.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/kit/graphics.h"
#include "client/kit/round_rect.h"

namespace navlet {

// Kinds of ticker lines.
enum TMsgKind : int32_t {
    mkStatus = 0, // the standing status line: at most one queued, it repeats
    mkInvite = 1, // returns after each showing until a button is clicked
    mkNotice = 2, // shown once
    mkServer = 3, // like mkInvite; a button only removes it
    // An invitation to a private chat, beside its tab: returns after each
    // showing until "show" or "leave" is clicked or the tab closes.
    mkChatInvite = 4,
};

// Button bits, drawn left to right in this order.
inline constexpr int32_t MSG_BTN_ACCEPT = 1; // "accept invitation"
inline constexpr int32_t MSG_BTN_IGNORE = 2; // "ignore"
inline constexpr int32_t MSG_BTN_OK = 4;     // "OK"
inline constexpr int32_t MSG_BTN_SHOW = 8;   // "show": selects the invitation's tab
inline constexpr int32_t MSG_BTN_LEAVE = 16; // "leave": closes it and leaves the chat

inline constexpr int32_t MSG_LINE_WIDTH = 800;
inline constexpr int32_t MSG_LINE_HEIGHT = 16;
// Longest text a posted line keeps, in bytes.
inline constexpr size_t MSG_TEXT_MAX = 1023;

struct TMsgLine {
    int32_t kind = mkStatus;
    int32_t buttons = 0;
    std::string text;
    std::string user;  // an invitation's inviting user
    std::string link;  // an invitation's address, opened by "accept invitation"
    uint64_t chat = 0; // a private chat's invitation: the chat's id
    // A status line that shows its own text, not the people count, until
    // its first turn on the ticker ends.
    bool ownTextFirst = false;
    // A call's words that have not had a whole turn on the ticker yet, and
    // the caller's later calls that wait for that turn to end, oldest first:
    // a newer call never wipes out words nobody has seen.
    struct TLaterCall {
        std::string text;
        bool words = false;
    };
    bool wordsUnseen = false;
    std::vector<TLaterCall> laterCalls{};
};

// A line whose buttons are drawn: invitations and server lines with a button
// bit. It stays on the ticker, and clickable, until one of them is clicked.
inline bool HoldsButtons(const TMsgLine& line) {
    constexpr int32_t DRAWN =
        MSG_BTN_ACCEPT | MSG_BTN_IGNORE | MSG_BTN_OK | MSG_BTN_SHOW | MSG_BTN_LEAVE;
    return (line.kind == mkInvite || line.kind == mkServer || line.kind == mkChatInvite) &&
           (line.buttons & DRAWN) != 0;
}

// One byte per pixel: 0 where no button is, else the bit of the button whose
// inside covers the pixel. Outlines are 0, so they never count as the button.
class THitMap {
  public:
    int32_t Width() const { return width; }
    int32_t Height() const { return height; }
    // Every pixel 0.
    void Reset(int32_t newWidth, int32_t newHeight);
    // 0 for a point outside the map.
    uint8_t At(int32_t x, int32_t y) const;
    // The shape RoundRect draws for `rect` with a corner ellipse of ew x eh:
    // its outline pixels get `outline`, the inside gets `fill`. Clipped to the map.
    void RoundRect(const TRect& rect, int32_t ew, int32_t eh, uint8_t fill, uint8_t outline);

  private:
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
};

} // namespace navlet
