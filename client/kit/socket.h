// The non-blocking, notification-driven TCP client socket. Opening only starts
// the attempt; what follows arrives as notifications on the bar's thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "protocol/packet.h"

namespace navlet {

// What went wrong, as the socket's error notification names it.
// eeSecurity: the connection could not be secured (a certificate refused, a
// handshake failed, no TLS where the endpoint asks for it); SecurityFault
// names the cause.
enum class TErrorEvent {
    eeGeneral,
    eeSend,
    eeReceive,
    eeConnect,
    eeDisconnect,
    eeAccept,
    eeSecurity
};

class TClientSocket : public TByteStream {
  public:
    using TNotify = std::function<void(TClientSocket& socket)>;
    // The handler sets `errorCode` to 0 to say it handled the error.
    using TErrorNotify =
        std::function<void(TClientSocket& socket, TErrorEvent event, int& errorCode)>;

    // Notifications; an unset one is skipped. A handler may close the socket.
    TNotify OnConnecting;
    TNotify OnConnect;
    // Bytes wait: Receive them (possibly part of a packet, or several). The
    // socket notifies again while unread bytes remain.
    TNotify OnRead;
    TNotify OnDisconnect;
    TErrorNotify OnError;

    const std::string& Host() const { return host; }
    int Port() const { return port; }
    // The session runs inside TLS, its certificate checked against Host().
    bool Tls() const { return tls; }
    // Takes effect at the next Open.
    void SetEndpoint(std::string newHost, int newPort, bool useTls = false) {
        host = std::move(newHost);
        port = newPort;
        tls = useTls;
    }
    // Why the last eeSecurity error happened, as the platform words it; the
    // bar phrases it for its status line.
    const std::string& SecurityFault() const { return securityFault; }

    // Starts connecting to the endpoint; no effect while active.
    virtual void Open() = 0;
    // Ends the connection or the attempt. A socket that holds its handle
    // notifies its disconnect before this returns; closing an inactive socket
    // does nothing.
    virtual void Close() = 0;
    // Connected, or still connecting.
    virtual bool Active() const = 0;
    virtual bool Connected() const = 0;

  protected:
    std::string securityFault;

  private:
    std::string host = "127.0.0.1";
    int port = 34576;
    bool tls = false;
};

// The form asks its platform for its socket once, when its components are made.
class TSocketFactory {
  public:
    virtual ~TSocketFactory() = default;
    virtual std::unique_ptr<TClientSocket> CreateClientSocket() = 0;
};

} // namespace navlet
