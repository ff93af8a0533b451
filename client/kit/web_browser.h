// The embedded web browser of the banner area, one per bar.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace navlet {

class TWebBrowser {
  public:
    virtual ~TWebBrowser() = default;
    // Starts loading `address`, an http or https address (the bar adds the
    // scheme where a page has none). Each load ends with one OnDocumentComplete, the error page's
    // included; a page that failed (no answer, or an HTTP error status) reports OnNavigateError
    // first.
    virtual void Navigate(const std::string& address) = 0;
    // A browser with input off takes no mouse or keyboard input.
    virtual void SetInputEnabled(bool enabled) = 0;

    std::function<void()> OnDocumentComplete;
    std::function<void()> OnNavigateError;
};

class TWebBrowserFactory {
  public:
    virtual ~TWebBrowserFactory() = default;
    virtual std::unique_ptr<TWebBrowser> CreateWebBrowser() = 0;
};

// A kit's factory of its own browser class TBrowser (default-constructible).
// It knows the browsers it made while they live, so the kit's bar view finds
// the one a bar holds as the class it places in a native panel, with no cast.
// The factory outlives every browser it made.
template <class TBrowser> class TKitWebBrowsers : public TWebBrowserFactory {
  public:
    std::unique_ptr<TWebBrowser> CreateWebBrowser() override {
        return std::make_unique<TMade>(live);
    }
    // `browser` as the kit's class; null when this factory did not make it
    // (or it is gone, or null).
    TBrowser* Of(const TWebBrowser* browser) const {
        const auto it = std::find_if(live.begin(), live.end(), [browser](TBrowser* made) {
            return static_cast<const TWebBrowser*>(made) == browser;
        });
        return it == live.end() ? nullptr : *it;
    }

  private:
    class TMade final : public TBrowser {
      public:
        explicit TMade(std::vector<TBrowser*>& live) : live(live) { live.push_back(this); }
        ~TMade() override { live.erase(std::find(live.begin(), live.end(), this)); }

      private:
        std::vector<TBrowser*>& live;
    };
    std::vector<TBrowser*> live;
};

} // namespace navlet
