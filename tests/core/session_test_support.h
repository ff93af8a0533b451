// A bar attached to a recording host browser, with server messages at hand.
#pragma once

#include <string>
#include <vector>

#include "protocol/messages.h"
#include "protocol/requests.h"
#include "tests/core/bar_test_support.h"

namespace navlet::testing {

class SessionTest : public BarTest {
  protected:
    void SetUp() override {
        BarTest::SetUp();
        loginCount = 0; // module-wide: each test starts as a freshly loaded module
        ledBlinkPhase = 0;
        host.location = "http://www.example.com/index.html";
    }

    // Stores a nick and a password as a sign-in would have.
    void StoreLogin(const std::string& nick = "alice", const std::string& pwd = "secret") {
        tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "nck", nick);
        tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "pwd",
                        TNavlet::ScramblePassword(pwd, -1));
    }

    // A bar given its site and shown, as the browser does it.
    TNavlet& ShownBar() {
        TNavlet& b = MakeBar();
        b.AttachHost(host);
        b.ShowDW(true);
        return b;
    }

    TScriptedSocket& Socket() { return tk.sockets.Last(); }

    // A shown bar, connected and signed in, with nothing sent yet after that.
    TNavlet& SignedInShownBar() {
        StoreLogin();
        TNavlet& b = ShownBar();
        Socket().AcceptConnection();
        ConfirmLogin();
        Socket().ClearSent();
        return b;
    }

    // A signed-in bar on a site where bob (9) is too: a move off the site
    // has someone to leave. Nothing sent yet after that.
    TNavlet& SignedInBesideBob() {
        StoreLogin();
        TNavlet& b = ShownBar();
        Socket().AcceptConnection();
        ConfirmLogin();
        Feed(Bob());
        Socket().ClearSent();
        return b;
    }
    static TPresenceMsg Bob() {
        TPresenceMsg bob;
        bob.user = 9;
        bob.nick = "bob";
        return bob;
    }

    // The browser shows `url` and tells the bar; a second goes by.
    void Visit(TNavlet& b, const std::string& url) {
        host.location = url;
        b.BrowserDocumentComplete();
        tk.time.Advance(1000);
    }

    // The site reports sent since the last ClearSent, in order.
    std::vector<std::string> Reports() {
        std::vector<std::string> sites;
        for (const TPacket& p : Socket().SentPackets())
            if (p.Type() == REQ_SITE_REPORT)
                sites.push_back(ReadSiteReport(p));
        return sites;
    }

    // The own presence record that confirms the login.
    void ConfirmLogin(UserId me = 7, const std::string& nick = "alice") {
        TPresenceMsg m;
        m.user = me;
        m.chatKey = 0x123456;
        m.nick = nick;
        Feed(m);
    }

    static std::vector<uint8_t> Encoded(TPacket packet, int length, uint8_t type) {
        EncodePacket(packet, length, type, NextKeyOffset());
        return std::vector<uint8_t>(packet.bytes, packet.bytes + length);
    }
    // A message as the server sends it, written into a packet by `write`.
    template <typename TWrite> static std::vector<uint8_t> Packed(uint8_t type, TWrite write) {
        TPacket p;
        ClearPacket(p);
        const int length = write(p); // before the packet is copied
        return Encoded(p, length, type);
    }
    static std::vector<uint8_t> Bytes(const TPresenceMsg& m) {
        return Packed(MSG_PRESENCE, [&](TPacket& p) { return WritePresence(p, m); });
    }
    static std::vector<uint8_t> Bytes(const TChatLineMsg& m) {
        return Packed(MSG_CHAT_LINE, [&](TPacket& p) { return WriteChatLine(p, m); });
    }
    static std::vector<uint8_t> EndSessionBytes() {
        return Packed(MSG_END_SESSION, [](TPacket& p) { return WriteEndSession(p); });
    }
    static std::vector<uint8_t> Bytes(const TUpdateChunkMsg& m) {
        return Packed(MSG_UPDATE_CHUNK, [&](TPacket& p) { return WriteUpdateChunk(p, m); });
    }
    template <typename M> void Feed(const M& m) { Socket().Feed(Bytes(m)); }

    // Types of the packets the bar sent since the last ClearSent.
    std::vector<int> SentTypes() {
        std::vector<int> types;
        for (const TPacket& p : Socket().SentPackets())
            types.push_back(p.Type());
        return types;
    }
    // The standing status line (at most one is queued).
    std::string StatusText() {
        for (const TMsgLine& line : bar->msgQueue)
            if (line.kind == mkStatus)
                return line.text;
        return {};
    }

    TRecordingHostControl host;
};

} // namespace navlet::testing
