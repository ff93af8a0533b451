// The banner area's browser in the panel: an iframe. Before a page is framed
// the kit asks for it itself, so that a failed page or one that refuses to
// be framed reports its error (the bar then shows its default banner)
// instead of leaving an empty or refused frame in the panel. The page runs
// sandboxed: it cannot navigate the panel; a click on a loaded banner opens
// the page's first link in a new tab.
#pragma once

#include <memory>
#include <string>

#include <emscripten/val.h>

#include "client/kit/web_browser.h"

namespace navlet::web {

class TWebBannerBrowser : public TWebBrowser {
  public:
    TWebBannerBrowser();
    ~TWebBannerBrowser() override;
    void Navigate(const std::string& address) override;
    void SetInputEnabled(bool enabled) override;
    // The iframe element; the bar view puts it into its panel.
    emscripten::val Element() const;

    // What the page reports for load number `serial`.
    void PageLoaded(uint32_t serial, bool failed);

  private:
    int id;
    uint32_t serial = 0; // grows with every Navigate: an older load's end is dropped
};

using TWebBrowserFactory = TKitWebBrowsers<TWebBannerBrowser>;

} // namespace navlet::web
