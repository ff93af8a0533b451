// TNavlet: the bar form. It owns the models of its components and all of the
// bar's private state; every handler of the bar is one of its methods. It talks
// to its platform only through the kit it is given.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "client/core/bar_menu.h"
#include "client/core/components.h"
#include "client/core/console.h"
#include "client/core/host.h"
#include "client/core/lists.h"
#include "client/core/module_state.h"
#include "client/core/panel_style.h"
#include "client/core/ticker.h"
#include "client/kit/host_control.h"
#include "client/kit/kit.h"
#include "protocol/assembler.h"
#include "protocol/chat_address.h"
#include "protocol/messages.h"

namespace navlet {

static_assert(sizeof(bool) == 1, "byte flags of the form are one byte wide");

inline constexpr int MODULE_FILE_SIZE = 260;
inline constexpr const char* SETTINGS_KEY = "Software\\Navlet";
inline constexpr const char* UPDATE_FILE_NAME = "Navlet_Client.upd";
inline constexpr uint32_t LANGUAGE_MASK_ALL = 0x80001FFF; // 13 languages and "Others"
inline constexpr int SERVER_PORT = 80;

// Window style bits the form's window-parameter hook changes.
inline constexpr uint32_t WS_POPUP_BIT = 0x80000000;
inline constexpr uint32_t WS_CHILD_BIT = 0x40000000;

struct TWindowParams {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    uintptr_t parent = 0; // platform window handle, 0 = none
};

// The bare constructor's tag: no layout, no construction sequence.
struct TBareForm {};

class TNavlet {
  protected:
    const TKit kit; // first: the components are made with it

  public:
    // ---- Construction, settings and the form's layout ----
    // Builds the whole bar: components, state, settings, ticker, first line.
    // The control object sets hostControl afterwards. Does not connect.
    explicit TNavlet(const TKit& kit);
    // Only the owned strings and the ticker queue, empty; no timer runs.
    TNavlet(const TKit& kit, TBareForm);
    TNavlet(const TNavlet&) = delete;
    TNavlet& operator=(const TNavlet&) = delete;
    virtual ~TNavlet();

    // Called by the kit before the form's window is made, after its defaults:
    // the form starts as a parentless pop-up.
    virtual void CreateParams(TWindowParams& params) const;

    // Settings: each argument < 0 reads the value into its field, > 0 writes the
    // field, 0 leaves it alone; always in this order. The first failure ends
    // the call silently.
    void SyncSettings(int nick, int pwd, int autologin, int version, int lang, int update,
                      int barSize);
    // The settings key; at low integrity a key that writes to the platform's
    // writable key and reads from there first, then from the normal key.
    std::unique_ptr<TRegistryKey> OpenSettingsKey();
    // XORs each character with a key byte; the same call unscrambles.
    static std::string ScramblePassword(const std::string& text, int32_t seed);

    // The kit calls it with the form's size after each change of it: every
    // part takes its place from the layout, then the resize handlers run.
    void FormResized(int32_t width, int32_t height);
    // Where every part of the form is; kits apply it to their widgets.
    const TBarLayout& Layout() const { return layout; }
    // A host that shows the bar in a side panel says so before its first
    // size; the bar then takes the column layout, the panel's font and the
    // "Text size" choice.
    void SetHostShape(THostShape shape);
    // A side panel's text size and collapsed banner area; kits watch it.
    TPanelStyle PanelStyle;
    // Private lines and calls the user has not looked at yet.
    TAttention Attention;
    // The options menu's "Desktop notifications": stored; a kit that cannot
    // get the browser's permission turns it off again.
    void SetDesktopNotifications(bool on);
    // The font of every text of the form: the panel's at its size, or the
    // band's Verdana 7 pt.
    TFont FormFont() const;
    // The options menu's "Text size": stored, and the form laid out again.
    void SetTextSize(TTextSize size);
    // A band at its 20-pixel height, or a side panel's banner area collapsed.
    bool Minimised() const;

  private:
    // Construction steps, in the order the constructor runs them.
    void BuildComponents(); // what the form layout holds (layout.cpp)
    void PlaceControls(int32_t width, int32_t height);
    // The column's shape changed without a new size (text size, collapse).
    void LayOutAgain();
    // The side panel's "textsize" setting: < 0 reads it, > 0 writes it.
    void SyncPanelSettings(int direction);
    void AddTextSizeMenu();
    void PrepareTickerSurfaces();
    void ReadModuleVersion();
    void BindSessionComponents(); // session.cpp

