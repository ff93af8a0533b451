#include "tests/support/scripted_socket.h"

#include <algorithm>

namespace navlet::testing {

void TScriptedSocket::Open() {
    if (Active())
        return;
    ++opens;
    state = TState::Connecting;
    inbound.clear();
    if (OnConnecting)
        OnConnecting(*this);
}

void TScriptedSocket::Close() {
    if (!Active())
        return;
    state = TState::Closed;
    inbound.clear();
    if (OnDisconnect)
        OnDisconnect(*this);
}

int TScriptedSocket::Send(const uint8_t* data, int size) {
    if (state != TState::Connected || size <= 0)
        return 0;
    int take = sendLimit < 0 ? size : std::min(size, sendLimit);
    if (take <= 0)
        return take;
    sent.insert(sent.end(), data, data + take);
    return take;
}

int TScriptedSocket::Receive(uint8_t* data, int size) {
    if (size <= 0 || inbound.empty())
        return 0;
    const int n = std::min(size, int(inbound.size()));
    std::copy_n(inbound.begin(), n, data);
    inbound.erase(inbound.begin(), inbound.begin() + n);
    return n;
}

void TScriptedSocket::AcceptConnection() {
    if (state != TState::Connecting)
        return;
    state = TState::Connected;
    if (OnConnect)
        OnConnect(*this);
}

void TScriptedSocket::Feed(const std::vector<uint8_t>& bytes) {
    if (state != TState::Connected)
        return;
    inbound.insert(inbound.end(), bytes.begin(), bytes.end());
    if (OnRead)
        OnRead(*this);
}

void TScriptedSocket::FeedPacket(TPacket packet, int length, uint8_t type) {
    EncodePacket(packet, length, type, NextKeyOffset());
    Feed(std::vector<uint8_t>(packet.bytes, packet.bytes + length));
}

void TScriptedSocket::PeerClose() {
    Close(); // the bar sees a close by the peer as the same disconnect
}

void TScriptedSocket::Fail(TErrorEvent event, int errorCode) {
    if (OnError)
        OnError(*this, event, errorCode);
    if (errorCode != 0)
        Close();
}

std::vector<TPacket> TScriptedSocket::SentPackets() const {
    std::vector<TPacket> packets;
    TPacketAssembler assembler;
    size_t at = 0;
    while (at < sent.size()) {
        TPacket packet;
        size_t used = 0;
        TAssembleResult r = assembler.Next(sent.data() + at, sent.size() - at, used, packet);
        at += used;
        if (r == TAssembleResult::Packet)
            packets.push_back(packet);
        if (r == TAssembleResult::NeedMore || r == TAssembleResult::Broken)
            break;
    }
    return packets;
}

std::unique_ptr<TClientSocket> TScriptedSocketFactory::CreateClientSocket() {
    auto socket = std::make_unique<TScriptedSocket>();
    made.push_back(socket.get());
    return socket;
}

} // namespace navlet::testing
