// A real non-blocking TCP client socket for end-to-end tests (POSIX only),
// with the five notifications of the kit's socket. Nothing happens by itself:
// the test runs TSocketLoop::RunUntil, which polls every open socket and
// delivers its notifications on the test's thread.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "client/kit/socket.h"

namespace navlet::testing {

class TSocketLoop;

class TLoopbackSocket : public TClientSocket {
  public:
    explicit TLoopbackSocket(TSocketLoop& loop);
    ~TLoopbackSocket() override;

    // TClientSocket
    void Open() override;  // resolves and starts connecting; notifies OnConnecting
    void Close() override; // a socket with a handle notifies OnDisconnect first
    bool Active() const override { return fd >= 0; }
    bool Connected() const override { return fd >= 0 && connected; }
    int Send(const uint8_t* data, int size) override;
    int Receive(uint8_t* data, int size) override;

  private:
    friend class TSocketLoop;
    short PollEvents() const;
    void Handle(short revents); // one poll result
    void Fail(TErrorEvent event, int errorCode);
    void CloseHandle();

    TSocketLoop& loop;
    int fd = -1;
    bool connected = false;
    bool peerClosed = false; // a Receive saw the end of the stream
};

class TSocketLoop {
  public:
    // Polls and notifies until `done` answers true or `limit` has passed;
    // returns what `done` answered last.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
    // One poll round, waiting at most `waitMs`.
    void RunOnce(int waitMs);

  private:
    friend class TLoopbackSocket;
    std::vector<TLoopbackSocket*> sockets;
};

class TLoopbackSocketFactory : public TSocketFactory {
  public:
    explicit TLoopbackSocketFactory(TSocketLoop& l) : loop(l) {}
    std::unique_ptr<TClientSocket> CreateClientSocket() override {
        return std::make_unique<TLoopbackSocket>(loop);
    }

  private:
    TSocketLoop& loop;
};

} // namespace navlet::testing