  public:
    // ---- Session: the connection (session.cpp) and reading (session_read.cpp) ----
    // SwitchSession is the one way to open or close the session; the sign-in
    // button and reconnect_timer open the socket themselves.
    void SwitchSession(bool on);
    void sbLoginClick();
    void LEDBtnClick();
    void reconnect_timerTimer();
    void led_timerTimer();
    // Socket notifications. Each may be called re-entrantly from inside a
    // handler that closes the socket (the disconnect runs within Close).
    void ClientSocketConnecting(TClientSocket& socket);
    void ClientSocketConnect(TClientSocket& socket);
    void ClientSocketDisconnect(TClientSocket& socket);
    void ClientSocketError(TClientSocket& socket, TErrorEvent event, int& errorCode);
    // The news signal of the indicator: image 2, or blinking on a minimised bar.
    void SignalNews();
    void SetBtnGlyph(TSpeedButton& button, int index);

    // Reading: every whole packet of the bytes that wait, in order; stops when
    // a message closes the socket.
    void ClientSocketRead(TClientSocket& socket);
    void upd_timerTimer();

  private:
    void OpenSocket();
    void DispatchPacket(const TPacket& packet);
    // The message `m` with its texts `fields` in the bar's code, Blanked.
    template <class TMsg, class... TFields> TMsg Heard(TMsg m, TFields TMsg::*... fields) const;
    // A text from the server in the bar's code: a UTF-8 bar on a 1252
    // session converts, and keeps whole characters only.
    std::string TextFromServer(std::string text) const;
    // A text of the bar's for the server, in at most `maxBytes` bytes of the
    // session's code, cut between characters; what 1252 lacks becomes "?".
    std::string TextForServer(std::string_view text, size_t maxBytes) const;
    void EndSession();
    void ChatCommand(uint8_t command);
    void PostDisconnected(bool reconnecting);

  public:
    // ---- Host browser: band operations (host.cpp) and site tracking (site.cpp) ----
    // Band operations, called by the Windows control object and by
    // navlet-browser after their platform's own part of each call.
    void AttachHost(THostControl& host); // the site is set: the browser is reachable
    void DetachHost();                   // the site is taken away
    void BrowserDocumentComplete();      // the browser's DocumentComplete event
    THResult ShowDW(bool show);
    THResult CloseDW();
    THResult UIActivateIO(bool activate);
    THResult HasFocusIO() const;
    // Decides and carries out the bar's part; the host dispatches the message
    // on TKeyAction::Dispatch and answers the browser with KeyActionResult.
    TKeyAction TranslateAcceleratorIO(const TKeyMessage& key);
    // A new browser window showing `address` (empty: the start page); a
    // window that cannot be started is told on the ticker.
    void OpenBrowserWindow(const std::string& address);
    // The service's pages, its forms among them, open in a new window of the
    // host browser, so the page the user was on stays; `address` carries no
    // scheme.
    void OpenServicePage(const std::string& address);
    void FlashBrowserWindow();
    // OnEnter of the five edit boxes and OnClick of Edit1: the bar has the focus.
    void EditEnter(TFocusTarget control);
    // OnTyped of the edit boxes: a character the bar's code page cannot hold
    // is refused, with a hint, rather than sent as "?"; a box that has just
    // become full says how much it holds.
    void EditTyped(TEdit& edit, const std::string& text, int refused);
    // Minimise and restore through the band site (a side panel collapses its
    // banner area instead); the timer re-applies a stored minimised state
    // once after each showing.
    enum class TResizeSender { Button, ResizeTimer, Login };
    void ResizeBtnClick(TResizeSender sender);
    void resize_timerTimer();
    // The handler of the form's height changes (FormResized runs it).
    void BannerPanelResize();

    void URLTimerTimer();
    void CheckSiteUrl();

    // What of the page leaves the browser. < 0 reads the privacy settings
    // ("share", "neverreport", "neverreportdefaults") into their fields, > 0
    // writes them; the first failure ends the call silently.
    void SyncPrivacySettings(int direction);
    // Whether the page `address` (cut, without scheme) is never reported: the
    // user's patterns, then the built-in defaults, which never name the
    // service's own hosts (a local service stays reachable on loopback).
    bool NeverReported(const std::string& address) const;

  private:
    // A page the bar cannot report: the user leaves the site's list while the
    // session, its private chats and friends go on. `reason` is the ticker's
    // status line.
    void PauseSite(const char* reason);
    // The next web page: the status line that the pause replaced comes back.
    void ResumeSite();

