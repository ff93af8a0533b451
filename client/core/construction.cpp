// The form's construction and destruction, and its window parameters.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "client/core/connection.h"
#include "client/core/navlet.h"
#include "version/version_info.h"

namespace navlet {

namespace {

// Primary language id: the locale id with only its low 10 bits kept.
constexpr uint32_t PRIMARY_LANGUAGE_MASK = 0x3FF;

} // namespace

TNavlet::TNavlet(const TKit& k, TBareForm)
    : kit(k), msg_timer(k.scheduler, 2000, false), txt_timer(k.scheduler, 2000, false),
      URLTimer(k.scheduler, 1000, false), BannerTimer(k.scheduler, 30000, false),
      upd_timer(k.scheduler, 10, false), resize_timer(k.scheduler, 1, false),
      led_timer(k.scheduler, 500, false), reconnect_timer(k.scheduler, 15000, false),
      mouseUp_timer(k.scheduler, 1, false) {}

TNavlet::TNavlet(const TKit& k) : TNavlet(k, TBareForm{}) {
    // 1. The components, as the form layout holds them.
    BuildComponents();
    for (TEdit* edit : std::initializer_list<TEdit*>{&Edit1, &edSearchMsg, &edNck, &edPwd})
        edit->SetTextCode(kit.textMetrics.TextCode());
    // 2. An empty ticker queue, no chat text sent, empty strings: the members'
    //    own initial values.
    // 3. The default banner's pixels, which the ticker's background also uses.
    FillDefBannerPixels();
    // 4. Flags and references: their initial values are the members' own.
    // 5. The user's language, for the service's page addresses.
    userLcid = kit.module.UserDefaultLcid() & PRIMARY_LANGUAGE_MASK;
    // 6. The banner area shows the default banner.
    ShowBanner(0);
    // 7. Only the language filter is read here.
    SyncSettings(0, 0, 0, 0, -1, 0, 0);
    // What is reported of a page: the host's default until the settings,
    // read at each page, say otherwise.
    shareScope = kit.module.DefaultShareScope();
    // 8. The three menus; the language checks follow languageMask as read above.
    BuildMenus();
    // 9. The service's session server, never the layout's loopback endpoint
    //    (NAVLET_SERVER or the "server" setting points it elsewhere).
    std::string storedServer;
    if (std::unique_ptr<TRegistryKey> key = OpenSettingsKey())
        key->ReadString("server", storedServer);
    const TEndpoint endpoint =
        SessionEndpoint(kit.environment, storedServer, kit.module.ServiceHostName(), SERVER_PORT);
    ClientSocket->SetEndpoint(endpoint.host, endpoint.port, endpoint.tls);
    // 10.
    PrepareTickerSurfaces();
    // 11.
    CreateChatTab("public chat", /*owner=*/0, /*chat=*/0);
    // 12. The hint in grey; the grey colour is how the hint is recognised.
    Edit1.SetFontColor(clGray);
    Edit1.SetText("Write here to send text messages in the chat");
    Edit1.SetPlaceholder(ChatLineHint(*PageControl.Page(0).tag));
    // 13.
    ReadModuleVersion();
    // 14.
    PostMsg(mkStatus, 0, "Navlet ver. %s", versionText.c_str());
    // A module that a protected bar downloaded is never installed: any
    // low-integrity process could have replaced it.
    DiscardProtectedDownload();
}

TNavlet::~TNavlet() {
    URLTimer.SetEnabled(false);
    txt_timer.SetEnabled(false);
    msg_timer.SetEnabled(false);
    BannerTimer.SetEnabled(false);
    // An unfinished download stays resumable by the next bar of this process.
    kit.files.Close(updateHandle);
    msgImage.reset();
    msgHitMap.reset();
    languageMenu.reset();
    optionsMenu.reset();
    usersMenu.reset();
    // The strings, the queue and the components go with the members; every
    // timer model stops its platform timer as it goes. The socket is not
    // closed here: closing the bar from the browser closes it.
}

void TNavlet::CreateParams(TWindowParams& params) const {
    params.style = (params.style | WS_POPUP_BIT) & ~WS_CHILD_BIT;
    params.parent = 0;
}

void TNavlet::PrepareTickerSurfaces() {
    // Placeholders until the first line is rendered at 800 x 16.
    constexpr int32_t INITIAL_IMAGE_WIDTH = 1000;
    msgImage = std::make_unique<TDisplayList>();
    msgImage->Reset(INITIAL_IMAGE_WIDTH, msg_img.Height());
    msgImage->ops.push_back(TFillRect{{0, 0, INITIAL_IMAGE_WIDTH, msg_img.Height()}, clSkyBlue});
    msgDstRect = {0, 0, msg_img.Width(), msg_img.Height()};
    msgHitMap = std::make_unique<THitMap>();
    msgHitMap->Reset(INITIAL_IMAGE_WIDTH, msg_img.Height());
}

void TNavlet::ReadModuleVersion() {
    std::string file;
    // A name that does not fit the field with its terminating zero is a name
    // that cannot be had, as the platform's truncated answer would be.
    if (!kit.module.ModuleFileName(file) || file.empty() || file.size() >= MODULE_FILE_SIZE) {
        moduleFile[0] = '\0';
        versionText = "unknown";
        moduleVersion = 0;
        return;
    }
    std::memcpy(moduleFile, file.c_str(), file.size() + 1);
    const std::string stated = kit.module.HostStatedVersion();
    versionText = stated.empty() ? GetVersionString(file, "FileVersion") : stated;
    moduleVersion = PackVersion(versionText);
    updateVersion = moduleVersion;
    updateFile = UpdateFolder() + UPDATE_FILE_NAME;
}

} // namespace navlet
