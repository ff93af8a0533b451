#include "client/core/console.h"

namespace navlet {

std::unique_ptr<TConsoleForm> ConsoleForm;
std::function<void(TConsoleForm&)> OnConsoleCreated;

void TConsoleForm::Show() {
    if (visible)
        return;
    visible = true;
    Changed();
}

void TConsoleForm::AddLine(std::string line) {
    mLog.push_back(std::move(line));
    Changed();
}

void TConsoleForm::btClearClick() {
    if (mLog.empty())
        return;
    mLog.clear();
    Changed();
}

void TConsoleForm::FormClose() {
    visible = false;
    Changed(); // the kit lets its window go
    if (ConsoleForm.get() == this)
        ConsoleForm.reset(); // destroys this object: nothing after it
}

void AddConsoleText(const std::string& text) {
    if (!ConsoleForm) {
        ConsoleForm = std::make_unique<TConsoleForm>();
        if (OnConsoleCreated)
            OnConsoleCreated(*ConsoleForm);
        ConsoleForm->Show();
    }
    ConsoleForm->AddLine(text);
}

} // namespace navlet
