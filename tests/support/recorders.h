// Fixed answers and recorders for what the bar asks of its platform.
#pragma once

#include <string>
#include <vector>

#include "client/kit/graphics.h"
#include "client/kit/host_actions.h"
#include "client/kit/module_facts.h"

namespace navlet::testing {

// Every character is `charWidth` pixels wide, whatever the font.
class TFixedTextMetrics : public TTextMetrics {
  public:
    int32_t charWidth = 5;
    TTextCode code = TTextCode::Cp1252;
    TTextCode TextCode() const override { return code; }
    int32_t TextWidth(const TFont&, const std::string& text) override {
        return charWidth * int32_t(text.size());
    }
};

class TRecordingCanvas : public TCanvas {
  public:
    struct TPaint {
        TDisplayList image; // a copy, as painted
        TRect src;
        TRect dst;
    };
    std::vector<TPaint> paints;
    void PaintDisplayList(const TDisplayList& image, const TRect& src, const TRect& dst) override {
        paints.push_back({image, src, dst});
    }
};

class TRecordingHost : public THostActions {
  public:
    std::vector<std::string> openedWindows;
    int openResult = 42; // the shell's answer: above 32 is success
    int OpenBrowserWindow(const std::string& link) override {
        openedWindows.push_back(link);
        return openResult;
    }
    std::vector<std::string> messages; // ShowMessage texts
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> offeredModules; // NewerModuleOffered versions
    void NewerModuleOffered(const std::string& version) override {
        offeredModules.push_back(version);
    }
};

class TFixedModuleFacts : public TModuleFacts {
  public:
    bool hasModuleFile = true;
    std::string moduleFile = "/opt/navlet/Navlet_Client.so";
    uint32_t lcid = 0x0409;
    std::string serviceHost = "session.navlet.test";
    bool protectedMode = false;
    std::string writableFolder;
    std::string statedVersion; // empty: the version is read from the module file
    bool updatesModule = false;
    TShareScope shareDefault = TShareScope::Page;
    bool opensSignUpPage = false;
    std::string webScheme = "http://";

    bool ModuleFileName(std::string& out) const override {
        if (!hasModuleFile)
            return false;
        out = moduleFile;
        return true;
    }
    uint32_t UserDefaultLcid() const override { return lcid; }
    std::string ServiceHostName() const override { return serviceHost; }
    bool ProtectedMode() const override { return protectedMode; }
    std::string WritableFolder() const override { return writableFolder; }
    std::string HostStatedVersion() const override { return statedVersion; }
    bool HostUpdatesModule() const override { return updatesModule; }
    TShareScope DefaultShareScope() const override { return shareDefault; }
    bool HostOpensSignUpPage() const override { return opensSignUpPage; }
    std::string ServiceWebScheme() const override { return webScheme; }
};

} // namespace navlet::testing
