// The embedded web browser of the banner area, one per bar.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace navlet {

class TWebBrowser {
  public:
    virtual ~TWebBrowser() = default;
    // Starts loading `address`; one without a scheme is an http address. Each
    // load ends with one OnDocumentComplete, the error page's included; a page
    // that failed (no answer, or an HTTP error status) reports OnNavigateError
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

} // namespace navlet
