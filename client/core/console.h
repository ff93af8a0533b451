// The server output console: a window beside the bar in which the bar shows
// the text the server addresses to the console. One at most per module,
// shared by every bar; it has no owner, so it outlives the bar that made it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/core/model.h"

namespace navlet {

class TConsoleForm : public TModel {
  public:
    static constexpr const char* CAPTION = "Navlet Server Output";
    static constexpr int WIDTH = 531;
    static constexpr int HEIGHT = 251;

    const std::string& Caption() const { return caption; }
    bool Visible() const { return visible; }
    void Show();
    // mLog, the multi-line text box: its lines in order.
    const std::vector<std::string>& Log() const { return mLog; }
    void AddLine(std::string line);

    // The "Clear" button: empties mLog.
    void btClearClick();
    // The close handler: the console is destroyed and ConsoleForm becomes null.
    // The object is gone when this returns; the caller must not touch it.
    void FormClose();

  private:
    std::string caption = CAPTION;
    bool visible = false;
    std::vector<std::string> mLog;
};

// The module's console, null while there is none.
extern std::unique_ptr<TConsoleForm> ConsoleForm;
// Called with each console as it is created, so that the kit can make its
// window; unset in a headless module.
extern std::function<void(TConsoleForm&)> OnConsoleCreated;

// Adds a line to the console, creating and showing it first if there is none.
void AddConsoleText(const std::string& text);

} // namespace navlet
