// Fakes of the popup menus, the clipboard and the sounds.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "client/core/bar_menu.h"
#include "client/kit/desktop.h"
#include "client/kit/popup_menu.h"

namespace navlet::testing {

// Answers each menu with the next scripted choice (0, closed without a
// choice, once the script is used up) and keeps a copy of what it showed.
class TScriptedMenuTracker : public TMenuTracker {
  public:
    struct TShown {
        std::vector<TBarMenuItem> items; // top level; a popup entry as its caption
        int32_t x = 0;
        int32_t y = 0;
        const TComponent* control = nullptr;
    };

    std::deque<int16_t> choices;
    std::vector<TShown> shown;
    // Runs while the menu is open, as timers and socket notifications would.
    std::function<void()> whileOpen;

    int16_t ShowPopupMenu(const TPopupMenu& menu, int32_t x, int32_t y,
                          const TComponent* control) override {
        TShown record{{}, x, y, control};
        for (const TPopupMenu::TEntry& entry : menu.Entries())
            record.items.push_back(entry.item);
        shown.push_back(std::move(record));
        if (whileOpen)
            whileOpen();
        if (choices.empty())
            return MENU_DISMISSED;
        const int16_t choice = choices.front();
        choices.pop_front();
        return choice;
    }
};

class TRecordingClipboard : public TClipboard {
  public:
    std::vector<std::string> texts;
    void SetText(const std::string& text) override { texts.push_back(text); }
};

class TRecordingSound : public TSound {
  public:
    std::vector<std::string> played;
    void PlayAlias(const std::string& alias) override { played.push_back(alias); }
};

} // namespace navlet::testing
