// The process's counters for the operator's /metrics: sign-ins and sign-ups
// by outcome, public lines and their deliveries, web requests by status.
// Each is a relaxed atomic: counting costs one add, from any thread, and a
// public line is counted once with its number of deliveries, never per
// delivery. Gauges (sessions, users, sites) are read from the service when
// the metrics are asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace navlet::server::counters {

// `reason` as the log names it ("accepted" for a sign-in let in, "made" for
// a sign-up); an unknown one counts as "other".
void SignIn(std::string_view reason);
void SignUp(std::string_view reason);
// A public line sent by a bar here, and the bars here it reached.
void PublicLine(size_t deliveries);
// A public line of another node, and the bars here it reached.
void RemoteLine(size_t deliveries);
void WebRequest(int status);
// A WebSocket close frame this server sent, by its code.
void WebSocketClose(uint16_t code);
// A store call that failed for want of the database.
void StoreError();

// Latencies, as Prometheus histograms in seconds.
enum class TLatency {
    PasswordCheck, // from its queueing to its answer
    StoreCall,     // one store call of the service, on the store's threads
    RedisPublish,  // from PUBLISH to Redis' answer
};
void Observe(TLatency which, double seconds);

struct TGauges {
    size_t tcpSessions = 0;
    size_t wsSessions = 0;
    size_t signedInUsers = 0; // accounts with a session here
    size_t signedInSessions = 0;
    size_t sites = 0;
    size_t passwordChecksQueued = 0;
};

// The counters and `gauges` in Prometheus' text format (version 0.0.4).
std::string Render(const TGauges& gauges);

// A counter's value now, by its series as Render writes it
// ("navlet_signins_total{result=\"accepted\"}"); 0 when unknown. For tests.
uint64_t Value(std::string_view series);

} // namespace navlet::server::counters