  public:
    // ---- Status ticker (ticker.cpp) ----
    // `format` is printf-style; the line is returned so that the caller can
    // fill `user` and `link`. The reference stays valid until the line leaves
    // the queue (the next timer step may move it).
    TMsgLine& PostMsg(int32_t kind, int32_t buttons, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    void msg_timerTimer();
    void msg_paint(TCanvas& canvas);
    void msg_imgMouseMove(TShiftState shift, int32_t x, int32_t y);
    void msg_imgMouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
    void msg_pnlResize();
    // The people list or the server's status text changed: a front line that
    // shows them is drawn again at once, not at its next turn.
    void TickerCountChanged();
    // A call from `caller`: one line per caller, which takes the new call's
    // address and is shown at once. It takes the call's text too, unless it
    // still holds words that had no whole turn yet: the text then waits for
    // the end of that turn.
    enum class TCallWords { None, Some };
    void ShowCall(const std::string& caller, const std::string& text, const std::string& link,
                  TCallWords words = TCallWords::None);
    // A notice about the user's own typing, shown at once and only once.
    void ShowHint(const std::string& text);

  private:
    void DrawMsgLine();
    std::string MsgLineText(const TMsgLine& line) const;
    // What the front line shows beside its buttons: the standing status line.
    std::string BesideButtonsText() const;
    void DrawBesideButtons(int32_t buttonsEnd);
    void NextMsgLine();
    void RestartFrontLine();
    int32_t ScrollOffset() const { return msgSrcRect.left; }
    // The column's ticker: its buttons stand still at the right (or on the
    // second row) and only the text scrolls, by msgTextScroll pixels.
    bool FixedTickerButtons() const { return layout.Table() == TLayoutTable::Column; }
    void DrawFixedButtonsLine();
    // An invitation's line: "show" selects its tab, "leave" leaves the chat.
    void ChatInviteClicked(const TMsgLine& line, uint8_t hit);
    void ShowChatInvite(const std::string& inviter, ChatId chat);

  public:
    // ---- Banners: modes, web banners, their timer, the lower strip (banner.cpp) ----
    void SetBannerMode(TBannerMode mode);
    void ShowBanner(int32_t id); // -1 = the last one asked for
    // The web site's host[:port], and the same with its scheme for the
    // addresses of its pages.
    std::string WebSiteHost() const;
    std::string WebSiteAddress() const;
    // Loads `address` into CppWebBrowser with its input on; the banner area
    // keeps its panel until the page completes. Profile pages come this way too.
    // What a failed load of the banner area tells the user: nothing for a
    // banner (the default one takes its place), a notice for a page the
    // user asked for.
    enum class TBannerPage { Banner, Profile };
    void NavigateBanner(const std::string& address, TBannerPage page);
    void CppWebBrowserDocumentComplete();
    void CppWebBrowserNavigateError();
    void BannerTimerTimer();
    // The default banner's last two rows, repeated down bottom_bnr.
    void bottom_bnrPaint(TCanvas& canvas);

  private:
    void BindBannerComponents();

  public:
    // ---- Lists and chats: presence, chat tabs, sending, menus, console ----
    // Chat tabs: the one way a tab is made. Returns the new sheet.
    TTabSheet& CreateChatTab(const std::string& title, UserId owner, ChatId chat);
    // Server messages, handed over by the dispatcher with their fields read.
    void PresenceRecord(const TPresenceMsg& m);             // type 5
    void UserLeftSite(const TUserLeftMsg& m);               // type 6
    void ChatLineReceived(const TChatLineMsg& m);           // type 2: appends the line only
    void MemberJoined(const TMemberMsg& m);                 // type 3
    void MemberLeft(const TMemberMsg& m);                   // type 4
    void DatedLineReceived(const TDatedLineMsg& m);         // type 12
    void SearchAnswerReceived(const TSearchAnswerMsg& m);   // type 10
    void LookingForYouReceived(const TLookingForYouMsg& m); // type 13

    // Presence lists. FindUser scans lvUsers from the first entry and returns
    // the index of the first entry with that id, or -1.
    int FindUser(UserId id) const;
    UserId UserIdOfEntry(const TListItem& entry) const { return entry.data; }
    // Marks the members of `tab`'s chat in lvUsers and unmarks everybody else.
    void MarkChatMembers(const ChatTab& tab);
    // Clears lvUsers, closes every private tab without telling the server,
    // clears the public chat's text and drops every ticker line but the status.
    void ResetPresence();
    // lvUsers, lvFriends and cbSearch's drop-down items, when a connection ends.
    void ClearPeopleLists();

    // Chat tabs. Sheets are owned by PageControl; a returned pointer lives
    // until the tab closes.
    TTabSheet* FindTabByChat(ChatId chat); // scans from the last tab; null = none
    TTabSheet* TabByIndex(int index);      // a negative index means the active tab
    enum class TCloseNotify { Silent, TellServer };
    // Destroys the tab with its record and view; with TellServer and an open
    // connection the server hears that the user left the chat.
    void CloseChatTab(TTabSheet& sheet, TCloseNotify notify);
    // The active tab changed: its highlight goes, Edit1 takes the private or
    // public colour and lvUsers marks the chat's members.
    void PageControlChange();
    // Where a line typed in Edit1 goes, for its placeholder.
    std::string ChatLineHint(const ChatTab& tab) const;
    // A tab's invitation leaves the ticker with the tab.
    void DropChatInvite(ChatId chat);
    // The one way text reaches a conversation. `stamp` is a UTC date-time, 0 =
    // now; `nick` is used only with a stamp. Lines from the server (sender 0)
    // with a private-looking chat id are notices routed by (chat >> 8).
    void AppendLine(bool eventLine, UserId sender, ChatId chat, const std::string& text,
                    double stamp, const std::string& nick);
    // The users menu's "Invite in a new private chat" / "Invite in this private
    // chat" for the user of `entry`.
    void InviteInNewPrivateChat(const TListItem& entry);
    void InviteInActiveChat(const TListItem& entry);

    // Sending text; Enter in Edit1 routes here too.
    void sbSendTxtClick();
    void txt_timerTimer();
    // Edit1 entered or clicked: the grey hint makes room for typing.
    void Edit1Enter();
    // The chat context menu, raised on a chat view or on the tab strip (the
    // sender); it always acts on the active tab. A chosen close waits for the
    // mouse-up, so that a tab is never destroyed under its own event.
    // The menu takes the button's release: the form hears its mouse-up after
    // it by itself, and a kit reports no mouse-up for it.
    void ChatContextPopup(const TModel& sender, int32_t x, int32_t y, bool& handled);
    // A button released over the chat view; what it does waits for
    // mouseUp_timer, so a kit may call it from inside the widget's event.
    void ChatMouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y);

