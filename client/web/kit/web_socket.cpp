#include "client/web/kit/web_socket.h"

#include <algorithm>
#include <cstring>
#include <map>

#include <emscripten.h>

namespace navlet::web {

namespace {

constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAENOBUFS = 10055;

std::map<int, TWebClientSocket*>& Sockets() {
    static std::map<int, TWebClientSocket*> sockets;
    return sockets;
}

int nextSocketId = 1;

// clang-format off
EM_JS(void, navlet_ws_open, (int id, uint32_t gen, const char* url), {
    var sockets = Module.navletSockets || (Module.navletSockets = {});
    var ws;
    try {
        ws = new WebSocket(UTF8ToString(url));
    } catch (e) {
        setTimeout(function() { _navlet_ws_closed(id, gen, 0); }, 0);
        return;
    }
    ws.binaryType = "arraybuffer";
    sockets[id] = ws;
    var opened = false;
    ws.onopen = function() { opened = true; _navlet_ws_opened(id, gen); };
    ws.onmessage = function(e) {
        if (!(e.data instanceof ArrayBuffer) || e.data.byteLength == 0)
            return;
        var bytes = new Uint8Array(e.data);
        var ptr = _malloc(bytes.length);
        HEAPU8.set(bytes, ptr);
        _navlet_ws_message(id, gen, ptr, bytes.length);
        _free(ptr);
    };
    ws.onclose = function() {
        if (sockets[id] === ws)
            delete sockets[id];
        _navlet_ws_closed(id, gen, opened ? 1 : 0);
    };
});

EM_JS(void, navlet_ws_close, (int id), {
    var sockets = Module.navletSockets || {};
    var ws = sockets[id];
    if (!ws)
        return;
    delete sockets[id];
    ws.onopen = ws.onmessage = ws.onclose = null;
    try { ws.close(1000); } catch (e) {}
});

EM_JS(int, navlet_ws_send, (int id, const uint8_t* data, int size, uint32_t limit), {
    var ws = (Module.navletSockets || {})[id];
    if (!ws || ws.readyState != 1)
        return -1;
    if (ws.bufferedAmount > limit)
        return 0;
    ws.send(HEAPU8.slice(data, data + size));
    return size;
});

EM_JS(void, navlet_ws_post_read, (int id, uint32_t gen), {
    setTimeout(function() { _navlet_ws_read_due(id, gen); }, 0);
});
// clang-format on

TWebClientSocket* Find(int id) {
    auto it = Sockets().find(id);
    return it == Sockets().end() ? nullptr : it->second;
}

} // namespace

std::string SessionUrl(const std::string& webSiteHost, TTransport transport) {
    return (transport == TTransport::Tls ? "wss://" : "ws://") + webSiteHost + "/session";
}

TWebClientSocket::TWebClientSocket(std::string sessionUrl)
    : url(std::move(sessionUrl)), id(nextSocketId++) {
    Sockets()[id] = this;
}

TWebClientSocket::~TWebClientSocket() {
    // No notification reaches a bar that is going away.
    Sockets().erase(id);
    navlet_ws_close(id);
}

void TWebClientSocket::Open() {
    if (active)
        return;
    active = true;
    connected = false;
    ++generation;
    received.clear();
    readOffset = 0;
    if (OnConnecting)
        OnConnecting(*this);
    if (!active)
        return; // the handler closed it
    navlet_ws_open(id, generation, url.c_str());
}

void TWebClientSocket::Close() {
    if (!active)
        return;
    Finish();
}

void TWebClientSocket::Finish() {
    active = false;
    connected = false;
    readPending = false;
    ++generation;
    // The page sends what it was given before the close frame.
    navlet_ws_close(id);
    received.clear();
    readOffset = 0;
    if (OnDisconnect)
        OnDisconnect(*this);
}

int TWebClientSocket::Send(const uint8_t* data, int size) {
    if (!Connected() || size <= 0)
        return 0;
    return navlet_ws_send(id, data, size, SEND_BACKLOG_LIMIT);
}

int TWebClientSocket::Receive(uint8_t* data, int size) {
    if (!Connected() || size <= 0)
        return 0;
    const size_t n = std::min(size_t(size), Unread());
    std::memcpy(data, received.data() + readOffset, n);
    readOffset += n;
    if (readOffset == received.size()) {
        received.clear();
        readOffset = 0;
    }
    return int(n);
}

void TWebClientSocket::PageOpened(uint32_t gen) {
    if (gen != generation || !active)
        return;
    connected = true;
    if (OnConnect)
        OnConnect(*this);
}

void TWebClientSocket::PageMessage(uint32_t gen, const uint8_t* data, size_t size) {
    if (gen != generation || !Connected())
        return;
    // A peer that sends faster than the bar reads is cut off, not buffered
    // without end.
    if (Unread() + size > RECEIVE_LIMIT) {
        Fail(TErrorEvent::eeReceive, WSAENOBUFS);
        return;
    }
    if (readOffset > 0) {
        received.erase(received.begin(), received.begin() + std::ptrdiff_t(readOffset));
        readOffset = 0;
    }
    received.insert(received.end(), data, data + size);
    NotifyRead();
}

void TWebClientSocket::NotifyRead() {
    readPending = false;
    if (OnRead)
        OnRead(*this);
    // The handler may have closed or reopened the socket; bytes it left wait
    // for another notification, as the platform's socket sends one.
    if (Connected() && Unread() > 0)
        ScheduleRead();
}

void TWebClientSocket::ScheduleRead() {
    if (readPending)
        return;
    readPending = true;
    navlet_ws_post_read(id, generation);
}

void TWebClientSocket::PageReadDue(uint32_t gen) {
    if (gen != generation || !readPending || !Connected())
        return;
    NotifyRead();
}

void TWebClientSocket::PageClosed(uint32_t gen, bool wasOpen) {
    if (gen != generation || !active)
        return;
    if (!wasOpen) {
        Fail(TErrorEvent::eeConnect, WSAECONNREFUSED);
        return;
    }
    // What the peer sent before it closed is still read first, in bounded
    // rounds: a handler that reads nothing must not hold the close forever.
    constexpr int MAX_FINAL_READS = 64;
    for (int i = 0; i < MAX_FINAL_READS && Connected() && Unread() > 0; ++i) {
        readPending = false;
        if (OnRead)
            OnRead(*this);
    }
    if (active)
        Finish();
}

void TWebClientSocket::Fail(TErrorEvent event, int errorCode) {
    if (OnError)
        OnError(*this, event, errorCode);
    if (errorCode != 0 && active)
        Close();
}

} // namespace navlet::web

extern "C" {

EMSCRIPTEN_KEEPALIVE void navlet_ws_opened(int id, uint32_t gen) {
    if (auto* s = navlet::web::Find(id))
        s->PageOpened(gen);
}

EMSCRIPTEN_KEEPALIVE void navlet_ws_message(int id, uint32_t gen, const uint8_t* data, int size) {
    if (auto* s = navlet::web::Find(id); s && size > 0)
        s->PageMessage(gen, data, size_t(size));
}

EMSCRIPTEN_KEEPALIVE void navlet_ws_closed(int id, uint32_t gen, int wasOpen) {
    if (auto* s = navlet::web::Find(id))
        s->PageClosed(gen, wasOpen != 0);
}

EMSCRIPTEN_KEEPALIVE void navlet_ws_read_due(int id, uint32_t gen) {
    if (auto* s = navlet::web::Find(id))
        s->PageReadDue(gen);
}
}
