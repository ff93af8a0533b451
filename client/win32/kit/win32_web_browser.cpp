#include "client/win32/kit/win32_web_browser.h"

namespace navlet::win32 {

TWin32WebBrowser::TWin32WebBrowser() = default;
TWin32WebBrowser::~TWin32WebBrowser() = default;

void TWin32WebBrowser::Place(HWND newParent, const RECT& newBounds) {
    parent = newParent;
    bounds = newBounds;
}

void TWin32WebBrowser::Navigate(const std::string&) {
    ReportFailure(); // FIXME: the hosted control follows in the next change
}

void TWin32WebBrowser::SetInputEnabled(bool enabled) {
    inputEnabled = enabled;
}

bool TWin32WebBrowser::HasControl() const {
    return site != nullptr;
}

void TWin32WebBrowser::DocumentComplete() {
    if (OnDocumentComplete)
        OnDocumentComplete();
}

void TWin32WebBrowser::NavigateError() {
    if (OnNavigateError)
        OnNavigateError();
}

void TWin32WebBrowser::ReportFailure() {
    NavigateError();
    DocumentComplete();
}

std::unique_ptr<TWebBrowser> TWin32WebBrowserFactory::CreateWebBrowser() {
    return std::make_unique<TWin32WebBrowser>();
}

} // namespace navlet::win32
