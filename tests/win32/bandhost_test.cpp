// navlet-bandhost hosting the real bar: the class found under CATID_CommBand
// and made through the registry, its band sizes, its window shown inside the
// container, a scripted move of the browser reported to a loopback session
// server, and the close.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "client/core/navlet.h"
#include "client/win32/kit/win32_registry.h"
#include "protocol/assembler.h"
#include "protocol/requests.h"
#include "tests/win32/process_runner.h"

namespace {

using namespace navlet;
using namespace navlet::wintest;

// A session server of one connection on 127.0.0.1: it keeps every packet the
// bar sends until the bar closes the connection.
class TLoopbackServer {
  public:
    TLoopbackServer() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int size = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
        listen(listener, 1);
        worker = std::thread([this] { Serve(); });
    }
    ~TLoopbackServer() {
        if (listener != INVALID_SOCKET)
            closesocket(listener); // ends an accept that never came
        if (worker.joinable())
            worker.join();
        WSACleanup();
    }
    int Port() const { return port; }
    // After the bar's process ended.
    std::vector<TPacket> Received() {
        closesocket(listener);
        listener = INVALID_SOCKET;
        if (worker.joinable())
            worker.join();
        return packets;
    }

  private:
    void Serve() {
        SOCKET peer = accept(listener, nullptr, nullptr);
        if (peer == INVALID_SOCKET)
            return;
        DWORD timeoutMs = 30000;
        setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                   sizeof timeoutMs);
        TPacketAssembler assembler;
        uint8_t buffer[1024];
        for (;;) {
            const int got = recv(peer, reinterpret_cast<char*>(buffer), sizeof buffer, 0);
            if (got <= 0)
                break;
            size_t offset = 0;
            while (offset < size_t(got)) {
                size_t used = 0;
                TPacket packet;
                const TAssembleResult r =
                    assembler.Next(buffer + offset, size_t(got) - offset, used, packet);
                offset += used;
                if (r == TAssembleResult::Packet)
                    packets.push_back(packet);
                if (r == TAssembleResult::NeedMore || r == TAssembleResult::Broken)
                    break;
            }
        }
        closesocket(peer);
    }

    SOCKET listener = INVALID_SOCKET;
    int port = 0;
    std::thread worker;
    std::vector<TPacket> packets;
};

// A signed-in user's stored settings, so that showing the band connects.
// Without them, the bar starts from no settings at all.
void StoreSignedInUser(bool present) {
    RegDeleteTreeA(HKEY_CURRENT_USER, SETTINGS_KEY);
    if (!present)
        return;
    win32::TWin32Registry registry;
    auto key = registry.OpenKey(THive::CurrentUser, SETTINGS_KEY, TKeyOpen::Create);
    ASSERT_TRUE(key);
    key->WriteString("nck", "demo");
    key->WriteString("pwd", TNavlet::ScramblePassword("demo", -1));
    key->WriteInteger("autologin", 1);
}

bool HasLine(const std::string& output, const std::string& line) {
    return output.find(line + "\n") != std::string::npos ||
           output.find(line + "\r\n") != std::string::npos;
}