    // Shows a menu through the kit; see navlet::Track.
    int16_t Track(TBarMenu& menu, int32_t x, int32_t y, const TComponent* control);
    // The server output console: created and shown by the first text.
    void ConsoleText(const std::string& text);

  private:
    void BindChatComponents();
    // Closes the tab the context menu chose to close, if it is still there.
    void CloseClosingSheet();
    void BuildMenus();
    // A friend's record: a new entry, or the new state of one already listed.
    void FriendRecord(const TPresenceMsg& m, int32_t gender);
    // A server line whose chat id marks a notice; false when it is chat text.
    bool RouteServerNotice(ChatId chat, const std::string& text);
    void WriteConversationLine(TChatView& view, bool eventLine, UserId sender,
                               const std::string& text, double stamp, const std::string& nick);
    std::string SenderNick(UserId sender, double stamp, const std::string& nick) const;
    void AddMemberAndInvite(TTabSheet& sheet, UserId user);

  public:
    // ---- Actions: people, search panel, options menu, About box ----
    // The options menu's senders: the options button and the bar's logo.
    enum class TNavletSender { NavletBtn, Logo };
    // A click (left or right) on lvUsers / lvFriends; (x, y) is the selected
    // entry's position in the list's coordinates. The right click's event is
    // handled. Nothing happens without a selected entry.
    void lvUsersPopup(int32_t entryX, int32_t entryY, bool& handled);
    void lvFriendsPopup(int32_t entryX, int32_t entryY, bool& handled);
    // Works out the users menu's enabled items for the user of `entry`.
    void RefreshUsersMenu(const TListItem& entry);
    void ViewProfile(UserId user);
    void AddFriend(const TListItem& entry);
    void DeleteFriend(int friendIndex);
    // ---- Ignore and block (marks.cpp) ----
    // Whom the user ignores or blocks (MARK_IGNORED, MARK_BLOCKED), as the
    // server last said or the user last chose; MARK_NONE for anyone else.
    uint8_t MarkOf(UserId user) const;
    void MarkReceived(const TMarkMsg& m); // type 16
    enum class TMarkAction { Ignore, StopIgnoring, Block, Unblock };
    // Sends the change and shows it at once: the server's answer, when it
    // has one, only confirms (an older server has none and drops the request).
    // A block leaves the private chats with the user, the active tab through
    // closingSheet when `chatMenu` is open over it.
    void ChangeMark(UserId user, const std::string& nick, TMarkAction action, bool chatMenu);
    // The users menu's and the chat member menus' items for the user's mark.
    static const char* IgnoreCaption(uint8_t mark);
    static const char* BlockCaption(uint8_t mark);
    static TMarkAction IgnoreAction(uint8_t mark);
    static TMarkAction BlockAction(uint8_t mark);
    // ---- Reports, invisibility, friends here (safety.cpp) ----
    // "Report this user...": the report box asks for a reason and a line
    // of words; OK sends the report, and the ignore unless the user
    // unchecked it. `chatMenu` as for ChangeMark.
    void ReportUser(UserId user, const std::string& nick, bool chatMenu);
    // The box's line as the request carries it: control characters blanked,
    // in the session's code, cut between characters to the field.
    std::string ReportText(std::string_view typed) const;
    bool reportAlsoIgnores = true; // the box's last choice, for this bar's life
    // Type 17: "Your friend %s is on this site." once per friend and visit.
    void FriendHereReceived(const TFriendHereMsg& m);
    std::set<UserId> friendsToldHere; // this site visit's
    // The friends panel shows a friend here from the friend-here message
    // until either of us moves on: the friend leaves the site's list or goes
    // offline, or this bar goes to another site or pauses.
    TFriendState FriendState(UserId user) const; // Online or Here
    void SetFriendHere(UserId user, bool here);
    void ForgetFriendsHere();
    std::set<UserId> friendsHere; // friends on this site now
    // The privacy bits the options menu sets, as the request sends them.
    uint8_t PrivacyFlags() const;
    // Tells the server the privacy bits (at each sign-in and each change).
    void SendPrivacy();
    bool invisible = false;
    bool visibleToFriends = false;
    bool tellFriends = true;
    void FriendsBtnClick();
    void SearchBtnClick();
    void ShowSearchPanel();
    void sbSearchClick();
    // A key pressed in edSearchMsg, cbSearch or lvFriends.
    void OnBnrPnlKeyPress(char key);
    // (mouseX, mouseY): for the logo, the mouse in the logo's coordinates;
    // ignored for NavletBtn, whose menu opens below the button.
    void sbNavletClick(TNavletSender sender, int32_t mouseX, int32_t mouseY);
    void sbNavletMouseUp(TNavletSender sender, TMouseButton button, TShiftState shift, int32_t x,
                         int32_t y);

