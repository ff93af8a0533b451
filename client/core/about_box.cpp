#include "client/core/about_box.h"

#include <memory>

namespace navlet {

TAboutForm* AboutForm = nullptr;

int ShowAboutBox(TModalDialogs& dialogs) {
    auto form = std::make_unique<TAboutForm>();
    AboutForm = form.get();
    const int result = dialogs.ShowAboutBox(*form);
    AboutForm = nullptr;
    return result;
}

} // namespace navlet
