// Time as the bar reads it. Date-times are days since 30 December 1899, the
// fraction being the time of day. The core never reads the system clock.
#pragma once

#include <string>

namespace navlet {

class TClock {
  public:
    virtual ~TClock() = default;
    virtual double LocalNow() const = 0;
    virtual double UtcNow() const = 0;
    // A UTC date-time turned into local time by the zone's rules for that date.
    virtual double UtcToLocal(double utc) const = 0;
    // The date part of a local date-time in the user's short date format.
    virtual std::string ShortDate(double local) const = 0;
};

} // namespace navlet