  private:
    void BindActionComponents(); // buttons and boxes of the search side
    void ActOnOptionsChoice(int16_t id);
    // "Never report this site": the shown page's host joins the user's
    // patterns, or leaves them when it is there as it is.
    bool OwnNeverReportEntry() const;
    void ToggleNeverReportSite();

    // ---- Self-update: the download and the installation (update.cpp) ----
    void UpdateChunkReceived(const TUpdateChunkMsg& chunk);
    void WriteUpdateChunk(const TUpdateChunkMsg& chunk);
    void InstallUpdate(int32_t wholeSize);
    void WriteChunkData(const TUpdateChunkMsg& chunk);
    void OpenUpdateFile(int32_t offered, bool abandoned);
    bool ModuleFileIsWhole(const std::string& path, int64_t wholeSize, int32_t version);
    void DropBrokenUpdate();
    // A host that updates the module itself hears of an offer instead.
    void TellHostOfOffer(int32_t version);
    // Where the download is written: beside the module, or in the folder the
    // platform gives a protected bar.
    std::string UpdateFolder() const;
    // A protected bar cannot rename into the module's folder nor re-point the
    // class: it keeps the checked module in the low folder and says so. A bar
    // that can install deletes that file unused.
    void ParkProtectedUpdate();
    void DiscardProtectedDownload();
    // Points the class's in-process server at `modulePath` in the hive that
    // holds its registration; registry errors are ignored.
    void RepointInprocServer(const std::string& modulePath);

