// An embedded browser for tests: it records what the bar asked of it, and the
// test reports the end of a load with Complete or Fail.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "client/kit/web_browser.h"

namespace navlet::testing {

class TRecordingWebBrowser : public TWebBrowser {
  public:
    std::vector<std::string> navigations;
    bool inputEnabled = true;

    void Navigate(const std::string& address) override { navigations.push_back(address); }
    void SetInputEnabled(bool enabled) override { inputEnabled = enabled; }

    // The page loaded.
    void Complete() {
        if (OnDocumentComplete)
            OnDocumentComplete();
    }
    // The page failed; the browser then completes its error page.
    void Fail() {
        if (OnNavigateError)
            OnNavigateError();
        Complete();
    }
};

class TRecordingBrowserFactory : public TWebBrowserFactory {
  public:
    std::unique_ptr<TWebBrowser> CreateWebBrowser() override {
        auto browser = std::make_unique<TRecordingWebBrowser>();
        last = browser.get();
        ++created;
        return browser;
    }
    // The browser of the bar made last; valid while that bar lives.
    TRecordingWebBrowser& Last() { return *last; }
    int created = 0;

  private:
    TRecordingWebBrowser* last = nullptr;
};

} // namespace navlet::testing
