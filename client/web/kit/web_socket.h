// The bar's client socket in the browser: a WebSocket to the service's
// session endpoint on its web site's port, carrying the session's bytes in
// binary messages, behind the kit's five notifications.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/kit/socket.h"

namespace navlet::web {

class TWebClientSocket : public TClientSocket {
  public:
    // `url` is the session endpoint, "wss://host:port/session".
    explicit TWebClientSocket(std::string url);
    ~TWebClientSocket() override;

    void Open() override;
    void Close() override;
    bool Active() const override { return active; }
    bool Connected() const override { return active && connected; }
    // Takes the whole block as one message unless too much waits unsent
    // already: then 0, as a socket that would block.
    int Send(const uint8_t* data, int size) override;
    // At most `size` of the bytes that wait; 0 when none do.
    int Receive(uint8_t* data, int size) override;

    // What the page's WebSocket reports, for this socket's `generation`.
    void PageOpened(uint32_t gen);
    void PageMessage(uint32_t gen, const uint8_t* data, size_t size);
    void PageClosed(uint32_t gen, bool wasOpen);
    void PageReadDue(uint32_t gen);

    // Unsent bytes above this make Send answer "would block"; unread bytes
    // above the other end the connection as a receive error.
    static constexpr uint32_t SEND_BACKLOG_LIMIT = 64 * 1024;
    static constexpr size_t RECEIVE_LIMIT = 1024 * 1024;

  private:
    void NotifyRead();
    void ScheduleRead();
    void Fail(TErrorEvent event, int errorCode);
    void Finish(); // the connection is over: drop the page socket, tell OnDisconnect
    size_t Unread() const { return received.size() - readOffset; }

    std::string url;
    int id;
    bool active = false;
    bool connected = false;
    bool readPending = false;
    // Grows with every Open and Close, so that an event of an older page
    // socket is dropped.
    uint32_t generation = 0;
    std::vector<uint8_t> received;
    size_t readOffset = 0;
};

class TWebSocketFactory : public TSocketFactory {
  public:
    explicit TWebSocketFactory(std::string sessionUrl) : url(std::move(sessionUrl)) {}
    std::unique_ptr<TClientSocket> CreateClientSocket() override {
        return std::make_unique<TWebClientSocket>(url);
    }

  private:
    std::string url;
};

enum class TTransport { Tls, Plain };
// "wss://" (or "ws://" for a plain one) + the web site's host and port +
// "/session".
std::string SessionUrl(const std::string& webSiteHost, TTransport transport);

} // namespace navlet::web
