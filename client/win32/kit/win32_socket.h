// The bar's client socket on Windows: a non-blocking Winsock socket whose
// events (WSAAsyncSelect) and host name lookups (WSAAsyncGetHostByName) come
// as messages to the kit's message window, behind the kit's five
// notifications. Everything runs on the thread of that window.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include <cstdint>

#include "client/kit/socket.h"
#include "client/win32/kit/message_window.h"

namespace navlet::win32 {

class TWin32SocketFactory;

class TWin32ClientSocket : public TClientSocket {
  public:
    explicit TWin32ClientSocket(TWin32SocketFactory& factory);
    ~TWin32ClientSocket() override;

    void Open() override;
    void Close() override;
    bool Active() const override { return active; }
    bool Connected() const override { return active && connected; }
    // Takes the whole block unless too much waits unsent already: then 0, as
    // a socket that would block (also when not connected). -1 on any other
    // failure, which the error notification reports as a send error once
    // this call has returned.
    int Send(const uint8_t* data, int size) override;

    // Unsent bytes above this make Send answer "would block".
    static constexpr size_t SEND_BACKLOG_LIMIT = 64 * 1024;
    // At most `size` of the bytes that wait; 0 when none do. A failure is
    // reported later as a receive error.
    int Receive(uint8_t* data, int size) override;

  private:
    friend class TWin32SocketFactory;

    enum class TPending { None, Read, Error };

    // Messages from the factory's window.
    void SocketEvent(WORD event, WORD error);
    void LookupDone(WORD error);
    void Deferred();

    void StartConnect(uint32_t address);
    void Connected(WORD error);
    // Calls OnRead, then asks for another call while bytes wait unread that
    // the handler did not touch (the platform re-notifies only after a read).
    void NotifyRead();
    void PeerClosed();
    // Hands the waiting bytes to the system as far as it takes them; false
    // after a failure, which is reported.
    bool Flush();
    // Reports `event` from the message loop, not from inside the caller.
    void DeferError(TErrorEvent event, int errorCode);
    void Fail(TErrorEvent event, int errorCode);
    void Finish(); // the connection is over: drop the handle, tell OnDisconnect
    void DropHandle();
    size_t BytesWaiting() const;

    TWin32SocketFactory& factory;
    const uintptr_t id;           // names this socket in the kit's queued calls
    uintptr_t handle = NO_HANDLE; // a SOCKET
    static constexpr uintptr_t NO_HANDLE = ~uintptr_t(0); // INVALID_SOCKET
    void* lookup = nullptr; // the HANDLE of a running host name lookup
    std::vector<char> lookupBuffer;
    std::vector<char> unsent; // taken by Send, not yet by the system
    bool active = false;
    bool connected = false;
    bool receivedInHandler = false;
    TPending pending = TPending::None;
    TErrorEvent pendingEvent = TErrorEvent::eeGeneral;
    int pendingCode = 0;
    // Grows with every Open and Close, so that a queued call of an older
    // connection is dropped.
    uint32_t generation = 0;
};

// Starts Winsock for the kit's lifetime and routes the window's socket
// messages to the socket they belong to.
class TWin32SocketFactory : public TSocketFactory {
  public:
    explicit TWin32SocketFactory(TMessageWindow& window);
    ~TWin32SocketFactory() override;

    std::unique_ptr<TClientSocket> CreateClientSocket() override;
    bool Started() const { return started; }
    // Sockets holding a handle or a lookup; 0 once every bar is gone.
    size_t LiveCount() const { return byHandle.size() + byLookup.size(); }

  private:
    friend class TWin32ClientSocket;

    TMessageWindow& window;
    bool started = false;
    std::map<uintptr_t, TWin32ClientSocket*> byHandle;
    std::map<void*, TWin32ClientSocket*> byLookup;
    std::map<uintptr_t, TWin32ClientSocket*> byId; // for deferred calls
    uintptr_t nextId = 1;
};

} // namespace navlet::win32