TEST(BandHost, HostsTheRegisteredBarWhichReportsTheBrowsersNewSite) {
    const std::wstring module = Quoted(ModulePath());
    ASSERT_EQ(RunProcess(L"regsvr32.exe /s " + module).exitCode, 0u);
    StoreSignedInUser(true);
    TLoopbackServer server;
    const std::wstring shot = MakeTempDirectory(L"navlet-bandhost") + L"band.bmp";
    const TProcessResult run =
        RunProcess(Quoted(ProgramDirectory() + L"navlet-bandhost.exe") +
                       L" --url http://one.example/start/ --show --wait 1000"
                       L" --move http://two.example/next --key 0x74 --screenshot " +
                       Quoted(shot) + L" --close",
                   {
                       {L"NAVLET_SERVER", L"127.0.0.1:" + std::to_wstring(server.Port())},
                   },
                   90000);
    const std::vector<TPacket> sent = server.Received();
    StoreSignedInUser(false);
    RunProcess(L"regsvr32.exe /s /u " + module);

    const std::string& out = run.output;
    SCOPED_TRACE(out);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(HasLine(
        out, "created {5E0A7C21-6B3D-4F19-9A42-C8D17E05B3A6} hr=0x00000000 from classes root"));
    const std::string sizes = "min=" + std::to_string(BAND_MIN_WIDTH) + "x" +
                              std::to_string(BAR_MIN_HEIGHT) +
                              " max=-1x-1 integral=1x1 ideal=" + std::to_string(BAND_IDEAL_WIDTH) +
                              "x" + std::to_string(BAND_IDEAL_HEIGHT);
    EXPECT_TRUE(
        HasLine(out, "bandinfo hr=0x00000000 " + sizes + " modeflags=0x8 mask=0x3f title=\"\""));
    EXPECT_TRUE(out.find("shown hr=0x00000000 visible=1 inside=1") != std::string::npos);
    // The first showing in this version opens the sign-up page, in a window
    // of its own: the page the browser showed stays.
    const size_t signUp = out.find("/newuser.asp in a new window");
    ASSERT_NE(signUp, std::string::npos);
    EXPECT_EQ(out.rfind("navigated http://", signUp), out.rfind("navigated ", signUp));
    EXPECT_TRUE(HasLine(out, "load http://two.example/next checks=1"));
    // F5 with no edit box of the bar focused: the browser's key, and the
    // browser hears that the bar lost the focus.
    EXPECT_TRUE(HasLine(out, "key 0x74 hr=0x00000001 focus=lost"));
    EXPECT_TRUE(HasLine(out, "screenshot written"));
    EXPECT_TRUE(HasLine(out, "closed hr=0x00000000 window=0 sinks=0"));

    // The session: the login carries the first site, the move is reported.
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0].Type(), REQ_LOGIN);
    EXPECT_EQ(ReadLogin(sent[0]).nick, "demo");
    EXPECT_EQ(ReadLogin(sent[0]).site, "one.example/start");
    std::vector<std::string> reports;
    for (const TPacket& p : sent)
        if (p.Type() == REQ_SITE_REPORT)
            reports.push_back(ReadSiteReport(p));
    EXPECT_EQ(reports, std::vector<std::string>{"two.example/next"});

    // The screenshot holds the frame with the band across its bottom.
    FILE* f = _wfopen(shot.c_str(), L"rb");
    ASSERT_NE(f, nullptr);
    char magic[2] = {};
    EXPECT_EQ(fread(magic, 1, 2, f), 2u);
    fclose(f);
    EXPECT_EQ(std::string(magic, 2), "BM");
}

// Keys go through the container's message loop, which offers them to the
// band as the browser does: Enter in the password box signs in.
TEST(BandHost, EnterInThePasswordBoxSignsInThroughTheBandsKeyHandling) {
    const std::wstring module = Quoted(ModulePath());
    ASSERT_EQ(RunProcess(L"regsvr32.exe /s " + module).exitCode, 0u);
    StoreSignedInUser(false);
    TLoopbackServer server;
    const TProcessResult run =
        RunProcess(Quoted(ProgramDirectory() + L"navlet-bandhost.exe") +
                       L" --url http://one.example/ --show --wait-shown edNck"
                       L" --type edNck demo --type edPwd secret --press edPwd 0x0D --wait 1500"
                       L" --close",
                   {
                       {L"NAVLET_SERVER", L"127.0.0.1:" + std::to_wstring(server.Port())},
                   },
                   90000);
    const std::vector<TPacket> sent = server.Received();
    StoreSignedInUser(false);
    RunProcess(L"regsvr32.exe /s /u " + module);
    SCOPED_TRACE(run.output);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(HasLine(run.output, "pressed 0x0d in edPwd ok"));
    ASSERT_GE(sent.size(), 1u);
    EXPECT_EQ(sent[0].Type(), REQ_LOGIN);
    EXPECT_EQ(ReadLogin(sent[0]).nick, "demo");
    EXPECT_EQ(ReadLogin(sent[0]).password, "secret");
}

} // namespace
