#include "client/win32/kit/win32_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace navlet::win32 {

namespace {

// What the peer sent before it closed is still read first, in bounded
// rounds: a handler that reads nothing must not hold the close forever.
constexpr int MAX_FINAL_READS = 64;

SOCKET SocketOf(uintptr_t handle) {
    return SOCKET(handle);
}

} // namespace

TWin32SocketFactory::TWin32SocketFactory(TMessageWindow& w) : window(w) {
    WSADATA data{};
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    window.SetHandler(WM_KIT_SOCKET, [this](WPARAM wParam, LPARAM lParam) {
        auto it = byHandle.find(uintptr_t(wParam));
        if (it != byHandle.end())
            it->second->SocketEvent(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
    });
    window.SetHandler(WM_KIT_LOOKUP, [this](WPARAM wParam, LPARAM lParam) {
        auto it = byLookup.find(reinterpret_cast<HANDLE>(wParam));
        if (it != byLookup.end())
            it->second->LookupDone(WSAGETASYNCERROR(lParam));
    });
    window.SetHandler(WM_KIT_DEFERRED, [this](WPARAM wParam, LPARAM lParam) {
        auto it = byId.find(uintptr_t(wParam));
        if (it != byId.end() && it->second->generation == uint32_t(lParam))
            it->second->Deferred();
    });
}

TWin32SocketFactory::~TWin32SocketFactory() {
    window.SetHandler(WM_KIT_SOCKET, nullptr);
    window.SetHandler(WM_KIT_LOOKUP, nullptr);
    window.SetHandler(WM_KIT_DEFERRED, nullptr);
    if (started)
        WSACleanup();
}

std::unique_ptr<TClientSocket> TWin32SocketFactory::CreateClientSocket() {
    return std::make_unique<TWin32ClientSocket>(*this);
}

TWin32ClientSocket::TWin32ClientSocket(TWin32SocketFactory& f) : factory(f), id(f.nextId++) {
    factory.byId[id] = this;
}

TWin32ClientSocket::~TWin32ClientSocket() {
    // No notification reaches a bar that is going away.
    DropHandle();
    factory.byId.erase(id);
}

void TWin32ClientSocket::Open() {
    if (active)
        return;
    active = true;
    connected = false;
    pending = TPending::None;
    unsent.clear();
    ++generation;
    if (OnConnecting)
        OnConnecting(*this);
    if (!active)
        return; // the handler closed it
    if (!factory.started || !factory.window.Handle()) {
        DeferError(TErrorEvent::eeConnect, WSANOTINITIALISED);
        return;
    }
    if (Tls()) {
        // This bar speaks plain TCP only; an address that asks for TLS must
        // never be reached without it.
        securityFault = "this bar connects without TLS only; give the server as host:port.";
        DeferError(TErrorEvent::eeSecurity, WSAEOPNOTSUPP);
        return;
    }
    const uint32_t address = inet_addr(Host().c_str());
    if (address != INADDR_NONE) {
        StartConnect(address);
        return;
    }
    // A name: looked up without blocking the browser's thread.
    lookupBuffer.assign(MAXGETHOSTSTRUCT, 0);
    lookup = WSAAsyncGetHostByName(factory.window.Handle(), WM_KIT_LOOKUP, Host().c_str(),
                                   lookupBuffer.data(), int(lookupBuffer.size()));
    if (!lookup) {
        DeferError(TErrorEvent::eeConnect, WSAGetLastError());
        return;
    }
    factory.byLookup[lookup] = this;
}

void TWin32ClientSocket::LookupDone(WORD error) {
    factory.byLookup.erase(lookup);
    lookup = nullptr;
    const auto* host = reinterpret_cast<const hostent*>(lookupBuffer.data());
    if (error != 0 || host->h_addrtype != AF_INET || !host->h_addr_list || !host->h_addr_list[0]) {
        Fail(TErrorEvent::eeConnect, error != 0 ? error : WSAHOST_NOT_FOUND);
        return;
    }
    uint32_t address = 0;
    memcpy(&address, host->h_addr_list[0], sizeof address);
    StartConnect(address);
}

void TWin32ClientSocket::StartConnect(uint32_t address) {
    handle = uintptr_t(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (handle == NO_HANDLE) {
        DeferError(TErrorEvent::eeConnect, WSAGetLastError());
        return;
    }
    factory.byHandle[handle] = this;
    const BOOL noDelay = TRUE;
    setsockopt(SocketOf(handle), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    // Also makes the socket non-blocking.
    if (WSAAsyncSelect(SocketOf(handle), factory.window.Handle(), WM_KIT_SOCKET,
                       FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0) {
        DeferError(TErrorEvent::eeConnect, WSAGetLastError());
        return;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(u_short(Port()));
    to.sin_addr.s_addr = address;
    if (connect(SocketOf(handle), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
        return; // FD_CONNECT follows all the same
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK)
        DeferError(TErrorEvent::eeConnect, error);
}

void TWin32ClientSocket::Close() {
    if (!active)
        return;
    Finish();
}

void TWin32ClientSocket::Finish() {
    DropHandle();
    active = false;
    connected = false;
    pending = TPending::None;
    ++generation;
    if (OnDisconnect)
        OnDisconnect(*this);
}

void TWin32ClientSocket::DropHandle() {
    if (lookup) {
        WSACancelAsyncRequest(lookup);
        factory.byLookup.erase(lookup);
        lookup = nullptr;
    }
    if (handle == NO_HANDLE)
        return;
    // Requests the bar wrote go to the system before the close, as far as it
    // takes them now; events already queued for this handle find no socket.
    if (connected && !unsent.empty())
        send(SocketOf(handle), unsent.data(), int(unsent.size()), 0);
    unsent.clear();
    WSAAsyncSelect(SocketOf(handle), factory.window.Handle(), 0, 0);
    factory.byHandle.erase(handle);
    closesocket(SocketOf(handle));
    handle = NO_HANDLE;
}

int TWin32ClientSocket::Send(const uint8_t* data, int size) {
    if (!Connected() || size <= 0 || handle == NO_HANDLE)
        return 0;
    // A block goes whole or not at all: what the system does not take now
    // waits here, in order, for FD_WRITE; a part of a packet never gets lost.
    if (unsent.size() > SEND_BACKLOG_LIMIT)
        return 0;
    unsent.insert(unsent.end(), data, data + size);
    return Flush() ? size : -1;
}

bool TWin32ClientSocket::Flush() {
    size_t done = 0;
    while (done < unsent.size()) {
        const int n = send(SocketOf(handle), unsent.data() + done, int(unsent.size() - done), 0);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        const int error = WSAGetLastError();
        if (n < 0 && error == WSAEWOULDBLOCK)
            break; // FD_WRITE comes when there is room again
        unsent.clear();
        DeferError(TErrorEvent::eeSend, error);
        return false;
    }
    unsent.erase(unsent.begin(), unsent.begin() + std::ptrdiff_t(done));
    return true;
}

int TWin32ClientSocket::Receive(uint8_t* data, int size) {
    if (!Connected() || size <= 0 || handle == NO_HANDLE)
        return 0;
    receivedInHandler = true;
    const int n = recv(SocketOf(handle), reinterpret_cast<char*>(data), size, 0);
    if (n > 0)
        return n;
    if (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK)
        DeferError(TErrorEvent::eeReceive, WSAGetLastError());
    return 0; // an orderly close by the peer comes as FD_CLOSE
}

size_t TWin32ClientSocket::BytesWaiting() const {
    u_long count = 0;
    if (handle == NO_HANDLE || ioctlsocket(SocketOf(handle), FIONREAD, &count) != 0)
        return 0;
    return size_t(count);
}

void TWin32ClientSocket::SocketEvent(WORD event, WORD error) {
    if (!active)
        return;
    switch (event) {
    case FD_CONNECT:
        Connected(error);
        return;
    case FD_READ:
        if (!connected)
            return;
        if (pending == TPending::Read)
            pending = TPending::None; // this one serves the queued call
        NotifyRead();
        return;
    case FD_WRITE:
        if (connected)
            Flush();
        return;
    case FD_CLOSE:
        if (connected)
            PeerClosed();
        else
            Fail(TErrorEvent::eeConnect, error != 0 ? error : WSAECONNREFUSED);
        return;
    default:
        return;
    }
}

void TWin32ClientSocket::Connected(WORD error) {
    if (connected)
        return;
    if (error != 0) {
        Fail(TErrorEvent::eeConnect, error);
        return;
    }
    connected = true;
    if (OnConnect)
        OnConnect(*this);
}

void TWin32ClientSocket::NotifyRead() {
    receivedInHandler = false;
    if (OnRead)
        OnRead(*this);
    // A handler that read re-armed FD_READ, which comes by itself while bytes
    // remain; one that did not gets a call of the kit's own.
    if (!receivedInHandler && Connected() && pending == TPending::None && BytesWaiting() > 0) {
        pending = TPending::Read;
        PostMessageW(factory.window.Handle(), WM_KIT_DEFERRED, id, generation);
    }
}

void TWin32ClientSocket::PeerClosed() {
    const uint32_t expected = generation;
    for (int i = 0;
         i < MAX_FINAL_READS && Connected() && generation == expected && BytesWaiting() > 0; ++i) {
        pending = TPending::None;
        if (OnRead)
            OnRead(*this);
    }
    if (active && generation == expected)
        Finish();
}

void TWin32ClientSocket::DeferError(TErrorEvent event, int errorCode) {
    if (pending == TPending::Error)
        return; // the first failure speaks for the connection
    pending = TPending::Error;
    pendingEvent = event;
    pendingCode = errorCode;
    if (!PostMessageW(factory.window.Handle(), WM_KIT_DEFERRED, id, generation)) {
        pending = TPending::None;
        Fail(event, errorCode); // no message loop to wait for
    }
}

void TWin32ClientSocket::Deferred() {
    const TPending what = pending;
    pending = TPending::None;
    if (what == TPending::Error) {
        Fail(pendingEvent, pendingCode);
        return;
    }
    if (what == TPending::Read && Connected())
        NotifyRead();
}

void TWin32ClientSocket::Fail(TErrorEvent event, int errorCode) {
    if (OnError)
        OnError(*this, event, errorCode);
    if (errorCode != 0 && active)
        Close();
}

} // namespace navlet::win32