  public:
    // ---- Components, by their layout names ----
    TListView lvFriends;
    TComboBoxEx cbSearch;
    TEdit edSearchMsg;
    TButton sbSearch;
    TSpeedButton SearchBtn;  // "search user"
    TSpeedButton FriendsBtn; // "friends"
    TSpeedButton NavletBtn;  // "options"
    TControl navlet_left_img;
    std::unique_ptr<TWebBrowser> CppWebBrowser;
    TPaintBox bottom_bnr;
    std::unique_ptr<TClientSocket> ClientSocket;
    TTimer msg_timer;
    TTimer txt_timer;
    TTimer URLTimer;
    TTimer BannerTimer;
    TTimer upd_timer;
    TTimer resize_timer;
    TTimer led_timer;
    TTimer reconnect_timer;
    // Carries out a chat mouse-up once the kit's event is over, so that a tab
    // the context menu closes is not destroyed under the widget reporting it.
    TTimer mouseUp_timer;
    TControl msg_pnl;
    TPaintBox msg_img;
    TEdit Edit1;
    TListView lvUsers;
    TPageControl PageControl;
    TBannerPanel BannerPanel;
    TControl Form;            // the form's own window: height from the band, visibility
    TFormFocus ActiveControl; // the form's active control
    TSpeedButton LEDBtn;      // "connection status"
    TSpeedButton ResizeBtn;   // "minimize"
    TControl ChatMsgPanel;    // Edit1 and its send button, under the chat tabs
    TControl DefBannerPanel;  // the five panels of BannerPanel
    TControl LoginPanel;
    TControl WebPanel;
    TControl SearchPanel;
    TControl FriendPanel;
    TEdit edNck;
    TPasswordEdit edPwd;
    TButton sbLogin;

    // ---- State ----
    // Public so that the kits' bindings and the tests see exactly what the
    // handlers see; only the form's own methods change it.
    TDisplayList bottomBnrImage; // built for bottom_bnr's current size
    int32_t updateHandle = -1;
    int32_t bannerId = 0;
    int32_t barSize = 0;
    double lastSendTime = 0;
    char moduleFile[MODULE_FILE_SIZE] = {};
    bool loggedIn = false;
    bool autoLogin = true;
    bool disconnectedOnce = false;
    bool autoReconnecting = false;
    bool closingOnPurpose = false;
    // The server's ticker notice when it was the last message before the end
    // of the session: the session's reason, kept in the status line that
    // remains until the next attempt.
    std::string endReason;
    std::list<TMsgLine> msgQueue;
    std::string serverStatus;
    int32_t msgPhase = 0;
    int32_t msgScrollMax = 0;
    int32_t msgTextScroll = 0;
    TRect msgSrcRect;
    TRect msgDstRect;
    std::unique_ptr<TDisplayList> msgImage;
    std::unique_ptr<THitMap> msgHitMap;
    std::string msgShownText; // the text the front line was last drawn with
    uint32_t languageMask = 0;
    std::unique_ptr<TBarMenu> usersMenu;
    std::map<UserId, uint8_t> marks; // only marked users; for this connection
    std::unique_ptr<TBarMenu> languageMenu;
    std::unique_ptr<TBarMenu> optionsMenu;
    bool textSizeMenuAdded = false; // a side panel's only
    TTabSheet* closingSheet = nullptr;
    uint64_t myUserId = 0;
    uint64_t myChatKey = 0;
    std::string versionText;
    int32_t moduleVersion = 0;
    int32_t updateVersion = 0;
    int32_t updateBytes = 0;
    int32_t toldOffer = 0; // the offer last told to a host that updates the module
    std::string siteUrl;
    std::string siteHost;
    // Privacy: what is reported, and the pause on pages that are not.
    TShareScope shareScope = TShareScope::Page; // the host's default until read
    std::vector<std::string> neverReported;     // the user's own patterns
    bool neverReportDefaults = true;
    bool sitePaused = false;       // the server was told: on no site
    std::string shownPage;         // the web page shown, cut; empty on other pages
    std::string pauseLine;         // the status line of the pause
    std::string statusBeforePause; // the status line the pause replaced
    std::string myNick;
    std::string password;
    std::string shownVersion;
    std::string updateFile;
    THostControl* hostControl = nullptr;
    bool pageLoaded = false;
    bool bannerNavFailed = false;
    TBannerPage bannerPage = TBannerPage::Banner; // what the banner area loads

    TPacketAssembler receiveAssembler; // the open connection's byte stream
    uint32_t connectionSerial = 0;     // grows with every connect and disconnect
    // The session's text code: 1252 until the server confirms UTF-8.
    TTextCode wireCode = TTextCode::Cp1252;
    TBarLayout layout;      // the places of the form's parts
    bool formSized = false; // the kit has reported a size
    THostShape hostShape = THostShape::Band;
};

} // namespace navlet
