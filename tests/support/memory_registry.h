// The settings store in memory, with the platform registry's failures and a
// way to make any one value fail.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "client/kit/registry.h"

namespace navlet::testing {

class TMemoryRegistry : public TRegistry {
  public:
    using TValue = std::variant<std::string, int32_t, std::vector<uint8_t>>;

    std::unique_ptr<TRegistryKey> OpenKey(THive hive, std::string_view path,
                                          TKeyOpen mode) override;

    // Inspection and set-up; paths and names are case-insensitive.
    bool HasKey(THive hive, std::string_view path) const;
    bool Has(THive hive, std::string_view path, std::string_view name) const;
    std::optional<TValue> Get(THive hive, std::string_view path, std::string_view name) const;
    void Set(THive hive, std::string_view path, std::string_view name, TValue value);
    void Remove(THive hive, std::string_view path, std::string_view name);

    // Every later read or write of that value answers `result` until cleared.
    void FailValue(std::string_view name, TRegResult result);
    void ClearFailures() { failures.clear(); }
    // Every OpenKey answers null while set.
    bool failOpen = false;

    // Calls that reached a value, in order, as "read nck" / "write lang".
    std::vector<std::string> log;

  private:
    friend class TMemoryKey;
    using TValues = std::map<std::string, TValue>;
    static std::string KeyName(THive hive, std::string_view path);

    std::map<std::string, TValues> keys;
    std::map<std::string, TRegResult> failures;
};

} // namespace navlet::testing
