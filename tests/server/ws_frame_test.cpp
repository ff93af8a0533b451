// WebSocket frames and the upgrade, as browsers and hostile peers send them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/websocket/ws_frame.h"
#include "server/websocket/ws_handshake.h"

namespace navlet::ws {
namespace {

using TKind = TFrameEvent::TKind;
const uint8_t MASK[4] = {0x37, 0xFA, 0x21, 0x3D};

std::vector<uint8_t> Bytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::string Frame(TOpcode op, std::string_view payload, bool fin = true) {
    std::string out;
    AppendFrame(out, op, payload, fin, MASK);
    return out;
}

// Feeds `bytes` `step` at a time; collects the data and the events' kinds.
struct TRun {
    std::string data;
    std::vector<TFrameEvent> events;
    // Their payloads, copied: the decoder's own copy lasts until the next call.
    std::vector<std::string> payloads;
    int messages = 0;
    int frames = 0;      // data frames, each reported once
    int emptyFrames = 0; // of those, the ones that carry nothing
};

TRun Feed(TFrameDecoder& decoder, std::vector<uint8_t> bytes, size_t step) {
    TRun run;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t used = 0;
        TFrameEvent e = decoder.Next(bytes.data() + at, std::min(step, bytes.size() - at), used);
        at += used;
        if (e.kind == TKind::NeedMore)
            continue;
        if (e.kind == TKind::Data) {
            run.data.append(reinterpret_cast<const char*>(e.data), e.size);
            run.messages += e.messageEnd;
            run.frames += e.frameStart;
            run.emptyFrames += e.frameStart && e.size == 0;
            continue;
        }
        run.events.push_back(e);
        run.payloads.emplace_back(reinterpret_cast<const char*>(e.data), e.size);
        if (e.kind == TKind::Error)
            break;
    }
    return run;
}

uint16_t ErrorOf(const std::string& stream, TRole role = TRole::Server) {
    TFrameDecoder decoder(role);
    TRun run = Feed(decoder, Bytes(stream), stream.size());
    return !run.events.empty() && run.events.back().kind == TKind::Error ? run.events.back().code
                                                                         : 0;
}

TEST(WsFrame, UnmasksAcrossReadsOfAnySize) {
    // The masked "Hello" of RFC 6455 5.7, then fragments with a ping between
    // (its payload split over reads too).
    std::string stream = "\x81\x85\x37\xfa\x21\x3d\x7f\x9f\x4d\x51\x58";
    stream += Frame(TOpcode::Binary, "ab", false) + Frame(TOpcode::Ping, "ping") +
              Frame(TOpcode::Continuation, "", false) + Frame(TOpcode::Continuation, "cd");
    for (size_t step : {size_t(1), size_t(3), stream.size()}) {
        TFrameDecoder decoder(TRole::Server);
        TRun run = Feed(decoder, Bytes(stream), step);
        EXPECT_EQ(run.data, "Helloabcd") << step;
        EXPECT_EQ(run.messages, 2) << step;
        ASSERT_EQ(run.events.size(), 1u) << step;
        EXPECT_EQ(run.events[0].kind, TKind::Ping);
        EXPECT_EQ(run.payloads[0], "ping") << step;
        EXPECT_FALSE(decoder.InMessage());
    }
}

// A reader counts what each frame costs it: empty fragments, which carry
// nothing to pass on, are reported like any other, and a frame split over
// reads is reported once.
TEST(WsFrame, ReportsEveryDataFrameOnceEmptyOnesToo) {
    std::string stream = Frame(TOpcode::Binary, "ab", false);
    for (int i = 0; i < 3; ++i)
        stream += Frame(TOpcode::Continuation, "", false);
    stream +=
        Frame(TOpcode::Pong, "") + Frame(TOpcode::Continuation, "cd") + Frame(TOpcode::Binary, "");
    for (size_t step : {size_t(1), size_t(5), stream.size()}) {
        TFrameDecoder decoder(TRole::Server);
        TRun run = Feed(decoder, Bytes(stream), step);
        EXPECT_EQ(run.data, "abcd") << step;
        EXPECT_EQ(run.frames, 6) << step;
        EXPECT_EQ(run.emptyFrames, 4) << step;
        EXPECT_EQ(run.messages, 2) << step;
        ASSERT_EQ(run.events.size(), 1u) << step;
        EXPECT_EQ(run.events[0].kind, TKind::Pong);
    }
}

TEST(WsFrame, RefusesWhatNoPeerMaySend) {
    std::string unmasked;
    AppendFrame(unmasked, TOpcode::Binary, "x");
    EXPECT_EQ(ErrorOf(unmasked), CLOSE_PROTOCOL);
    EXPECT_EQ(ErrorOf(Frame(TOpcode::Binary, "x"), TRole::Client), CLOSE_PROTOCOL);
    EXPECT_EQ(ErrorOf(unmasked, TRole::Client), 0);
    std::string reserved = Frame(TOpcode::Binary, "x");
    reserved[0] = char(reserved[0] | 0x40);
    EXPECT_EQ(ErrorOf(reserved), CLOSE_PROTOCOL);
    std::string unknown = Frame(TOpcode::Binary, "x");
    unknown[0] = char(0x83);
    EXPECT_EQ(ErrorOf(unknown), CLOSE_PROTOCOL);
    EXPECT_EQ(ErrorOf(Frame(TOpcode::Ping, "", false)), CLOSE_PROTOCOL);
    EXPECT_EQ(ErrorOf(Frame(TOpcode::Ping, std::string(126, 'p'))), CLOSE_PROTOCOL);
    EXPECT_EQ(ErrorOf(Frame(TOpcode::Ping, std::string(125, 'p'))), 0);
    EXPECT_EQ(ErrorOf(Frame(TOpcode::Continuation, "x")), CLOSE_PROTOCOL);
    EXPECT_EQ(ErrorOf(Frame(TOpcode::Binary, "a", false) + Frame(TOpcode::Binary, "b")),
              CLOSE_PROTOCOL);
}

TEST(WsFrame, BoundsMessagesOnTheHeaderBeforeThePayload) {
    std::string exact = Frame(TOpcode::Binary, std::string(MAX_MESSAGE, 'x'));
    EXPECT_EQ(ErrorOf(exact), 0);
    // A 1 MiB frame is refused on its 14 header bytes alone.
    uint8_t header[MAX_FRAME_HEADER];
    size_t n = WriteFrameHeader(header, TOpcode::Binary, 1u << 20, true, MASK);
    TFrameDecoder decoder(TRole::Server);
    size_t used = 0;
    TFrameEvent e = decoder.Next(header, n, used);
    EXPECT_EQ(e.kind, TKind::Error);
    EXPECT_EQ(e.code, CLOSE_TOO_BIG);
    // Fragments count together; the one that would pass the bound is refused.
    std::string fragments;
    for (size_t i = 0; i < MAX_MESSAGE; ++i)
        fragments += Frame(i == 0 ? TOpcode::Binary : TOpcode::Continuation, "y", false);
    fragments += Frame(TOpcode::Continuation, "z");
    TFrameDecoder many(TRole::Server);
    TRun run = Feed(many, Bytes(fragments), 4096);
    EXPECT_EQ(run.data.size(), MAX_MESSAGE);
    ASSERT_FALSE(run.events.empty());
    EXPECT_EQ(run.events.back().code, CLOSE_TOO_BIG);
    // Broken stays broken, whatever follows.
    e = many.Next(header, n, used);
    EXPECT_EQ(e.kind, TKind::Error);
    EXPECT_EQ(used, n);
}

TEST(WsFrame, ReadsCloseCodes) {
    auto closeOf = [](std::string payload) {
        TFrameDecoder decoder(TRole::Server);
        TRun run = Feed(decoder, Bytes(Frame(TOpcode::Close, payload)), 64);
        return run.events.empty() ? TFrameEvent{} : run.events[0];
    };
    EXPECT_EQ(closeOf(ClosePayload(1001) + "bye").code, 1001);
    EXPECT_EQ(closeOf(ClosePayload(4000)).kind, TKind::Close);
    EXPECT_EQ(closeOf("").code, CLOSE_NO_STATUS);
    EXPECT_EQ(closeOf("").kind, TKind::Close);
    // One byte, or a code no peer may send (1005 is for "none was given").
    EXPECT_EQ(closeOf("\x03").kind, TKind::Error);
    EXPECT_EQ(closeOf(ClosePayload(1005)).kind, TKind::Error);
    EXPECT_EQ(closeOf(ClosePayload(999)).kind, TKind::Error);
}

web::THttpRequest Upgrade(std::vector<std::pair<std::string, std::string>> extra = {}) {
    web::THttpRequest r;
    r.method = "GET";
    r.path = "/session";
    r.headers = {{"host", "navlet.example:8080"},
                 {"upgrade", "websocket"},
                 {"connection", "keep-alive, Upgrade"},
                 {"sec-websocket-version", "13"},
                 {"sec-websocket-key", "dGhlIHNhbXBsZSBub25jZQ=="}};
    for (auto& [name, value] : extra) {
        bool replaced = false;
        for (auto& header : r.headers) {
            if (header.first == name)
                header.second = value, replaced = true;
        }
        if (!replaced)
            r.headers.emplace_back(name, value);
    }
    return r;
}

TEST(WsHandshake, AcceptsVersion13UpgradesFromAllowedOrigins) {
    EXPECT_EQ(AcceptKey("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
    TOriginPolicy policy = TOriginPolicy::Default();
    EXPECT_EQ(CheckUpgradeRequest(Upgrade(), policy), 0); // no Origin: no browser page
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"origin", "chrome-extension://abcdef"}}), policy), 0);
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"origin", "moz-extension://1234-5"}}), policy), 0);
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"origin", "https://navlet.example:8080"}}), policy), 0);
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"origin", "https://evil.example"}}), policy), 403);
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"origin", "chrome-extension://"}}), policy), 403);
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"origin", "null"}}), policy), 403);
    TOriginPolicy listed({"https://app.example"});
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"origin", "https://app.example"}}), listed), 0);
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"origin", "chrome-extension://x"}}), listed), 403);
    TOriginPolicy any({"*"});
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"origin", "https://evil.example"}}), any), 0);
}

TEST(WsHandshake, RefusesRequestsThatAreNoUpgrade) {
    TOriginPolicy policy = TOriginPolicy::Default();
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"sec-websocket-version", "8"}}), policy), 400);
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"sec-websocket-key", ""}}), policy), 400);
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"sec-websocket-key", "c2hvcnQ="}}), policy), 400);
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"upgrade", "h2c"}}), policy), 400);
    EXPECT_EQ(CheckUpgradeRequest(Upgrade({{"connection", "close"}}), policy), 400);
    web::THttpRequest post = Upgrade();
    post.method = "POST";
    EXPECT_EQ(CheckUpgradeRequest(post, policy), 400);
}

TEST(WsHandshake, ClientChecksTheServersAnswer) {
    std::string key = MakeKey(7);
    EXPECT_EQ(key.size(), 24u);
    EXPECT_TRUE(CheckUpgradeResponse(UpgradeResponse(key), key));
    EXPECT_FALSE(CheckUpgradeResponse(UpgradeResponse(MakeKey(8)), key));
    EXPECT_FALSE(CheckUpgradeResponse("HTTP/1.1 400 Bad Request\r\n\r\n", key));
}

} // namespace
} // namespace navlet::ws
