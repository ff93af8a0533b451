// Time as the service sees it, behind an interface so that tests drive it.
#pragma once

#include <atomic>
#include <cstdint>

namespace navlet::server {

class TClock {
  public:
    virtual ~TClock() = default;
    // Monotonic milliseconds, for rates and intervals.
    virtual int64_t NowMs() const = 0;
    // UTC date-time as days since 30 December 1899, for dated chat lines.
    virtual double NowUtcDays() const = 0;
};

class TSystemClock final : public TClock {
  public:
    int64_t NowMs() const override;
    double NowUtcDays() const override;
};

// Moves only when told. A test may advance it while a server's loop reads it.
class TManualClock final : public TClock {
  public:
    int64_t NowMs() const override { return ms.load(); }
    double NowUtcDays() const override { return 45000.0 + double(NowMs()) / 86400000.0; }
    void Advance(int64_t byMs) { ms += byMs; }

  private:
    std::atomic<int64_t> ms = 1000000;
};

// Unix seconds to days since 30 December 1899.
inline double UnixToDays(double unixSeconds) {
    return unixSeconds / 86400.0 + 25569.0;
}

} // namespace navlet::server
