// The clipboard and the system sounds, as the bar uses them.
#pragma once

#include <string>

namespace navlet {

class TClipboard {
  public:
    virtual ~TClipboard() = default;
    // Replaces the clipboard's content with `text`; lines end with "\n".
    virtual void SetText(const std::string& text) = 0;
};

class TSound {
  public:
    virtual ~TSound() = default;
    // Starts the system sound with that alias ("MailBeep") and returns at once.
    virtual void PlayAlias(const std::string& alias) = 0;
};

} // namespace navlet
