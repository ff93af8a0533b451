// The host browser and the environment for tests: a browser that shows the
// address the test sets and records what the bar asked of it, and an
// environment of fixed variables.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "client/kit/environment.h"
#include "client/kit/host_control.h"

namespace navlet::testing {

class TRecordingHostControl : public THostControl {
  public:
    TRecordingHostControl() = default;
    explicit TRecordingHostControl(std::string page) : location(std::move(page)) {}

    std::string location;                // what LocationURL answers
    std::vector<std::string> newWindows; // OpenNewWindow calls
    int flashes = 0;
    std::vector<int32_t> resizes;     // ResizeBandSite heights
    std::vector<bool> focusNotices;   // FocusChanged calls
    std::vector<std::string> closing; // "no fault dialogs", "close window"

    std::string LocationURL() override { return location; }
    void OpenNewWindow(const std::string& address) override { newWindows.push_back(address); }
    void FlashBrowserWindow() override { ++flashes; }
    void ResizeBandSite(int32_t height) override { resizes.push_back(height); }
    void FocusChanged(bool hasFocus) override { focusNotices.push_back(hasFocus); }
    void SuppressFaultDialogs() override { closing.push_back("no fault dialogs"); }
    void CloseInPlaceWindow() override { closing.push_back("close window"); }
};

class TFixedEnvironment : public TEnvironment {
  public:
    std::map<std::string, std::string> values;
    std::optional<std::string> Lookup(const std::string& name) const override {
        auto it = values.find(name);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }
};

} // namespace navlet::testing
