// The process environment, as far as the bar reads it: overrides of the
// service's endpoints for local runs and tests.
#pragma once

#include <optional>
#include <string>

namespace navlet {

class TEnvironment {
  public:
    virtual ~TEnvironment() = default;
    // The value of the variable `name`; nothing when it is not set.
    virtual std::optional<std::string> Lookup(const std::string& name) const = 0;
};

} // namespace navlet
