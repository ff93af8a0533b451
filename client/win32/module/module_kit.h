// The one Win32 kit that every bar of the loaded module is made with. It is
// made with the first bar form and goes with the last one, so a module with
// no bar holds no window, timer or socket.
#pragma once

#include <memory>

namespace navlet {
class TNavlet;
}

namespace navlet::win32 {

struct TWin32Kit;

// A bar form and its use of the module's kit.
class TKitForm {
  public:
    TKitForm();
    ~TKitForm();
    TKitForm(const TKitForm&) = delete;
    TKitForm& operator=(const TKitForm&) = delete;

    TNavlet& Form() { return *form; }
    TWin32Kit& Kit() { return kit; }

  private:
    TWin32Kit& kit; // first: the form is made with it
    std::unique_ptr<TNavlet> form;
};

} // namespace navlet::win32
